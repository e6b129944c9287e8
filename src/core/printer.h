// The printer on port 0xFE: bit 0 written is its serial line, bit 0 read its ready line. It
// prints on a 40-column roll, every code with the machine's own character ROM.
//
// The system ROM sends each byte as a start bit (0), eight data bits from the least significant
// and a stop bit (1), every bit held for about 2,900 T-states (some 1,230 baud). The printer
// sees the line only where the CPU writes it, so it decodes from the T-states of those writes:
// each bit is sampled at its middle, counted from the start bit's falling edge. The bit time is
// learnt from the level changes inside each byte, so a sender up to 15 % off is read right.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/frame.h"

class StateReader;
class StateWriter;

constexpr uint32_t PRINTER_COLUMNS = 40;
// The roll keeps this many lines, the oldest dropped first: a PNG of all of it stays inside
// what cairo can draw (32,767 rows).
constexpr uint32_t PRINTER_MAX_LINES = 3000;
constexpr uint32_t PRINTER_BIT_TSTATES = 2900;
// The bit times it learns: a fifth either side, so that a sender 15 % off is followed with room.
constexpr uint32_t PRINTER_BIT_FASTEST = PRINTER_BIT_TSTATES * 80 / 100;
constexpr uint32_t PRINTER_BIT_SLOWEST = PRINTER_BIT_TSTATES * 120 / 100;
// "Printing…" stays this long after a byte came in.
constexpr uint32_t PRINTER_ACTIVE_TSTATES = Z80_CLOCK_HZ / 2;
// The paper as a picture: a margin all round, 8 x 8 glyphs, one line every 10 rows.
constexpr uint32_t PRINTER_MARGIN = 8;
constexpr uint32_t PRINTER_LINE_ROWS = 10;
constexpr uint32_t PRINTER_PICTURE_WIDTH = 2 * PRINTER_MARGIN + 8 * PRINTER_COLUMNS;
constexpr uint32_t PRINTER_PAPER = 0xFFFFFF, PRINTER_INK = 0x101010;

enum printer_phase : uint8_t {
  PRINTER_IDLE,          // waiting for a start bit
  PRINTER_RECEIVING,     // sampling a byte
  PRINTER_FRAMING_ERROR  // a byte without its stop bit: waiting for the line to go high
};

extern uint8_t printer_paper[PRINTER_MAX_LINES][PRINTER_COLUMNS];  // a ring of lines: codes as printed, 0x20 unprinted
extern uint8_t printer_line_length[PRINTER_MAX_LINES];  // columns printed on each line
extern uint32_t printer_oldest;          // ring index of the first line kept
extern uint32_t printer_lines;           // lines on the roll, 1 or more; the last is the head's
extern uint8_t printer_column;           // the head: 0-40 (at 40 the next character wraps)
extern uint64_t printer_clock;           // T-states of every frame before the current one
extern uint8_t printer_level;            // the serial line as last written (1 idle)
extern uint8_t printer_state;            // a printer_phase
extern uint64_t printer_start;           // the start bit's falling edge of the byte coming in
extern uint8_t printer_next_bit;         // the next bit to sample: 0 start, 1-8 data, 9 stop (10 after it)
extern uint8_t printer_data;             // data bits sampled so far
extern uint32_t printer_bit_time;        // T-states a bit, learnt from the bytes read right
extern uint32_t printer_byte_bit_time;   // the same, refined within the byte coming in
extern uint64_t printer_active_until;    // "Printing…" until then
extern uint32_t printer_changes;         // counts changes to the paper, for whoever shows it

// A write of port 0xFE, at the current T-state.
void printer_write(uint8_t value);
// Bit 0 of reads of port 0xFE: 1 when ready, 0 while a byte comes in.
uint8_t printer_ready();
// Frame end, before the frame's T-states are taken off t_state: the bits whose middle has passed
// are sampled.
void printer_frame_end(uint32_t frame_tstates);
// Bytes are coming in.
bool printer_printing();

// Clears the paper ("Tear Off"); a byte coming in still arrives.
void printer_tear_off();
// Everything printed as text: one line a line, trailing blanks dropped, the head's line only
// when something is on it. Codes that are not printable ASCII become the printable character
// whose glyph in the character ROM is nearest, or '.' when none is near.
std::string printer_text();
char printer_text_char(uint8_t code);
// The paper as a picture of PRINTER_PICTURE_WIDTH x printer_picture_height() pixels
// (0x00RRGGBB): rows first_row onwards, as many as fit in count rows, into pixels.
uint32_t printer_picture_height();
void printer_picture_rows(uint32_t first_row, uint32_t count, uint32_t* pixels);
// Writes printer_text() to path through the one writer; false with error set.
bool printer_save_text(const std::string& path, std::string& error);

// Everything above as a save state holds it. A reader fills PrinterSaved and refuses values the
// printer cannot reach; printer_restore puts them in force; without a saved printer the roll
// is clean and the line idle.
struct PrinterSaved {
  std::vector<uint8_t> paper;  // lines oldest first, each a length byte and that many codes
  uint32_t lines = 1;
  uint8_t column = 0, level = 1, state = PRINTER_IDLE, next_bit = 0, data = 0;
  uint64_t clock = 0, start = 0, active_until = 0;
  uint32_t bit_time = PRINTER_BIT_TSTATES, byte_bit_time = PRINTER_BIT_TSTATES;
};
void printer_write_state(StateWriter& w);
bool printer_read_state(StateReader& r, PrinterSaved& s);
void printer_restore(const PrinterSaved& s);
