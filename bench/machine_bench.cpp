// The whole machine on the built-in ROMs, headless, with pacing and sound accounting off:
// how many emulated seconds run in one second of wall time.
#include <chrono>
#include <cstdio>

#include "bench.h"
#include "bench_machine.h"
#include "core/frame.h"
#include "core/roms.h"
#include "tools/headless_host.h"

namespace {

void run_machine_bench() {
  BenchMachine machine("vantorel-bench");
  if (!machine.ready()) return;
  speed = 1;
  const int warmup_frames = 50, frames = 1500;
  for (int i = 0; i < warmup_frames; ++i) one_Z80_frame();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) one_Z80_frame();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double emulated = static_cast<double>(frames) / frames_per_second;

  std::printf("machine_frames=%d\n", frames);
  std::printf("machine_builtin_roms=%d\n", builtin_roms_active ? 1 : 0);
  std::printf("machine_error_messages=%d\n", headless_error_count);
  std::printf("machine_frames_per_wall_second=%.1f\n", frames / wall);
  std::printf("machine_realtime_factor=%.2f\n", emulated / wall);
}

BenchmarkRegistrar machine_bench("machine", run_machine_bench);

}  // namespace
