// Raster-timed composition of the 40x25 text screen and its border into a 352x232 picture.
#pragma once
#include <cstdint>

constexpr uint32_t display_width = 352;
constexpr uint32_t display_height = 232;

extern uint32_t display_buffer[display_width * display_height];  // 0x00RRGGBB pixels, composed in place
extern uint8_t vsync;                  // port 0xFD: 1 while the raster is in the 200 active lines
extern uint8_t vsync_tstate[312];      // per PAL line: 1 for lines 0-15 and 216-311
extern const uint32_t AquaColours[16]; // the palette

// Classifies T-state t: 255 blanking, 2 top/bottom border, 1 left/right border, 0 active cell.
uint8_t get_byte_position(uint32_t t);
// Composes the cells the raster crossed in the last n T-states, then screen_t_state = t_state.
void byte_to_display(int32_t n);
void draw_byte(uint32_t t);
void update_border(uint32_t t);
// Clears the picture to black (display-size change).
void clear_display_buffer();
