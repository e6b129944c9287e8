// STUB
#include "core/frame.h"
uint32_t t_state, temp_t_state, frame_t_state, screen_t_state;
uint32_t frame_length = 71590, tstates_per_line = 229, frames_per_second = 50;
uint8_t timing_type = 1;
uint8_t speed;
uint32_t frame_count;
bool quit_requested;
uint8_t display_tstate[DISPLAY_TSTATE_ENTRIES];
void initialise_timings() {}
void set_timing(uint8_t) {}
void one_Z80_frame() {}
uint32_t frame_period_ms() { return 1000 / frames_per_second; }
