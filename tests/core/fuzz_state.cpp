// libFuzzer harness of the save-state reader: any bytes are refused with a message or put
// the machine in a state that saves and loads again, and nothing crashes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/roms.h"
#include "core/save_state.h"
#include "loading/scratch_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string dir = loading_test::make_fuzz_dir("vantorel-fuzz-state");
  if (chdir(dir.c_str()) != 0) std::abort();
  Initialise_Emulator();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string message;
  const state_result result = decode_state(data, size, (size & 1) != 0, message);
  if (result != state_result::ok) {
    loading_test::fuzz_require(!message.empty(), "a refusal says why");
    return 0;
  }
  const std::vector<uint8_t> again = encode_state();
  loading_test::fuzz_require(decode_state(again.data(), again.size(), false, message) == state_result::ok,
                             "a loaded state saves and loads again");
  return 0;
}
