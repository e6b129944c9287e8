// libFuzzer harness of the save-state reader: any bytes are refused with a message or put
// the machine in a state that saves and loads again, and nothing crashes. A whole state (its
// RAM and picture) is far larger than the inputs the fuzzer makes, so an input starting with
// 'E' is a list of edits of the real state saved at start-up instead: each 4 bytes an offset
// (3 bytes, little-endian, taken modulo its size) and the byte to put there; a last odd byte
// cuts the state short by that many bytes. This way the deep sections and the load are reached.
// A state that loads then runs a frame with the sound clocked, and what the machine comes to
// must save and load again: a value that stalls the machine shows as a time-out (the run
// script gives each input a few seconds), one it cannot reach as a refusal of its own state.
#include <unistd.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/frame.h"
#include "core/roms.h"
#include "core/save_state.h"
#include "loading/scratch_files.h"
#include "sound/audio_out.h"

namespace {

std::vector<uint8_t>& real_state() {
  static std::vector<uint8_t> state;
  return state;
}

std::vector<uint8_t> edited_state(const uint8_t* edits, size_t size) {
  std::vector<uint8_t> state = real_state();
  size_t at = 0;
  for (; at + 4 <= size; at += 4) {
    const size_t offset = (edits[at] | edits[at + 1] << 8 | edits[at + 2] << 16) % state.size();
    state[offset] = edits[at + 3];
  }
  if (at < size) state.resize(state.size() - std::min<size_t>(edits[at], state.size()));
  return state;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string dir = loading_test::make_fuzz_dir("vantorel-fuzz-state");
  if (chdir(dir.c_str()) != 0) std::abort();
  Initialise_Emulator();
  real_state() = encode_state();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> edited;
  if (size > 0 && data[0] == 'E') {
    edited = edited_state(data + 1, size - 1);
    data = edited.data();
    size = edited.size();
  }
  std::string message;
  const state_result result = decode_state(data, size, (size & 1) != 0, message);
  if (result != state_result::ok) {
    loading_test::fuzz_require(!message.empty(), "a refusal says why");
    return 0;
  }
  const std::vector<uint8_t> again = encode_state();
  loading_test::fuzz_require(decode_state(again.data(), again.size(), false, message) == state_result::ok,
                             "a loaded state saves and loads again");
  speed = 0;
  play_audio = 1;
  one_Z80_frame();
  const std::vector<uint8_t> ran = encode_state();
  loading_test::fuzz_require(decode_state(ran.data(), ran.size(), false, message) == state_result::ok,
                             "the state a loaded machine runs into saves and loads again");
  // A recording the frame finished went to tapes/: each input starts without one.
  std::error_code ec;
  std::filesystem::remove_all("tapes", ec);
  return 0;
}
