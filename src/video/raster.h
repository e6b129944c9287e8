// Raster-timed composition of the 40x25 text screen and its border into a 352x232 picture.
#pragma once
#include <cstdint>

#include "core/frame.h"

constexpr uint32_t display_width = 352;
constexpr uint32_t display_height = 232;
constexpr uint32_t display_cells = 40 * 25;
constexpr uint32_t first_active_line = 16, last_active_line = 215;  // the 25 text rows

extern uint32_t display_buffer[display_width * display_height];  // 0x00RRGGBB pixels, composed in place
extern uint8_t vsync;                  // port 0xFD: 1 while the raster is in the 200 active lines
extern uint8_t vsync_tstate[312];      // per PAL line: 1 for lines 0-15 and 216-311
extern const uint32_t AquaColours[16]; // the palette
extern uint8_t composed_screen[0x800]; // screen (0-999) and colour (0x400-0x7E7) bytes the picture shows
extern uint8_t composed_glyphs[2048];  // the character ROM the picture shows
extern uint64_t unit_pending[display_height];  // per line, bit u: cell u (8 pixels) awaits the beam
extern uint32_t lines_pending;         // lines with a bit set in unit_pending
extern uint32_t raster_position;       // t_state at the end of the last composition step
extern uint32_t next_raster_event;     // first T-state with work for the beam: a pending cell, a vsync edge
extern uint32_t changed_first_line;    // lines drawn since the picture was last presented,
extern uint32_t changed_last_line;     //   first > last when none

// Classifies T-state t: 255 blanking, 2 top/bottom border, 1 left/right border, 0 active cell.
uint8_t get_byte_position(uint32_t t);
// Composes the cells the raster crossed in the last n T-states that changed since the beam last
// drew them, keeps vsync with the raster, then screen_t_state = t_state.
inline void byte_to_display(int32_t n);
// byte_to_display's work for an instruction that started at t, when the beam reaches an event
// or t is not where the last step ended (a new frame, a reset, a state load).
void compose_changes(uint32_t t);
void draw_byte(uint32_t t);
void update_border(uint32_t t);
// Clears the picture to black (display-size change); the beam composes it afresh.
void clear_display_buffer();
// The picture was replaced (a state load): it is presented whole, and every cell is composed
// again from memory as the beam reaches it.
void picture_replaced();
// A screen or colour byte at offset (0-0x7FF) of 0x3000 changed to value: the cell shows it
// from the moment the beam reaches it; the border too when it is cell 0.
void screen_byte_changed(uint32_t offset, uint8_t value);

// The CPU's stores to 0x3000-0x37FF. Stores that change nothing, and the hidden bytes past the
// 1000 cells, cost a comparison.
inline void note_screen_write(uint16_t address, uint8_t value) {
  const uint32_t offset = address & 0x7FF;
  if ((offset & 0x3FF) < display_cells && composed_screen[offset] != value) screen_byte_changed(offset, value);
}

inline bool picture_changed() { return changed_first_line <= changed_last_line; }
inline void picture_presented() {
  changed_first_line = display_height;
  changed_last_line = 0;
}

// Runs after every instruction: until the next event the beam only moves on.
inline void byte_to_display(int32_t) {
  const uint32_t t = screen_t_state;
  screen_t_state = t_state;
  if (t != raster_position || t_state > next_raster_event) compose_changes(t);
  raster_position = t_state;
}
