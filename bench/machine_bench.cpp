// The whole machine on the built-in ROMs, headless, with pacing and sound accounting off:
// how many emulated seconds run in one second of wall time.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench.h"
#include "core/frame.h"
#include "core/roms.h"
#include "tools/headless_host.h"

extern const unsigned char firmware_sysrom[];
extern const unsigned firmware_sysrom_size;
extern const unsigned char firmware_charrom[];
extern const unsigned firmware_charrom_size;

namespace {

void write_file(const std::filesystem::path& path, const unsigned char* data, unsigned size) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data), size);
}

void run_machine_bench() {
  // A private program directory whose roms/ holds the built-in images, so that start-up
  // finds a complete set and reports nothing.
  std::string templ = (std::filesystem::temp_directory_path() / "vantorel-bench-XXXXXX").string();
  if (!mkdtemp(templ.data())) return;
  const std::filesystem::path dir = templ;
  std::filesystem::create_directory(dir / "roms");
  write_file(dir / "roms" / "aquariusS2.rom", firmware_sysrom, firmware_sysrom_size);
  write_file(dir / "roms" / "charS2.rom", firmware_charrom, firmware_charrom_size);
  char cwd[4096];
  const std::string previous = getcwd(cwd, sizeof cwd) ? cwd : ".";
  if (chdir(dir.c_str()) != 0) return;

  Initialise_Emulator();
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

  (void)chdir(previous.c_str());
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

BenchmarkRegistrar machine_bench("machine", run_machine_bench);

}  // namespace
