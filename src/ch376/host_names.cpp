// The host directory behind the CH376: names from the emulated program to host names and back
// (8.3 forms, 32-byte directory entries), wildcard enumeration, and the confinement that keeps
// every name inside the mounted directory. Names are resolved as absolute paths built from the
// current directory and checked with realpath against the root; the process's working
// directory is never changed, so no other part of the program sees it move. A FAT stick finds
// names whatever their case, and its listings show them upper-cased: a name component that
// does not exist as given falls back to an entry of its directory that differs only in case.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ch376/ch376.h"
#include "ch376/ch376_internal.h"

namespace {

void put_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string join_path(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// Copies one part of a host name in 8.3 style: upper-case letters, padded with spaces.
bool copy_name_part(const char* from, size_t length, size_t width, char* to) {
  if (length > width) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(from[i]);
    if (c == 0xFF) return false;
    to[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
  }
  for (size_t i = length; i < width; ++i) to[i] = ' ';
  return true;
}

// Opens a confined path with the given flags, refusing a symbolic link in its last component
// and anything that is not a regular file; a FIFO must not block the machine.
int open_regular(const std::string& path, int flags, mode_t mode) {
  int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  int fl = fcntl(fd, F_GETFL);
  if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

// The directory entry's attribute byte: FAT's directory and read-only bits.
uint8_t attributes_of(const struct stat& st) {
  uint8_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= 0x10;
  if (!(st.st_mode & S_IWUSR)) attributes |= 0x01;
  return attributes;
}

}  // namespace

void trim_file_name(const char* name, char* out) {
  size_t n = 0;
  const char* p = name;
  while (*p && *p != ' ') out[n++] = *p++;
  if (*p == ' ') {
    while (*p == ' ') ++p;
    while (*p && *p != ' ') out[n++] = *p++;
  }
  if (n > 0 && out[n - 1] == '.') --n;
  out[n] = 0;
}

char* normalize_file_name(const char* host_name, char* out) {
  const char* dot = std::strchr(host_name, '.');
  size_t name_length = dot ? static_cast<size_t>(dot - host_name) : std::strlen(host_name);
  if (!copy_name_part(host_name, name_length, 8, out)) return nullptr;
  const char* extension = dot ? dot + 1 : "";
  if (std::strchr(extension, '.')) return nullptr;
  if (!copy_name_part(extension, std::strlen(extension), 3, out + 8)) return nullptr;
  out[11] = 0;
  return out;
}

const std::string& ch376_base_dir() {
  return ch376->current_dir.empty() ? *ch376->root_path : ch376->current_dir;
}

bool ch376_inside_root(const std::string& p) {
  if (!ch376 || !ch376->root_path) return false;
  const std::string& root = *ch376->root_path;
  if (root == "/") return !p.empty() && p[0] == '/';
  return p.compare(0, root.size(), root) == 0 && (p.size() == root.size() || p[root.size()] == '/');
}

bool ch376_canonical(const std::string& path, std::string& out) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return false;
  out = resolved;
  return true;
}

namespace {

bool equal_ignoring_ascii_case(const char* a, const char* b) {
  auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; };
  for (; *a && *b; ++a, ++b) {
    if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

// Replaces part, a component of a name inside the directory dir, by the entry of that
// directory it stands for on FAT: the part itself when it exists, else the first entry in
// byte order equal to it ignoring case. Only a directory already inside the root is searched,
// and "." and ".." stay what they are; the caller's realpath check still has the last word.
void match_case(const std::string& dir, std::string& part) {
  if (part.empty() || part == "." || part == "..") return;
  std::string canonical;
  if (!ch376_canonical(dir, canonical) || !ch376_inside_root(canonical)) return;
  struct stat st;
  if (lstat(join_path(canonical, part).c_str(), &st) == 0 || errno != ENOENT) return;
  DIR* stream = opendir(canonical.c_str());
  if (!stream) return;
  std::string first;
  while (struct dirent* entry = readdir(stream)) {
    const char* n = entry->d_name;
    if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
    if (equal_ignoring_ascii_case(n, part.c_str()) && (first.empty() || std::strcmp(n, first.c_str()) < 0)) first = n;
  }
  closedir(stream);
  if (!first.empty()) part = first;
}

// The full host path of a name: an absolute one as it is (the loader's own paths), a relative
// one below the base directory with each component matched as on FAT. A name about to be
// created keeps its last component as the program gave it.
std::string host_path_of(const std::string& name, bool keep_last_name) {
  if (!name.empty() && name[0] == '/') return name;
  std::string path = ch376_base_dir();
  for (size_t start = 0;;) {
    size_t slash = name.find('/', start);
    bool last = slash == std::string::npos;
    std::string part = name.substr(start, last ? std::string::npos : slash - start);
    if (!(last && keep_last_name)) match_case(path, part);
    path = join_path(path, part);
    if (last) return path;
    start = slash + 1;
  }
}

// Splits a full path into its canonical parent (inside the mount) and its last component,
// which must be a real name.
bool confined_parent(std::string full, std::string& parent, std::string& leaf) {
  while (full.size() > 1 && full.back() == '/') full.pop_back();
  size_t slash = full.rfind('/');
  if (slash == std::string::npos) return false;
  leaf = full.substr(slash + 1);
  if (leaf.empty() || leaf == "." || leaf == "..") return false;
  std::string parent_path = slash == 0 ? std::string("/") : full.substr(0, slash);
  if (!ch376_canonical(parent_path, parent) || !ch376_inside_root(parent)) return false;
  struct stat st;
  return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool ch376_confined_path(const std::string& name, std::string& host_path, bool keep_last_name) {
  if (!ch376 || !ch376->root_path) return false;
  std::string full = name.empty() ? ch376_base_dir() : host_path_of(name, keep_last_name);
  std::string canonical;
  if (ch376_canonical(full, canonical)) {
    if (!ch376_inside_root(canonical)) return false;
    host_path = canonical;
    return true;
  }
  if (errno != ENOENT) return false;
  // The last component does not exist yet (a name about to be created): its parent must.
  std::string parent, leaf;
  if (!confined_parent(full, parent, leaf)) return false;
  std::string candidate = join_path(parent, leaf);
  struct stat st;
  // Something there after all (a dangling symbolic link, or a race): not a free name.
  if (lstat(candidate.c_str(), &st) == 0) return false;
  host_path = candidate;
  return true;
}

bool ch376_confined_entry(const std::string& name, std::string& out) {
  if (!ch376 || !ch376->root_path || name.empty()) return false;
  std::string parent, leaf;
  if (!confined_parent(host_path_of(name, false), parent, leaf)) return false;
  out = join_path(parent, leaf);
  return true;
}

FILE* ch376_open_for_update(const std::string& canonical_path) {
  struct stat st;
  // Root ignores permission bits: the owner-write bit is what the stick shows as read-only,
  // so it is what decides.
  if (stat(canonical_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR)) return nullptr;
  int fd = open_regular(canonical_path, O_RDWR, 0);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "rb+");
  if (!f) close(fd);
  return f;
}

FILE* ch376_open_existing(const std::string& canonical_path) {
  if (FILE* f = ch376_open_for_update(canonical_path)) return f;
  // A file without owner-write permission is the stick's read-only file: it opens for reading,
  // and every write to it fails.
  int fd = open_regular(canonical_path, O_RDONLY, 0);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}

bool ch376_read_only(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

bool ch376_has_short_form(const std::string& name) {
  if (name.empty()) return false;
  // FAT keeps these out of short names. Control characters, DEL and bytes above 0x7F are
  // refused too: the host could hold them only as names no one can type or show, and a byte
  // above 0x7F alone is no valid UTF-8.
  static constexpr char fat_forbidden[] = "\"*+,/:;<=>?[\\]|";
  for (const char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F || std::strchr(fat_forbidden, c)) return false;
  }
  const size_t dot = name.find('.');
  if (dot == 0) return false;  // FAT has no name with an empty name part
  char short_name[12];
  return normalize_file_name(name.c_str(), short_name) != nullptr;
}

FILE* ch376_create_file(const std::string& confined_path) {
  struct stat st;
  if (lstat(confined_path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR))) return nullptr;
  int fd = open_regular(confined_path, O_RDWR | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "wb+");
  if (!f) close(fd);
  return f;
}

FILE* system_file_open_existing(const std::string& path, const std::string& dir) {
  if (!ch376 || !ch376->root_path) return nullptr;
  std::string full = (dir.empty() || (!path.empty() && path[0] == '/')) ? path : join_path(dir, path);
  std::string resolved;
  if (!ch376_confined_path(full, resolved)) return nullptr;
  return ch376_open_for_update(resolved);
}

void ch376_start_enumeration(const std::string& name) {
  CH376& d = *ch376;
  ch376_close_enumeration();
  ch376_dir_enum* e = new (std::nothrow) ch376_dir_enum{};
  if (!e) {
    ch376_finish(0x00, ERR_MISS_FILE);
    return;
  }
  d.dir_enum = e;
  // Before the program has named the root, the current directory is the root: a listing
  // then shows the stick's top level, as a user looking at a fresh stick expects.
  if (ch376_canonical(ch376_base_dir(), e->path) && ch376_inside_root(e->path)) {
    e->dir = opendir(e->path.c_str());
  }
  if (name == "*") {
    normalize_file_name("*.*", d.pattern);
  } else if (!normalize_file_name(name.c_str(), d.pattern)) {
    d.pattern[0] = 0;
  }
  if (char* star = std::strchr(d.pattern, '*')) std::memset(star, '*', static_cast<size_t>(d.pattern + 11 - star));
  ch376_file_enum_go();
}

namespace {

// Hands out one entry of a listing, named short_name on the stick, when it matches the
// pattern and can be shown: into the result buffer, as a FAT directory entry.
bool offer_entry(CH376& d, ch376_dir_enum& e, const char* host_name, const char (&short_name)[12]) {
  bool match = true;
  for (int i = 0; i < 11 && match; ++i) match = d.pattern[i] == '*' || d.pattern[i] == short_name[i];
  if (!match) return false;
  struct stat st;
  if (fstatat(dirfd(e.dir), host_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    // A link is shown as what it leads to, and only when that lies inside the mount.
    std::string target;
    if (!ch376_canonical(join_path(e.path, host_name), target) || !ch376_inside_root(target) ||
        stat(target.c_str(), &st) != 0) {
      return false;
    }
  }
  std::memcpy(d.buffer, short_name, 11);
  d.buffer[11] = attributes_of(st);
  std::memset(d.buffer + 12, 0, 16);
  put_le32(d.buffer + 28, static_cast<uint32_t>(st.st_size));
  return true;
}

}  // namespace

bool ch376_enumeration_step() {
  CH376& d = *ch376;
  ch376_dir_enum* e = d.dir_enum;
  if (!e || !e->dir) return false;
  // The directory may have been renamed away (or replaced) since the listing began: the
  // stream would then show a directory outside the mount. Its path must still lead to it.
  struct stat by_path, by_stream;
  std::string canonical;
  if (!ch376_canonical(e->path, canonical) || canonical != e->path || !ch376_inside_root(canonical) ||
      stat(canonical.c_str(), &by_path) != 0 || fstat(dirfd(e->dir), &by_stream) != 0 ||
      by_path.st_dev != by_stream.st_dev || by_path.st_ino != by_stream.st_ino) {
    return false;
  }
  if (std::strlen(d.pattern) != 11) return false;
  // A FAT root has neither "." nor ".."; a subdirectory holds both as its first two entries,
  // named by their dots, whatever order the host's stream gives them in. They are handed out
  // before the stream is read, so the entry last handed out tells how far the listing is.
  if (canonical != *d.root_path) {
    while (e->entry.empty() || e->entry == ".") {
      e->entry = e->entry.empty() ? "." : "..";
      if (offer_entry(d, *e, e->entry.c_str(), e->entry == "." ? ".          " : "..         ")) return true;
    }
  }
  while (struct dirent* entry = readdir(e->dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    e->entry = entry->d_name;
    char short_name[12];
    if (normalize_file_name(entry->d_name, short_name) && offer_entry(d, *e, entry->d_name, short_name)) return true;
  }
  return false;
}
