// Non-blocking, bounded reads of the user's files.
#include "core/host_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int open_regular_file(const std::string& path, struct stat& st, host_file_status& status) {
  status = {};
  if (stat(path.c_str(), &st) != 0) {
    status.missing = errno == ENOENT || errno == ENOTDIR;
    status.why = std::strerror(errno);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    status.why = "not a regular file";
    return -1;
  }
  // The name may have been swapped for a FIFO between the two calls: O_NONBLOCK keeps the
  // open from waiting for a writer, and the type is checked again on what was opened.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    status.missing = errno == ENOENT;
    status.why = std::strerror(errno);
    return -1;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    status.why = "not a regular file";
    close(fd);
    return -1;
  }
  return fd;
}

bool read_at_most(int fd, uint64_t limit, std::vector<uint8_t>& out, std::string& why) {
  out.clear();
  uint8_t chunk[16384];
  while (out.size() < limit) {
    const uint64_t want = limit - out.size() < sizeof chunk ? limit - out.size() : sizeof chunk;
    const ssize_t got = read(fd, chunk, static_cast<size_t>(want));
    if (got < 0) {
      if (errno == EINTR) continue;
      why = std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    out.insert(out.end(), chunk, chunk + got);
  }
  return true;
}

bool read_host_file(const std::string& path, uint64_t limit, std::vector<uint8_t>& out,
                    uint64_t& size, host_file_status& status) {
  struct stat st;
  const int fd = open_regular_file(path, st, status);
  if (fd < 0) return false;
  size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  const bool ok = read_at_most(fd, limit, out, status.why);
  close(fd);
  return ok;
}
