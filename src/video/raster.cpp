// Raster-timed composition: after every instruction the cells the beam crossed are drawn from
// the memory contents at the end of that instruction. A cell whose bytes have not changed since
// the beam last drew it would come out the same, so only changed cells are drawn: the CPU's
// stores to the screen mark the cells they change, and anything else that changes the screen
// or the glyphs (loaders, resets, state loads, ROM switches, all between frames) is found by
// comparing memory with the picture's copy when a frame starts.
#include "video/raster.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"

uint32_t display_buffer[display_width * display_height];
uint8_t vsync;
uint8_t vsync_tstate[312];
uint8_t composed_screen[0x800];
uint8_t composed_glyphs[2048];
uint64_t unit_pending[display_height];
uint32_t lines_pending;
uint32_t changed_first_line = display_height, changed_last_line = 0;
uint32_t raster_position = UINT32_MAX;
uint32_t next_raster_event;

const uint32_t AquaColours[16] = {
    0x101010, 0xF01010, 0x10F010, 0xF0E810, 0x2121DE, 0xF010F0, 0x30C0C0, 0xF0F0F0,
    0xC0C0C0, 0x28A8A8, 0xC020C0, 0x4210C8, 0xF0F070, 0x20C840, 0xA82020, 0x303030,
};

namespace {

constexpr uint32_t last_visible_line = display_height - 1;  // 231
constexpr uint32_t first_active_x = 8, last_active_x = 167;
constexpr uint32_t last_visible_x = 175;
constexpr uint32_t screen_offset = 0x1000;  // 0x3000 within page 1
constexpr uint32_t colour_bytes = 0x400;    // colour RAM follows screen RAM
// A line's 44 visible cells as bits of its pending mask; the border cells of an active line.
constexpr uint64_t whole_line = (uint64_t{1} << (display_width / 8)) - 1;
constexpr uint64_t side_cells = 0x3 | (uint64_t{0x3} << 42);

constexpr uint32_t nowhere = UINT32_MAX;
// The line the beam is on, kept from call to call so that most calls need no division.
uint32_t beam_line, beam_line_start = nowhere, beam_line_length;

// A line the beam has not yet left brings the next event forward to its start at least; the
// step that meets it finds the exact cell.
void mark_units(uint32_t line, uint64_t units) {
  uint64_t& mask = unit_pending[line];
  if (!mask) ++lines_pending;
  mask |= units;
  const uint32_t start = line * tstates_per_line;
  if (start + tstates_per_line > raster_position && start < next_raster_event) next_raster_event = start;
}

void mark_cell(uint32_t cell) {
  const uint32_t top = first_active_line + cell / 40 * 8;
  for (uint32_t line = top; line < top + 8; ++line) mark_units(line, uint64_t{1} << (cell % 40 + 2));
  // The border repeats cell 0.
  if (cell == 0)
    for (uint32_t line = 0; line <= last_visible_line; ++line)
      mark_units(line, line >= first_active_line && line <= last_active_line ? side_cells : whole_line);
}

void mark_whole_picture() {
  for (uint32_t line = 0; line <= last_visible_line; ++line) mark_units(line, whole_line);
  raster_position = nowhere;
}

void note_lines_changed(uint32_t first, uint32_t last) {
  if (first < changed_first_line) changed_first_line = first;
  if (last > changed_last_line) changed_last_line = last;
}

// The sync flag is low for the 200 active lines of a PAL field and high elsewhere. The picture
// starts black, which no cell composes to: every cell awaits the beam.
const bool tables_filled = [] {
  for (uint32_t line = 0; line < 312; ++line)
    vsync_tstate[line] = (line < first_active_line || line > last_active_line) ? 1 : 0;
  mark_whole_picture();
  return true;
}();

// For every glyph row, eight all-ones or all-zero pixel masks, bit 7 (the leftmost pixel)
// first: a cell is then eight masked stores with no bit fiddling.
struct GlyphMasks {
  uint32_t pixel[256][8];
};
constexpr GlyphMasks make_glyph_masks() {
  GlyphMasks m{};
  for (uint32_t row = 0; row < 256; ++row)
    for (uint32_t k = 0; k < 8; ++k) m.pixel[row][k] = (row & (0x80u >> k)) ? 0xFFFFFFFFu : 0u;
  return m;
}
constexpr GlyphMasks glyph_masks = make_glyph_masks();

// Draws cell `unit` (0-43) of a visible line from the picture's copy of the screen: an active
// cell from its own bytes, a border cell from cell 0's.
inline void compose_unit(uint32_t line, uint32_t unit) {
  uint32_t cell = 0;
  if (line - first_active_line <= last_active_line - first_active_line && unit - 2 < 40)
    cell = (line - first_active_line) / 8 * 40 + unit - 2;
  const uint8_t colour = composed_screen[colour_bytes + cell];
  const uint32_t* mask = glyph_masks.pixel[composed_glyphs[composed_screen[cell] * 8u + (line & 7)]];
  const uint32_t bg = AquaColours[colour & 0x0F];
  const uint32_t flip = AquaColours[colour >> 4] ^ bg;
  uint32_t* out = display_buffer + line * display_width + unit * 8;
  for (int k = 0; k < 8; ++k) out[k] = bg ^ (flip & mask[k]);
  note_lines_changed(line, line);
}

// Bytes changed by anything but the CPU's stores reach the picture's copy, their cells to be
// drawn when the beam reaches them.
void reconcile_with_memory() {
  if (std::memcmp(composed_glyphs, CHAR_ROM, sizeof composed_glyphs) != 0) {
    std::memcpy(composed_glyphs, CHAR_ROM, sizeof composed_glyphs);
    mark_whole_picture();
  }
  const uint8_t* screen = Page_RAM[1] + screen_offset;
  for (uint32_t base : {0u, colour_bytes}) {
    if (std::memcmp(composed_screen + base, screen + base, display_cells) == 0) continue;
    for (uint32_t cell = 0; cell < display_cells; ++cell)
      if (composed_screen[base + cell] != screen[base + cell]) {
        composed_screen[base + cell] = screen[base + cell];
        mark_cell(cell);
      }
  }
}

// Puts the beam's line cache on the line of T-state t: the next line costs an addition.
void follow_beam(uint32_t t) {
  const uint32_t length = tstates_per_line;
  if (length == beam_line_length && t - beam_line_start < length) return;
  if (length == beam_line_length && t - beam_line_start < 2 * length) {
    ++beam_line;
    beam_line_start += length;
    return;
  }
  beam_line = t / length;
  beam_line_start = beam_line * length;
  beam_line_length = length;
}

// Draws the pending cells among the samples t, t + 4, ... below stop, line by line; a line
// with nothing pending is passed over whole.
void compose_pending(uint32_t t, uint32_t stop) {
  const uint32_t length = tstates_per_line;
  follow_beam(t);
  while (t < stop && beam_line <= last_visible_line) {
    const uint32_t line_end = beam_line_start + length;
    uint64_t& mask = unit_pending[beam_line];
    if (mask) {
      // Samples in the blanking part of the line find no bit set.
      for (; t < stop && t < line_end; t += 4) {
        const uint32_t unit = (t - beam_line_start) >> 2;
        if (!(mask >> unit & 1)) continue;
        compose_unit(beam_line, unit);
        mask &= ~(uint64_t{1} << unit);
        if (!mask) --lines_pending;
      }
    } else {
      if (stop <= line_end) return;
      t += (line_end - t + 3) & ~3u;
    }
    if (t < line_end) return;
    ++beam_line;
    beam_line_start = line_end;
  }
}

// The first T-state at or after p, the next sample, where a step has work: a vsync edge (p
// itself while the flag is not yet that of p's line), or the first pending cell that a sample
// from p on reaches. A step whose instruction ends at or before it draws nothing and leaves the
// flag as it is.
uint32_t next_event_from(uint32_t p) {
  const uint32_t length = tstates_per_line;
  const uint32_t rise = first_active_line * length, fall = (last_active_line + 1) * length;
  uint32_t event = nowhere;
  if (vsync != (p >= rise && p < fall))
    event = p;
  else if (p < rise)
    event = rise;
  else if (p < fall)
    event = fall;
  if (!lines_pending) return event;
  follow_beam(p);
  for (uint32_t line = beam_line, start = beam_line_start; line <= last_visible_line && start < event;
       ++line, start += length) {
    uint64_t ahead = unit_pending[line];
    if (p > start) {
      const uint32_t passed = (p - start) >> 2;
      ahead = passed < 64 ? ahead >> passed << passed : 0;
    }
    if (ahead) return std::min(event, start + 4 * static_cast<uint32_t>(std::countr_zero(ahead)));
  }
  return event;
}

inline bool in_frame(uint32_t t) { return t < frame_length && t < DISPLAY_TSTATE_ENTRIES; }

}  // namespace

uint8_t get_byte_position(uint32_t t) {
  const uint32_t line = t / tstates_per_line, x = t % tstates_per_line;
  if (x > last_visible_x || line > last_visible_line) return 255;
  if (line < first_active_line || line > last_active_line) return 2;
  if (x < first_active_x || x > last_active_x) return 1;
  return 0;
}

void compose_changes(uint32_t t) {
  if (t != raster_position) reconcile_with_memory();
  const uint32_t end = frame_length < DISPLAY_TSTATE_ENTRIES ? frame_length : DISPLAY_TSTATE_ENTRIES;
  if (t < t_state && t < end) {
    // Sampling every 4 T-states from the instruction's first T-state never skips a cell.
    const uint32_t stop = t_state < end ? t_state : end;
    // Every line starts with border cells, which set the flag for their line: it follows the
    // line of the last sample.
    const uint32_t last_sample = t + ((stop - 1 - t) & ~3u);
    vsync = last_sample >= first_active_line * tstates_per_line &&
            last_sample < (last_active_line + 1) * tstates_per_line;
    if (lines_pending) compose_pending(t, stop);
  }
  next_raster_event = next_event_from(t_state);
}

void draw_byte(uint32_t t) {
  if (!in_frame(t) || display_tstate[t] != 0) return;
  reconcile_with_memory();
  compose_unit(t / tstates_per_line, t % tstates_per_line / 4);
}

void update_border(uint32_t t) {
  if (!in_frame(t) || (display_tstate[t] != 1 && display_tstate[t] != 2)) return;
  reconcile_with_memory();
  const uint32_t line = t / tstates_per_line;
  vsync = vsync_tstate[line] != 1 ? 1 : 0;
  compose_unit(line, t % tstates_per_line / 4);
}

void screen_byte_changed(uint32_t offset, uint8_t value) {
  composed_screen[offset] = value;
  mark_cell(offset & (colour_bytes - 1));
}

void clear_display_buffer() {
  std::memset(display_buffer, 0, sizeof display_buffer);
  picture_replaced();
}

void picture_replaced() {
  mark_whole_picture();
  note_lines_changed(0, last_visible_line);
}
