// The cassette recorder: tape bytes from the ROM's write routine, collected into a .caq file.
#include "loading/tape_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/frame.h"
#include "core/host_file.h"
#include "core/host.h"
#include "core/roms.h"

// Static storage: the buffer exists from program start, so that taking a byte inside an
// instruction never allocates and never fails.
uint8_t tape_record[TAPE_RECORD_MAX];
uint32_t tape_record_length = 0;
uint32_t tape_record_idle = 0;
bool tape_record_overflow = false;

namespace {

constexpr uint8_t TAPE_LEADER = 0xFF;
constexpr uint8_t TAPE_SYNC = 0x00;
constexpr uint32_t TAPE_NAME_BYTES = 6;

}  // namespace

void tape_record_byte(uint8_t value) {
  tape_record_idle = 0;
  if (tape_record_length < TAPE_RECORD_MAX)
    tape_record[tape_record_length++] = value;
  else
    tape_record_overflow = true;
}

void tape_recorder_frame(uint32_t frame_tstates) {
  if (tape_record_length == 0) return;
  tape_record_idle += frame_tstates;
  if (tape_record_idle >= Z80_CLOCK_HZ) tape_recorder_finish();
}

std::string tape_file_name(const uint8_t* bytes, uint32_t length) {
  uint32_t at = 0;
  while (at < length && bytes[at] == TAPE_LEADER) ++at;
  std::string name;
  if (at < length && bytes[at] == TAPE_SYNC && length - at - 1 >= TAPE_NAME_BYTES) {
    const uint8_t* raw = bytes + at + 1;
    uint32_t n = TAPE_NAME_BYTES;
    while (n && (raw[n - 1] == ' ' || raw[n - 1] == 0)) --n;
    for (uint32_t k = 0; k < n; ++k) {
      const uint8_t c = raw[k];
      if (c >= 'a' && c <= 'z') name += static_cast<char>(c - 'a' + 'A');
      else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) name += static_cast<char>(c);
      else name += '_';
    }
  }
  return name.empty() ? "TAPE" : name;
}

std::string tape_save_file(const std::string& dir, const std::string& name, const uint8_t* bytes,
                           uint32_t length, std::string& error) {
  return save_new_file(dir, name, ".caq", bytes, length, error);
}

void tape_recorder_finish() {
  if (tape_record_length == 0) return;
  const std::string name = tape_file_name(tape_record, tape_record_length);
  const std::string dir = (program_dir.empty() ? std::string(".") : program_dir) + "/" + TAPE_DIR;
  std::string error;
  std::string file;
  if (make_directory(dir, error)) file = tape_save_file(dir, name, tape_record, tape_record_length, error);
  const bool cut = tape_record_overflow;
  tape_record_length = 0;
  tape_record_idle = 0;
  tape_record_overflow = false;
  if (file.empty())
    host_tape_notice("The tape could not be saved: " + error, true);
  else
    host_tape_notice(std::string("Tape saved: ") + TAPE_DIR + "/" + file + (cut ? " (cut at 1 MiB)" : ""), false);
}
