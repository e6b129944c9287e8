// The printer on port 0xFE: a serial receiver timed by the CPU's T-states, and its paper.
#include "core/printer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/host_file.h"
#include "core/roms.h"
#include "core/state_io.h"

// Static storage: printing a character inside an instruction never allocates.
uint8_t printer_paper[PRINTER_MAX_LINES][PRINTER_COLUMNS];
uint8_t printer_line_length[PRINTER_MAX_LINES];
uint32_t printer_oldest = 0;
uint32_t printer_lines = 1;
uint8_t printer_column = 0;
uint64_t printer_clock = 0;
uint8_t printer_level = 1;
uint8_t printer_state = PRINTER_IDLE;
uint64_t printer_start = 0;
uint8_t printer_next_bit = 0;
uint8_t printer_data = 0;
uint32_t printer_bit_time = PRINTER_BIT_TSTATES;
uint32_t printer_byte_bit_time = PRINTER_BIT_TSTATES;
uint64_t printer_active_until = 0;
uint32_t printer_changes = 0;

namespace {

constexpr uint8_t CARRIAGE_RETURN = 0x0D, LINE_FEED = 0x0A, BLANK = 0x20;
constexpr uint8_t STOP_BIT = 9;
// A glyph this many pixels or fewer away from a printable character's is saved as that character.
constexpr int NEAREST_GLYPH_PIXELS = 6;

[[maybe_unused]] const bool paper_blank = (std::memset(printer_paper, BLANK, sizeof printer_paper), true);

uint64_t now() { return printer_clock + t_state; }

uint32_t head_line() { return (printer_oldest + printer_lines - 1) % PRINTER_MAX_LINES; }

void clear_line(uint32_t line) {
  std::memset(printer_paper[line], BLANK, PRINTER_COLUMNS);
  printer_line_length[line] = 0;
}

// The paper moves on a line; the head keeps its column (a CR brings it back). A full roll
// drops its oldest line.
void feed_line() {
  if (printer_lines < PRINTER_MAX_LINES)
    ++printer_lines;
  else
    printer_oldest = (printer_oldest + 1) % PRINTER_MAX_LINES;
  clear_line(head_line());
}

void print_code(uint8_t code) {
  if (code == CARRIAGE_RETURN) {
    printer_column = 0;
  } else if (code == LINE_FEED) {
    feed_line();
  } else {
    if (printer_column == PRINTER_COLUMNS) {
      feed_line();
      printer_column = 0;
    }
    const uint32_t line = head_line();
    printer_paper[line][printer_column++] = code;
    printer_line_length[line] = std::max(printer_line_length[line], printer_column);
  }
  ++printer_changes;
}

// The middle of bit n of the byte coming in.
uint64_t sample_time(uint8_t n) { return printer_start + (2u * n + 1) * printer_byte_bit_time / 2; }

void take_sample(uint64_t at) {
  const uint8_t bit = printer_next_bit++;
  if (bit == 0) {
    // Low for less than half a bit: a glitch, not a start bit.
    if (printer_level) printer_state = PRINTER_IDLE;
  } else if (bit < STOP_BIT) {
    printer_data = static_cast<uint8_t>(printer_data | printer_level << (bit - 1));
  } else if (printer_level) {
    printer_bit_time = printer_byte_bit_time;
    printer_state = PRINTER_IDLE;
    printer_active_until = at + PRINTER_ACTIVE_TSTATES;
    print_code(printer_data);
  } else {
    printer_state = PRINTER_FRAMING_ERROR;
  }
}

// Samples every bit whose middle lies before time t, at the level the line had.
void catch_up(uint64_t t) {
  while (printer_state == PRINTER_RECEIVING) {
    const uint64_t at = sample_time(printer_next_bit);
    if (at >= t) break;
    take_sample(at);
  }
}

// A level change inside a byte lies on a bit boundary: the time from the start edge over the
// boundary's number is the sender's bit time, measured over the longest stretch yet.
void learn_bit_time(uint64_t since_start) {
  const uint64_t boundary = (since_start + printer_byte_bit_time / 2) / printer_byte_bit_time;
  if (boundary == 0 || boundary > STOP_BIT) return;
  const uint64_t measured = (since_start + boundary / 2) / boundary;
  if (measured >= PRINTER_BIT_FASTEST && measured <= PRINTER_BIT_SLOWEST)
    printer_byte_bit_time = static_cast<uint32_t>(measured);
}

}  // namespace

void printer_write(uint8_t value) {
  const uint64_t t = now();
  catch_up(t);
  // The clock went back (a hard reset mid-frame): the byte coming in is lost.
  if (printer_state == PRINTER_RECEIVING && t < printer_start) printer_state = PRINTER_IDLE;
  const uint8_t level = value & 1;
  if (level == printer_level) return;
  printer_level = level;
  if (printer_state == PRINTER_RECEIVING) {
    learn_bit_time(t - printer_start);
  } else if (printer_state == PRINTER_IDLE && level == 0) {
    printer_state = PRINTER_RECEIVING;
    printer_start = t;
    printer_next_bit = 0;
    printer_data = 0;
    printer_byte_bit_time = printer_bit_time;
  } else if (printer_state == PRINTER_FRAMING_ERROR && level == 1) {
    printer_state = PRINTER_IDLE;
  }
}

uint8_t printer_ready() {
  catch_up(now());
  return printer_state == PRINTER_RECEIVING ? 0 : 1;
}

void printer_frame_end(uint32_t frame_tstates) {
  catch_up(now());
  printer_clock += frame_tstates;
}

bool printer_printing() { return printer_state == PRINTER_RECEIVING || now() < printer_active_until; }

void printer_tear_off() {
  printer_oldest = 0;
  printer_lines = 1;
  clear_line(0);
  ++printer_changes;
}

char printer_text_char(uint8_t code) {
  if (code >= 0x20 && code < 0x7F) return static_cast<char>(code);
  const auto distance = [code](int c) {
    int pixels = 0;
    for (int row = 0; row < 8; ++row) pixels += std::popcount(static_cast<uint8_t>(CHAR_ROM[code * 8 + row] ^ CHAR_ROM[c * 8 + row]));
    return pixels;
  };
  // Only a glyph as blank as the space is a space: a thin line is nearer to the space than to
  // anything, but it is not nothing.
  if (distance(' ') == 0) return ' ';
  int best = NEAREST_GLYPH_PIXELS + 1;
  char nearest = '.';
  for (int c = 0x21; c < 0x7F; ++c) {
    const int d = distance(c);
    if (d < best) {
      best = d;
      nearest = static_cast<char>(c);
    }
  }
  return nearest;
}

namespace {

// Lines the paper shows: the head's line only once something is printed on it.
uint32_t shown_lines() { return printer_lines - (printer_line_length[head_line()] == 0 ? 1 : 0); }

}  // namespace

std::string printer_text() {
  std::string text;
  for (uint32_t i = 0; i < shown_lines(); ++i) {
    const uint32_t line = (printer_oldest + i) % PRINTER_MAX_LINES;
    std::string shown;
    for (uint32_t col = 0; col < printer_line_length[line]; ++col) shown += printer_text_char(printer_paper[line][col]);
    shown.erase(shown.find_last_not_of(' ') + 1);
    text += shown + '\n';
  }
  return text;
}

uint32_t printer_picture_height() { return 2 * PRINTER_MARGIN + shown_lines() * PRINTER_LINE_ROWS; }

void printer_picture_rows(uint32_t first_row, uint32_t count, uint32_t* pixels) {
  std::fill(pixels, pixels + static_cast<size_t>(count) * PRINTER_PICTURE_WIDTH, PRINTER_PAPER);
  const uint32_t lines = shown_lines();
  for (uint32_t y = 0; y < count; ++y) {
    const uint32_t row = first_row + y;
    if (row < PRINTER_MARGIN) continue;
    const uint32_t line_index = (row - PRINTER_MARGIN) / PRINTER_LINE_ROWS;
    // A blank row above and below the glyphs' eight.
    const uint32_t glyph_row = (row - PRINTER_MARGIN) % PRINTER_LINE_ROWS - 1;
    if (line_index >= lines || glyph_row >= 8) continue;
    const uint32_t line = (printer_oldest + line_index) % PRINTER_MAX_LINES;
    uint32_t* out = pixels + static_cast<size_t>(y) * PRINTER_PICTURE_WIDTH + PRINTER_MARGIN;
    for (uint32_t col = 0; col < printer_line_length[line]; ++col) {
      const uint8_t bits = CHAR_ROM[printer_paper[line][col] * 8 + glyph_row];
      for (int x = 0; x < 8; ++x)
        if (bits & (0x80 >> x)) out[col * 8 + x] = PRINTER_INK;
    }
  }
}

bool printer_save_text(const std::string& path, std::string& error) { return save_file(path, printer_text(), error); }

void printer_write_state(StateWriter& w) {
  w.u32(printer_lines);
  for (uint32_t i = 0; i < printer_lines; ++i) {
    const uint32_t line = (printer_oldest + i) % PRINTER_MAX_LINES;
    w.u8(printer_line_length[line]);
    w.block(printer_paper[line], printer_line_length[line]);
  }
  w.u8(printer_column); w.u64(printer_clock); w.u8(printer_level); w.u8(printer_state); w.u64(printer_start);
  w.u8(printer_next_bit); w.u8(printer_data); w.u32(printer_bit_time); w.u32(printer_byte_bit_time);
  w.u64(printer_active_until);
}

bool printer_read_state(StateReader& r, PrinterSaved& s) {
  s.lines = r.u32();
  if (!r.require(s.lines >= 1 && s.lines <= PRINTER_MAX_LINES)) return false;
  s.paper.clear();
  for (uint32_t i = 0; i < s.lines && r.ok(); ++i) {
    const uint8_t length = r.u8();
    const uint8_t* codes = r.require(length <= PRINTER_COLUMNS) ? r.block(length) : nullptr;
    if (codes) {
      s.paper.push_back(length);
      s.paper.insert(s.paper.end(), codes, codes + length);
    }
  }
  s.column = r.u8(); s.clock = r.u64(); s.level = r.flag(); s.state = r.u8(); s.start = r.u64();
  s.next_bit = r.u8(); s.data = r.u8(); s.bit_time = r.u32(); s.byte_bit_time = r.u32(); s.active_until = r.u64();
  const auto followed = [](uint32_t bit_time) { return bit_time >= PRINTER_BIT_FASTEST && bit_time <= PRINTER_BIT_SLOWEST; };
  return r.require(s.column <= PRINTER_COLUMNS && s.state <= PRINTER_FRAMING_ERROR && s.next_bit <= (s.state == PRINTER_RECEIVING ? STOP_BIT : STOP_BIT + 1) &&
                   followed(s.bit_time) && followed(s.byte_bit_time));
}

void printer_restore(const PrinterSaved& s) {
  printer_oldest = 0;
  printer_lines = s.lines;
  size_t at = 0;
  for (uint32_t line = 0; line < s.lines; ++line) {
    clear_line(line);
    if (at >= s.paper.size()) continue;  // a state without the printer: a clean roll
    const uint8_t length = s.paper[at++];
    std::copy_n(s.paper.begin() + static_cast<long>(at), length, printer_paper[line]);
    printer_line_length[line] = length;
    at += length;
  }
  printer_column = s.column; printer_clock = s.clock; printer_level = s.level; printer_state = s.state;
  printer_start = s.start; printer_next_bit = s.next_bit; printer_data = s.data; printer_bit_time = s.bit_time;
  printer_byte_bit_time = s.byte_bit_time; printer_active_until = s.active_until;
  ++printer_changes;
}
