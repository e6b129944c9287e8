// Non-blocking, bounded reads of the user's files, and the one writer of what the program saves.
#include "core/host_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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
constexpr int MAX_LINKS = 40;               // as many links as the kernel follows in one path
constexpr size_t RANDOM_CHARACTERS = 6;     // what mkstemp puts in place of XXXXXX

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

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string name_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of links ends in (path itself when it is no link): a saved file replaces
// that one, so that the user's link stays a link.
bool follow_links(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0; hops <= MAX_LINKS; ++hops) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    char link[PATH_MAX];
    const ssize_t n = readlink(target.c_str(), link, sizeof link - 1);
    if (n < 0) return false;
    link[n] = 0;
    const size_t slash = target.rfind('/');
    target = link[0] == '/' || slash == std::string::npos ? std::string(link) : target.substr(0, slash + 1) + link;
  }
  errno = ELOOP;
  return false;
}

std::string shown_name(const saved_file& file) {
  return file.target == file.path ? file.path : file.path + " (a link to " + file.target + ")";
}

bool fail(const saved_file& file, const std::string& why, std::string& error) {
  error = shown_name(file) + ": " + why;
  return false;
}

mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// ".NAME.vantorel-tmp-XXXXXX" in dir: hidden, and of one pattern that start-up can recognise.
bool open_temporary(saved_file& file, const std::string& dir, const std::string& name, mode_t mode) {
  std::string temporary = dir + "/." + name + TEMPORARY_MARK + "XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // mkstemp makes the file private; the saved file gets the permissions it should have.
  fchmod(fd, mode);
  file.fd = fd;
  file.temporary = temporary;
  return true;
}

// The written bytes on disk and the descriptor closed; errno tells why not.
bool complete(saved_file& file) {
  bool ok = true;
  if (file.temporary.empty()) {
    // Rewritten in place: what the old file had beyond the new end goes.
    const off_t end = lseek(file.fd, 0, SEEK_CUR);
    ok = end >= 0 && ftruncate(file.fd, end) == 0;
  }
  ok = ok && fsync(file.fd) == 0;
  int saved_errno = errno;
  if (close(file.fd) != 0 && ok) {
    ok = false;
    saved_errno = errno;
  }
  file.fd = -1;
  errno = saved_errno;
  return ok;
}

void sync_directory_of(const std::string& path) {
  const int fd = open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
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

bool is_own_temporary(const std::string& name) {
  const size_t mark = name.rfind(TEMPORARY_MARK);
  if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 2) return false;
  const size_t tail = mark + std::strlen(TEMPORARY_MARK);
  if (name.size() != tail + RANDOM_CHARACTERS) return false;
  for (size_t i = tail; i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

}  // namespace

bool make_directory(const std::string& dir, std::string& error) {
  if (mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) return true;
  error = dir + ": " + std::strerror(errno);
  return false;
}

bool start_saved_file(saved_file& file, const std::string& path, std::string& error) {
  file = {};
  file.path = path;
  if (!follow_links(path, file.target)) return fail(file, std::strerror(errno), error);
  struct stat st;
  const bool exists = lstat(file.target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return fail(file, "not a regular file; nothing was written to it", error);
  if (exists && (!(st.st_mode & S_IWUSR) || access(file.target.c_str(), W_OK) != 0))
    return fail(file, "the file is read-only", error);
  if (open_temporary(file, directory_of(file.target), name_of(file.target), exists ? st.st_mode & 07777 : new_file_mode()))
    return true;
  if (!exists) return fail(file, std::strerror(errno), error);
  file.fd = open(file.target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (file.fd < 0) return fail(file, std::strerror(errno), error);
  if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    abandon_saved_file(file);
    return fail(file, "not a regular file; nothing was written to it", error);
  }
  return true;
}

bool write_saved_file(saved_file& file, const uint8_t* bytes, size_t length, std::string& error) {
  return write_all(file.fd, bytes, length) || fail(file, std::strerror(errno), error);
}

bool rewrite_saved_file(saved_file& file, uint64_t offset, const uint8_t* bytes, size_t length, std::string& error) {
  while (length) {
    const ssize_t n = pwrite(file.fd, bytes, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(file, std::strerror(n < 0 ? errno : EIO), error);
    bytes += n;
    offset += static_cast<uint64_t>(n);
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool finish_saved_file(saved_file& file, std::string& error) {
  if (complete(file) && (file.temporary.empty() || std::rename(file.temporary.c_str(), file.target.c_str()) == 0)) {
    if (!file.temporary.empty()) sync_directory_of(file.target);
    file.temporary.clear();
    return true;
  }
  fail(file, std::strerror(errno), error);
  abandon_saved_file(file);
  return false;
}

void abandon_saved_file(saved_file& file) {
  if (file.fd >= 0) close(file.fd);
  file.fd = -1;
  if (!file.temporary.empty()) unlink(file.temporary.c_str());
  file.temporary.clear();
}

bool save_file(const std::string& path, const uint8_t* bytes, size_t length, std::string& error) {
  saved_file file;
  if (!start_saved_file(file, path, error)) return false;
  if (!write_saved_file(file, bytes, length, error)) {
    abandon_saved_file(file);
    return false;
  }
  return finish_saved_file(file, error);
}

bool save_file(const std::string& path, const std::string& text, std::string& error) {
  return save_file(path, reinterpret_cast<const uint8_t*>(text.data()), text.size(), error);
}

std::string save_new_file(const std::string& dir, const std::string& name, const std::string& extension,
                          const uint8_t* bytes, size_t length, std::string& error) {
  saved_file file;
  file.path = file.target = dir + "/" + name + extension;
  if (!open_temporary(file, dir, name + extension, new_file_mode())) {
    fail(file, std::strerror(errno), error);
    return {};
  }
  if (!write_all(file.fd, bytes, length) || !complete(file)) {
    fail(file, std::strerror(errno), error);
    abandon_saved_file(file);
    return {};
  }
  for (unsigned number = 1; number <= MAX_NAME_NUMBER; ++number) {
    const std::string chosen = number == 1 ? name + extension : name + "-" + std::to_string(number) + extension;
    if (move_without_replacing(file.temporary, dir + "/" + chosen)) {
      sync_directory_of(file.target);
      return chosen;
    }
    if (errno != EEXIST) {
      error = dir + "/" + chosen + ": " + std::strerror(errno);
      abandon_saved_file(file);
      return {};
    }
  }
  abandon_saved_file(file);
  error = file.target + ": " + std::strerror(EEXIST);
  return {};
}

int remove_stale_temporaries(const std::string& dir) {
  DIR* listing = opendir(dir.c_str());
  if (!listing) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(listing)) {
    if (!is_own_temporary(entry->d_name)) continue;
    const std::string path = dir + "/" + entry->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0) ++removed;
  }
  closedir(listing);
  return removed;
}
