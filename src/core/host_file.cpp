// Non-blocking, bounded reads of the user's files, and new files written whole without replacing any.
#include "core/host_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

namespace {

constexpr unsigned MAX_NAME_NUMBER = 9999;  // NAME-9999 is the last name tried

bool write_all(int fd, const uint8_t* bytes, size_t length) {
  while (length) {
    const ssize_t n = write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<size_t>(n);
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

bool make_directory(const std::string& dir, std::string& error) {
  if (mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) return true;
  error = dir + ": " + std::strerror(errno);
  return false;
}

std::string save_new_file(const std::string& dir, const std::string& name, const std::string& extension,
                          const uint8_t* bytes, size_t length, std::string& error) {
  const std::string first = dir + "/" + name + extension;
  std::string temporary = dir + "/." + name + extension + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = first + ": " + std::strerror(errno);
    return {};
  }
  // mkstemp makes the file private; the saved file gets the permissions of any new file.
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
    const std::string file = number == 1 ? name + extension : name + "-" + std::to_string(number) + extension;
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
