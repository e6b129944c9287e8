// Frame scheduling and timing: one frame of Z80 code, the timing tables and their state.
#pragma once
#include <cstdint>

constexpr uint32_t Z80_CLOCK_HZ = 3579545;
constexpr uint32_t DISPLAY_TSTATE_ENTRIES = 72000;

extern uint32_t t_state;             // T-states since the start of the current frame
extern uint32_t temp_t_state;        // t_state at the start of the current instruction
extern uint32_t frame_t_state;       // length of the instruction just executed
extern uint32_t screen_t_state;      // T-state up to which the screen has been drawn
extern uint32_t frame_length;        // T-states per frame: 71590 PAL, 59659 NTSC
extern uint32_t tstates_per_line;    // 229 PAL, 227 NTSC
extern uint32_t frames_per_second;   // 50 PAL, 60 NTSC
extern uint8_t timing_type;          // 1 = PAL, 2 = NTSC
extern uint8_t speed;                // 1 = unlimited speed (no pacing, no sound accounting)
extern uint32_t frame_count;         // frames since the status bar last showed the rate
extern bool quit_requested;          // the main loop ends after its current pass
extern uint8_t display_tstate[DISPLAY_TSTATE_ENTRIES];  // raster class of every T-state of a frame

// Sets the timing state from timing_type and classifies every T-state of a frame.
void initialise_timings();
// T-states per frame of a timing (1 = PAL, 2 = NTSC).
uint32_t frame_length_for(uint8_t timing);
// The logic of the "Timing" menu: index 0 = PAL, 1 = NTSC.
void set_timing(uint8_t index);
// Runs exactly one frame: joystick poll, instructions up to frame_length, spool cadence, the
// tape recorder's idle count, the printer's clock, a repaint request when the picture changed,
// frame count, overshoot carried into the next frame. While the debugger has a stop armed
// (debug/run_control.h) the frame may end early at a stop and go on with the next call; a
// stopped machine runs nothing.
void one_Z80_frame();
// The frame's start-work (the joystick poll) and end-work (everything after the instructions):
// once per frame, whether the frame ran in one go or across the debugger's stops.
void frame_start_work();
void frame_end_work();
// The desktop's pacing after each frame, shared with the audio bench: with a device playing the
// frame's samples go to the FIFO, then the frame waits for its deadline on the steady clock
// (one frame period after the last; far behind or ahead, deadlines start afresh from now), then
// the sample rate is steered from the FIFO's level.
void pace_frame();
// Pacing period in nanoseconds: one frame's T-states at the CPU clock (19,999,748 for PAL,
// 16,666,643 for NTSC: 50.0 and 60.0 frames a second).
uint64_t frame_period_ns();
