// The whole machine as in real-time play, with sound accounting on: every sample made, every AY
// tick run, the FIFO drained after each frame as the audio device would. The figure is how many
// emulated seconds run in one second of wall time.
#include <chrono>
#include <cstdio>

#include "bench.h"
#include "bench_machine.h"
#include "core/frame.h"
#include "core/roms.h"
#include "sound/audio_out.h"
#include "sound/sfifo.h"

namespace {

void drain_like_a_device() {
  static uint8_t device_buffer[4096];
  while (sound_fill_device_buffer(device_buffer, sizeof device_buffer) > 0) {
  }
}

void run_sound_bench() {
  BenchMachine machine("vantorel-sound-bench");
  if (!machine.ready()) return;
  speed = 0;
  resume_audio();
  // Keep the AY busy too: a tone on A, noise on B, an envelope on C.
  const uint8_t setup[][2] = {{7, 0x2E}, {0, 100}, {6, 7}, {8, 15}, {9, 12}, {10, 0x10}, {11, 50}, {13, 14}};
  for (const auto& r : setup) {
    snd.reg_select = r[0];
    AY_reg_write(r[1]);
  }

  const int warmup_frames = 50, frames = 1500;
  long bytes = 0;
  for (int i = 0; i < warmup_frames; ++i) { one_Z80_frame(); drain_like_a_device(); }
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) {
    one_Z80_frame();
    bytes += sfifo_used(&sound_fifo);
    drain_like_a_device();
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double emulated = static_cast<double>(frames) / frames_per_second;

  std::printf("machine_with_sound_frames=%d\n", frames);
  std::printf("machine_with_sound_samples_per_emulated_second=%.0f\n", bytes / 4.0 / emulated);
  std::printf("machine_with_sound_realtime_factor=%.2f\n", emulated / wall);

  pause_audio();
}

BenchmarkRegistrar sound_bench("sound", run_sound_bench);

}  // namespace
