// Shared set-up for the loading tests: a scratch directory for the files handed to the
// loaders, and a machine state reset between tests.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "z80/z80.h"
#include "scratch_files.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"

namespace loading_test {
// Leaves the loader, the stream, the spooler and the recorder idle, all keys up, sound on.
inline void reset_loading_state() {
  release_file();
  caq_loaded = false;
  caq_autoload = false;
  spool_len = 0;
  if (spool_file) read_spool_file();  // ends (and frees) a running spool
  aqua_caq = nullptr;
  caq_count = 0;
  for (uint8_t& column : keyboard_map) column = 0xFF;
  snd_sound = 1;
  speed = 0;
  load_error.clear();
  tape_record_length = 0;
  tape_record_idle = 0;
  tape_record_overflow = false;
}

// Brings the whole machine up once per test program, in a scratch directory without ROM
// images, so that it runs the built-in system ROM.
inline void start_machine_once() {
  static std::string machine_dir;
  if (!machine_dir.empty()) return;
  machine_dir = make_scratch_dir();
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(machine_dir, ec);
  });
  if (chdir(machine_dir.c_str()) != 0) return;
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
