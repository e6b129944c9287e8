// The controller is proportional plus integral on a smoothed fill level. The FIFO's level is
// noisy at frame rate (a frame's samples arrive at once, the device takes its buffer at its own
// moments), so the level is smoothed over some twenty frames; the integral finds the rate the
// device's clock really runs at, so the level settles at half instead of off to one side.
// What the sample rate cannot take within its half percent goes to the frame period.
#include "sound/rate_control.h"

#include <algorithm>
#include <cmath>

#include "core/frame.h"
#include "sound/audio_out.h"

bool rate_control_on;
double rate_control_ratio = 1.0;
double rate_control_level;
double rate_control_integral;
double frame_stretch;
int32_t rate_step;
int32_t rate_step_acc;
double audio_latency_sum_ms;
double audio_latency_max_ms;
uint32_t audio_latency_count;

namespace {

constexpr double LEVEL_SMOOTHING = 0.1;
constexpr double PROPORTIONAL_GAIN = 6.0;
constexpr double INTEGRAL_GAIN = 0.03;
constexpr double INTEGRATING_RANGE = 0.95;
// In units of the sample steering's range: the integral can stand for a device as far off as
// the frame stretch reaches.
constexpr double INTEGRAL_LIMIT = FRAME_STRETCH_LIMIT / RATE_CONTROL_MAX_DEVIATION;

static_assert(RATE_STEP_ONE == snd_freq, "the nominal sample period is whole in units of 1/snd_freq T-states");

void set_step() {
  // The nominal period is the CPU clock over 44,100, 81.17 T-states: whole periods of 81 alone
  // would make 0.2 % too many samples (a recording 0.2 % slow and low) and, on the desktop, use
  // up half the steering range.
  const int32_t nominal = static_cast<int32_t>(Z80_CLOCK_HZ - snd.sample_tstates * static_cast<uint32_t>(snd_freq));
  if (!rate_control_on) {
    rate_step = nominal;
    return;
  }
  const double off_nominal = static_cast<double>(Z80_CLOCK_HZ) / rate_control_ratio - Z80_CLOCK_HZ;
  rate_step = nominal + static_cast<int32_t>(std::lround(off_nominal));
}

}  // namespace

void rate_control_start(bool on) {
  rate_control_on = on;
  rate_control_ratio = 1.0;
  rate_control_level = 0;
  rate_control_integral = 0;
  frame_stretch = 0;
  rate_step_acc = 0;
  set_step();
}

double rate_control_update(int fill_bytes, int capacity_bytes) {
  const double half = capacity_bytes / 2.0;
  const double error = half > 0 ? std::clamp((fill_bytes - half) / half, -1.0, 1.0) : 0.0;
  rate_control_level += LEVEL_SMOOTHING * (error - rate_control_level);
  // A FIFO near full or empty says more about a start, a stall or a burst than about the
  // device's clock: the integral only learns from levels in between, so a minute of a stalled
  // device does not hold the rate down after it recovers.
  if (std::abs(error) < INTEGRATING_RANGE)
    rate_control_integral =
        std::clamp(rate_control_integral + INTEGRAL_GAIN * rate_control_level, -INTEGRAL_LIMIT, INTEGRAL_LIMIT);
  const double push = PROPORTIONAL_GAIN * rate_control_level + rate_control_integral;
  const double steered = std::clamp(push, -1.0, 1.0);
  // Fuller than half: fewer samples, and the device catches up; beyond the steering's reach,
  // longer frames as well.
  rate_control_ratio = 1.0 - RATE_CONTROL_MAX_DEVIATION * steered;
  frame_stretch = std::clamp(RATE_CONTROL_MAX_DEVIATION * (push - steered), -FRAME_STRETCH_LIMIT, FRAME_STRETCH_LIMIT);
  set_step();
  return rate_control_ratio;
}

int rate_control_frame_end() {
  if (WriteBufferPos > 0) WriteDataToBuffer();
  return sfifo_used(&sound_fifo);
}

double audio_latency_ms(int fifo_bytes) {
  return (fifo_bytes / 4.0 + audio_device_frames) * 1000.0 / snd_freq;
}

void rate_control_deadline(int fill_after_frame) {
  const int fill_at_deadline = sfifo_used(&sound_fifo);
  for (int fill : {fill_after_frame, fill_at_deadline}) {
    const double ms = audio_latency_ms(fill);
    audio_latency_sum_ms += ms;
    audio_latency_max_ms = std::max(audio_latency_max_ms, ms);
    ++audio_latency_count;
  }
  rate_control_update((fill_after_frame + fill_at_deadline) / 2, sound_fifo.size);
}

void audio_latency_reset() {
  audio_latency_sum_ms = 0;
  audio_latency_max_ms = 0;
  audio_latency_count = 0;
}
