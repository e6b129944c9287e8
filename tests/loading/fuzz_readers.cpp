// libFuzzer harness of the loaders alone, without running the machine, so that it is fast
// enough to reach big inputs: arbitrary bytes read from a file as a cartridge (mapped, then
// seen through a scrambler key), as a cassette (read whole through port 0xFC), as a recording
// of a tape (a WAV file, decoded) or as a text (typed through the matrix stroke by stroke).
// What lands in the machine must be exactly what the file held, and nothing may crash.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/memory.h"
#include "core/ports.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "loading/tape_wav.h"
#include "scratch_files.h"

namespace {

std::string scratch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch = loading_test::make_fuzz_dir("vantorel-fuzz-readers");
  memory_allocate();
  return 0;
}

// First byte: bits 0-1 the kind (cartridge, cartridge, cassette, text), the rest a scrambler key;
// for a cassette, bit 2 set makes it a recording.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  const uint8_t* body = data + 1;
  const size_t length = size - 1;
  current_filename = scratch + "/input";
  loading_test::write_file(scratch, "input", std::vector<uint8_t>(body, body + length));

  loading_test::fuzz_require(aqua_read_file(), "a regular file is read");
  loading_test::fuzz_require(file.size == length, "read whole");
  switch (control & 3) {
    case 0:
    case 1: {
      WritePort(0x00FF, 0);
      Rebuild_Mem();
      const bool mapped = aqua_get_file();
      loading_test::fuzz_require(mapped == (length > 0 && length <= CART_MAX_BYTES), "cartridge accepted iff 1..16K");
      if (!mapped) break;
      const uint8_t key = static_cast<uint8_t>(control >> 2);
      WritePort(0x00FF, key);
      const uint16_t base = length > CART_PAGE_BYTES ? 0xC000 : 0xE000;
      for (size_t i = 0; i < 0x10000u - base; ++i) {
        const uint8_t stored = i < length ? body[i] : 0xFF;
        loading_test::fuzz_require(ReadByte(static_cast<uint16_t>(base + i)) == (stored ^ key), "cartridge bytes through the key");
      }
      WriteByte(base, static_cast<uint8_t>(~ReadByte(base)));
      loading_test::fuzz_require(ReadByte(base) == (body[0] ^ key), "cartridge is read-only");
      break;
    }
    case 2:
      if (control & 4) {
        std::vector<uint8_t> tape;
        std::string error;
        const bool read = read_tape_wav(current_filename, tape, error);
        loading_test::fuzz_require(read ? !tape.empty() && error.empty() : tape.empty() && !error.empty(),
                                   "a recording gives a tape or a reason");
        break;
      }
      loading_test::fuzz_require(caq_insert(file.data, file.size), "cassette inserted");
      for (size_t i = 0; i < length; ++i) loading_test::fuzz_require(get_caq_byte() == body[i], "cassette byte order");
      for (uint32_t i = 0; i < CAQ_TRAILER_BYTES; ++i) loading_test::fuzz_require(get_caq_byte() == 0x00, "cassette trailer");
      loading_test::fuzz_require(get_caq_byte() == 0xFF && !aqua_caq, "cassette end");
      break;
    default: {
      loading_test::fuzz_require(spool_start(file.data, file.size, SPOOL_STROKE_FILE, 1), "text spooled");
      uint32_t strokes = 0;
      // Every character is one stroke of two frame ends; the spool ends one stroke after the last.
      while (spool_file && strokes <= 2 * length + 4) {
        spool_cadence();
        ++strokes;
      }
      loading_test::fuzz_require(!spool_file, "spool ends after its text");
      ClearPorts();
      break;
    }
  }
  release_file();
  return 0;
}
