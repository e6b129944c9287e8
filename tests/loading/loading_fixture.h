// Shared set-up for the loading tests: a scratch directory for the files handed to the
// loaders, and a machine state reset between tests.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "z80/z80.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "sound/audio_out.h"

namespace loading_test {

inline std::string make_scratch_dir() {
  char pattern[] = "/tmp/vantorel-loading-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "/tmp";
}

inline std::string write_file(const std::string& dir, const std::string& name,
                              const std::vector<uint8_t>& bytes) {
  std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

inline std::string write_text(const std::string& dir, const std::string& name, const std::string& text) {
  return write_file(dir, name, std::vector<uint8_t>(text.begin(), text.end()));
}

// A recognisable image: byte i is a mix of its index, so misplaced or shifted copies show.
inline std::vector<uint8_t> pattern_bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13 + seed) & 0xFF);
  return v;
}

// Leaves the loader, the stream and the spooler idle, all keys up, sound on.
inline void reset_loading_state() {
  release_file();
  caq_loaded = false;
  caq_autoload = false;
  while (spool_file) read_spool_file();  // ends (and frees) a running spool
  spool_len = 0;
  aqua_caq = nullptr;
  caq_count = 0;
  for (uint8_t& column : keyboard_map) column = 0xFF;
  snd_sound = 1;
  speed = 0;
  load_error.clear();
}

// Brings the whole machine up once per test program, in a scratch directory without ROM
// images, so that it runs the built-in system ROM.
inline void start_machine_once() {
  static bool started = false;
  if (started) return;
  started = true;
  std::string dir = make_scratch_dir();
  if (chdir(dir.c_str()) != 0) return;
  Initialise_Emulator();
}

class LoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    start_machine_once();
    Rebuild_Mem();
    patch_cassette_routine();
    Reset_Z80();
    reset_loading_state();
    dir_ = make_scratch_dir();
  }
  void TearDown() override {
    reset_loading_state();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string dir_;
};

}  // namespace loading_test
