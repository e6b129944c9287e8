// libFuzzer harness for the loaders end to end (the slow one; fuzz_readers covers the readers
// alone at speed): arbitrary bytes handed over as a cartridge, a cassette or a text, then the
// machine runs on them (a cartridge's bytes are executed by the CPU, a
// cassette's are read by the system ROM, a text's are typed). Nothing may crash, and what the
// loaders put in place must be exactly what the file held.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/roms.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "scratch_files.h"
#include "z80/z80.h"

namespace {

std::string scratch;
constexpr const char* extensions[4] = {".rom", ".BIN", ".caq", ".txt"};
constexpr int frames_per_input = 12;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch = loading_test::make_fuzz_dir("vantorel-fuzz-loading");
  if (chdir(scratch.c_str()) != 0) std::abort();
  Initialise_Emulator();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  const uint8_t* body = data + 1;
  const size_t length = size - 1;
  const std::string path = scratch + "/input" + extensions[control & 3];
  loading_test::write_file(scratch, std::string("input") + extensions[control & 3], std::vector<uint8_t>(body, body + length));

  // A cartridge run by the last input may have left a scrambler key in port 0xFF.
  WritePort(0x00FF, 0);
  Rebuild_Mem();
  patch_cassette_routine();
  Reset_Z80();
  ClearPorts();
  caq_autoload = (control & 4) != 0;
  const uint8_t result = do_load_file(path);

  switch (control & 3) {
    case 0:
    case 1:
      loading_test::fuzz_require((result == 0) == (length > 0 && length <= CART_MAX_BYTES), "cartridge accepted iff 1..16K");
      if (result == 0) {
        const uint16_t base = length > CART_PAGE_BYTES ? 0xC000 : 0xE000;
        for (size_t i = 0; i < 0x10000u - base; ++i) {
          const uint8_t want = i < length ? body[i] : 0xFF;
          loading_test::fuzz_require(FetchOpcode(static_cast<uint16_t>(base + i)) == want, "cartridge bytes in place");
        }
        SoftReset();
      }
      break;
    case 2:
      loading_test::fuzz_require(result == 0 && caq_loaded, "cassette inserted");
      if (control & 8) {
        // Read it all through the port: the bytes in order, the zero trailer, then 0xFF.
        for (size_t i = 0; i < length; ++i) loading_test::fuzz_require(ReadPort(0x00FC) == body[i], "cassette byte order");
        for (uint32_t i = 0; i < CAQ_TRAILER_BYTES; ++i) loading_test::fuzz_require(ReadPort(0x00FC) == 0x00, "cassette trailer");
        loading_test::fuzz_require(ReadPort(0x00FC) == 0xFF && !aqua_caq, "cassette end");
        aqua_get_caq_file();
      } else {
        aqua_arch_get_spool_file("CLOAD\n");
      }
      break;
    default:
      loading_test::fuzz_require(result == 0 && spool_file && spool_len == length, "text spooled whole");
      break;
  }
  for (int i = 0; i < frames_per_input; ++i) one_Z80_frame();
  release_file();
  return 0;
}
