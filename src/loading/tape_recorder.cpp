// The cassette recorder: tape bytes from the ROM's write routine, collected into a .caq file.
#include "loading/tape_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/frame.h"
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
constexpr unsigned MAX_NAME_NUMBER = 9999;  // HELLO-9999.caq is the last one tried

bool write_all(int fd, const uint8_t* bytes, uint32_t length) {
  while (length) {
    const ssize_t n = write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<uint32_t>(n);
  }
  return true;
}

// Puts from in place under the name to, unless to exists already. Not every file system can
// rename without replacing; a hard link does the same there.
bool move_without_replacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

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
  const std::string first = dir + "/" + name + ".caq";
  std::string temporary = dir + "/." + name + ".caq.XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = first + ": " + std::strerror(errno);
    return {};
  }
  // mkstemp makes the file private; a saved tape gets the permissions of any new file.
  const mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, 0666 & ~mask) == 0 && write_all(fd, bytes, length) && fsync(fd) == 0;
  int saved_errno = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    saved_errno = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    error = first + ": " + std::strerror(saved_errno);
    return {};
  }
  for (unsigned number = 1; number <= MAX_NAME_NUMBER; ++number) {
    const std::string file = number == 1 ? name + ".caq" : name + "-" + std::to_string(number) + ".caq";
    if (move_without_replacing(temporary, dir + "/" + file)) return file;
    if (errno != EEXIST) {
      error = dir + "/" + file + ": " + std::strerror(errno);
      unlink(temporary.c_str());
      return {};
    }
  }
  unlink(temporary.c_str());
  error = first + ": " + std::strerror(EEXIST);
  return {};
}

void tape_recorder_finish() {
  if (tape_record_length == 0) return;
  const std::string name = tape_file_name(tape_record, tape_record_length);
  const std::string dir = (program_dir.empty() ? std::string(".") : program_dir) + "/" + TAPE_DIR;
  std::string error;
  std::string file;
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
    error = dir + ": " + std::strerror(errno);
  else
    file = tape_save_file(dir, name, tape_record, tape_record_length, error);
  const bool cut = tape_record_overflow;
  tape_record_length = 0;
  tape_record_idle = 0;
  tape_record_overflow = false;
  if (file.empty())
    host_tape_notice("The tape could not be saved: " + error, true);
  else
    host_tape_notice(std::string("Tape saved: ") + TAPE_DIR + "/" + file + (cut ? " (cut at 1 MiB)" : ""), false);
}
