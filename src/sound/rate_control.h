// Dynamic rate control on the desktop: the number of samples the machine makes per emulated
// second is steered a little from the FIFO's fill level, so that the FIFO stays about half full
// while the picture keeps its clock, and the latency that results is measured at every frame.
#pragma once
#include <cstdint>

// The steering never moves the sample rate further than this from 44,100 a second: a pitch
// change of under a tenth of a semitone, which nobody hears.
constexpr double RATE_CONTROL_MAX_DEVIATION = 0.005;
// A device whose clock is further off than the steering reaches (timer-driven drivers are, by a
// percent or two) paces the picture instead, as the full FIFO used to: the frame period
// stretches or shrinks by up to this much, and the FIFO stays half full.
constexpr double FRAME_STRETCH_LIMIT = 0.05;

extern bool rate_control_on;         // a device is playing: the sample period is steered
extern double rate_control_ratio;    // samples made per nominal sample, within 1 +- 0.5 %
extern double rate_control_level;    // smoothed fill error: 0 = half full, +1 = full, -1 = empty
extern double rate_control_integral; // accumulated error: the device clock's own offset
extern double frame_stretch;         // relative change of the frame period; 0 unless the device is far off
extern int32_t rate_step;            // T-states beyond sample_tstates in each sample period, in RATE_STEP_ONE units
extern int32_t rate_step_acc;        // fraction of a T-state carried from sample to sample, same units
extern double audio_latency_sum_ms;  // latency taken since the last reset, summed (the bench reads it)
extern double audio_latency_max_ms;  // ... the largest
extern uint32_t audio_latency_count; // ... how many were taken (two a frame)

// The unit of rate_step: 1/44,100 of a T-state, in which the nominal period (the CPU clock over
// 44,100) is a whole number, so that the emulated second holds exactly 44,100 samples.
constexpr int32_t RATE_STEP_ONE = 44100;

// Starts the steering from the nominal rate (on: a device plays) or stops it (off: the sample
// period stays the nominal one, as the headless recordings use it).
void rate_control_start(bool on);
// One step of the controller from a fill level in bytes of a FIFO of capacity bytes; sets
// rate_control_ratio, rate_step and frame_stretch and returns the ratio.
double rate_control_update(int fill_bytes, int capacity_bytes);
// Frame end, before the pacing sleep: the frame's last samples go to the FIFO now rather than
// with the next frame. Returns the FIFO's fill level after them.
int rate_control_frame_end();
// At the frame's deadline: records the latency at both ends of the sleep and steers from their
// mean, which is about the FIFO's average over the frame.
void rate_control_deadline(int fill_after_frame);
// Latency in milliseconds for a FIFO holding fifo_bytes: what it holds plus the device buffer.
double audio_latency_ms(int fifo_bytes);
void audio_latency_reset();
