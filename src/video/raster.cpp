// STUB
#include "video/raster.h"
uint32_t display_buffer[display_width * display_height];
uint8_t vsync;
uint8_t vsync_tstate[312];
const uint32_t AquaColours[16] = {};
uint8_t get_byte_position(uint32_t) { return 255; }
void byte_to_display(int32_t) {}
void draw_byte(uint32_t) {}
void update_border(uint32_t) {}
void clear_display_buffer() {}
