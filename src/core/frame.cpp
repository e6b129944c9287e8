// Frame scheduling: one frame is a fixed budget of T-states of the 3.579545 MHz Z80 clock.
#include "core/frame.h"

#include <chrono>
#include <thread>

#include "core/host.h"
#include "debug/run_control.h"
#include "core/printer.h"
#include "loading/cassette.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"
#include "sound/rate_control.h"
#include "video/raster.h"
#include "z80/z80.h"

uint32_t t_state, temp_t_state, frame_t_state, screen_t_state;
uint32_t frame_length = 71590, tstates_per_line = 229, frames_per_second = 50;
uint8_t timing_type = 1;
uint8_t speed;
uint32_t frame_count;
bool quit_requested;
uint8_t display_tstate[DISPLAY_TSTATE_ENTRIES];

// The frame is the clock divided by the field rate with the fraction dropped, so a frame
// does not end on a line boundary (312.6 PAL lines, 262.8 NTSC lines).
uint32_t frame_length_for(uint8_t timing) { return Z80_CLOCK_HZ / (timing == 1 ? 50 : 60); }

void initialise_timings() {
  if (timing_type == 1) {
    frames_per_second = 50;
    tstates_per_line = 229;
  } else {
    frames_per_second = 60;
    tstates_per_line = 227;
  }
  frame_length = frame_length_for(timing_type);
  // Entries past frame_length keep whatever the other standard left; nothing draws there.
  for (uint32_t t = 0; t < frame_length; ++t) display_tstate[t] = get_byte_position(t);
}

namespace {
// The raster table is valid from program start, so that composition never reads an
// unclassified table even if a host starts frames before its own display set-up.
[[maybe_unused]] const bool timing_table_ready = (initialise_timings(), true);
}  // namespace

void set_timing(uint8_t index) {
  timing_type = static_cast<uint8_t>(index + 1);
  initialise_timings();
}

uint64_t frame_period_ns() { return static_cast<uint64_t>(frame_length) * 1000000000u / Z80_CLOCK_HZ; }

void pace_frame() {
  // The picture keeps the clock: the deadlines are in nanoseconds, so the rate is the machine's
  // own (50.0 or 60.0) rather than a whole number of milliseconds. A frame that is late is not
  // made up by running fast. The sound follows the picture by way of the steered sample rate;
  // only a device far off the clock stretches the period (frame_stretch).
  using clock = std::chrono::steady_clock;
  static clock::time_point deadline = clock::now();
  const bool steering = rate_control_on && play_audio && !speed;
  const int fill_after_frame = steering ? rate_control_frame_end() : 0;
  const auto period = std::chrono::nanoseconds(
      steering ? static_cast<int64_t>(static_cast<double>(frame_period_ns()) * (1.0 + frame_stretch)) : frame_period_ns());
  const auto now = clock::now();
  deadline += period;
  if (deadline + 3 * period < now || deadline > now + 3 * period) deadline = now;
  std::this_thread::sleep_until(deadline);
  if (steering) rate_control_deadline(fill_after_frame);
}

void frame_start_work() { get_joystick_state(); }

void one_Z80_frame() {
  // With a stop armed the debugger's checking loop runs the frame; this loop stays as lean as
  // the machine's speed needs.
  if (run_control_armed || break_requested.load(std::memory_order_relaxed)) {
    run_frame();
    return;
  }
  get_joystick_state();
  // The machine has no frame interrupt: programs poll the vertical-sync flag instead.
  while (t_state < frame_length) One_Z80_Instruction();
  frame_end_work();
}

void frame_end_work() {
  if (spool_file) spool_cadence();
  tape_recorder_frame(frame_length);
  printer_frame_end(frame_length);
  // An unchanged picture is not painted again.
  if (picture_changed()) {
    host_request_repaint();
    picture_presented();
  }
  ++frame_count;
  ++frame_counter;
  // The last instruction usually ends past the frame; its excess counts against the next
  // frame so that the long-run rate is exact.
  t_state = t_state >= frame_length ? t_state - frame_length : 0;
  screen_t_state = screen_t_state >= frame_length ? screen_t_state - frame_length : 0;
}
