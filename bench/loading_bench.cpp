// Program loading on the built-in ROMs: how many frames a cassette takes to load through the
// ROM's own CLOAD, and how fast the spooler types a listing with pacing off.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench.h"
#include "bench_machine.h"
#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "z80/z80.h"

extern const unsigned char firmware_load_tape[];
extern const unsigned firmware_load_tape_size;

namespace {

constexpr uint16_t tape_load_address = 0x3900;

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool screen_shows(const char* text) {
  const std::string screen(reinterpret_cast<const char*>(ram + 0x3000), 1000);
  return screen.find(text) != std::string::npos;
}

// The tape program followed by filler, so the block is `size` bytes long.
std::vector<uint8_t> tape_of(uint16_t size) {
  std::vector<uint8_t> t(16, 0xFF);
  t.push_back(0x00);
  t.insert(t.end(), {'B', 'E', 'N', 'C', 'H', ' '});
  t.insert(t.end(), 16, 0xFF);
  t.push_back(0x00);
  for (uint16_t word : {tape_load_address, size, tape_load_address}) {
    t.push_back(static_cast<uint8_t>(word & 0xFF));
    t.push_back(static_cast<uint8_t>(word >> 8));
  }
  t.insert(t.end(), firmware_load_tape, firmware_load_tape + firmware_load_tape_size);
  for (uint32_t i = firmware_load_tape_size; i < size; ++i) t.push_back(static_cast<uint8_t>(i));
  return t;
}

void run_loading_bench() {
  BenchMachine machine("vantorel-loading-bench");
  if (!machine.ready()) return;
  const std::string dir = machine.dir().string();

  // A 32K block through CLOAD with autoload; needs the 64K expansion behind it.
  for (uint16_t size : {uint16_t(2048), uint16_t(32768)}) {
    // The previous autoload may still be typing its last strokes; let it finish.
    while (spool_file) one_Z80_frame();
    Rebuild_Mem();
    patch_cassette_routine();
    Reset_Z80();
    memtop = max_memtop[4];
    for (int i = 0; i < 120; ++i) one_Z80_frame();
    caq_autoload = true;
    const std::string path = dir + "/bench.caq";
    write_bytes(path, tape_of(size));
    do_load_file(path);
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    while (frames < 3000 && !screen_shows("TAPE PROGRAM RAN")) {
      one_Z80_frame();
      ++frames;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("loading_tape_%u_bytes_frames=%d\n", size, frames);
    std::printf("loading_tape_%u_bytes_wall_ms=%.1f\n", size, wall * 1000);
  }

  // A listing typed unthrottled: two frames per character.
  caq_autoload = false;
  std::string listing;
  for (int line = 10; listing.size() < 4000; line += 10) listing += std::to_string(line) + " PRINT \"LINE\"\n";
  const std::string path = dir + "/bench.txt";
  write_bytes(path, std::vector<uint8_t>(listing.begin(), listing.end()));
  do_load_file(path);
  int frames = 0;
  const auto start = std::chrono::steady_clock::now();
  while (spool_file) {
    one_Z80_frame();
    ++frames;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("loading_typed_chars=%zu\n", listing.size());
  std::printf("loading_typed_frames=%d\n", frames);
  std::printf("loading_typed_chars_per_wall_second=%.0f\n", listing.size() / wall);
}

BenchmarkRegistrar loading_bench("loading", run_loading_bench);

}  // namespace
