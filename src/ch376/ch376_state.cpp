// The CH376 in a save state. Host paths never go into a state: every name is kept relative to
// the usb directory and found again inside it on load, the open file through the same
// confinement as the emulated program's own names, so a state can open nothing else.
#include "ch376/ch376_state.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "ch376/ch376_internal.h"
#include "core/memory.h"
#include "core/roms.h"

namespace {

// The part of the canonical path p below root ("" for the root itself); false outside it.
bool below_root(const std::string& root, const std::string& p, std::string& relative) {
  if (p == root) {
    relative.clear();
    return true;
  }
  const std::string prefix = root == "/" ? root : root + "/";
  if (p.compare(0, prefix.size(), prefix) != 0) return false;
  relative = p.substr(prefix.size());
  return true;
}

// The directory a state names, found again below root: its canonical path, or false when it
// is gone or has become something else.
bool directory_below(const std::string& root, const std::string& relative, std::string& canonical) {
  std::string inside;
  struct stat st;
  return ch376_canonical(relative.empty() ? root : root + "/" + relative, canonical) &&
         below_root(root, canonical, inside) && stat(canonical.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Where a current directory that has gone (the program erased it, or it went from usb/) was:
// the running machine keeps naming it, and its names are then not found. Taken only as plain
// names below the root, as its canonical path had them, and only with nothing there now.
bool gone_directory_below(const std::string& root, const std::string& relative, std::string& path) {
  if (relative.empty()) return false;
  for (size_t start = 0; start <= relative.size();) {
    const size_t slash = std::min(relative.find('/', start), relative.size());
    const std::string part = relative.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = slash + 1;
  }
  path = (root == "/" ? root : root + "/") + relative;
  struct stat st;
  return lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool usable_name(const std::string& name) { return name.size() < PATH_MAX && (name.empty() || name[0] != '/'); }

// Makes a record the device for the span of a lookup, so that the confinement code resolves
// names against it; the running device comes back however the lookup ends.
class DeviceForLookup {
 public:
  explicit DeviceForLookup(CH376* d) : running_(ch376) { ch376 = d; }
  ~DeviceForLookup() { ch376 = running_; }
  DeviceForLookup(const DeviceForLookup&) = delete;
  DeviceForLookup& operator=(const DeviceForLookup&) = delete;

 private:
  CH376* running_;
};

}  // namespace

void ch376_write_state(StateWriter& w) {
  const CH376& d = *ch376;
  w.u8(d.command); w.u8(d.int_status); w.u8(d.status); w.u8(d.usb_mode);
  w.block(d.buffer, sizeof d.buffer);
  w.u8(d.data_len); w.u8(d.data_index); w.u8(d.is_directory); w.u16(d.remaining);
  w.block(reinterpret_cast<const uint8_t*>(d.pattern), sizeof d.pattern);
  // The current directory outlives an unmount, so it is named relative to the usb directory
  // even while no stick is mounted.
  std::string root, relative;
  const bool have_root = d.root_path ? (root = *d.root_path, true) : ch376_canonical(d.usb_path, root);
  w.u8(d.root_path != nullptr);
  const bool in_directory = have_root && !d.current_dir.empty() && below_root(root, d.current_dir, relative);
  w.u8(in_directory);
  w.text(in_directory ? relative : "");
  const bool file_open = have_root && d.open_file && below_root(root, d.open_path, relative);
  const off_t position = file_open ? ftello(d.open_file) : 0;
  w.u8(file_open);
  w.text(file_open ? relative : "");
  w.u64(position > 0 ? static_cast<uint64_t>(position) : 0);
  const ch376_dir_enum* e = d.dir_enum;
  const bool listing_stream = have_root && e && e->dir && below_root(root, e->path, relative);
  w.u8(e != nullptr);
  w.u8(listing_stream);
  w.text(listing_stream ? relative : "");
  w.text(e ? e->entry : "");
  w.u8(microex_saved_ram_size); w.u32(microex_saved_memtop); w.u8(temp_model); w.u32(temp_ramtop);
}

bool ch376_read_state(StateReader& r, Ch376Saved& s) {
  s.command = r.u8(); s.int_status = r.u8(); s.status = r.u8(); s.usb_mode = r.u8();
  if (const uint8_t* b = r.block(sizeof s.buffer)) std::memcpy(s.buffer, b, sizeof s.buffer);
  s.data_len = r.u8(); s.data_index = r.u8(); s.is_directory = r.flag(); s.remaining = r.u16();
  if (const uint8_t* p = r.block(sizeof s.pattern)) std::memcpy(s.pattern, p, sizeof s.pattern);
  s.mounted = r.flag();
  s.in_directory = r.flag();
  s.directory = r.text();
  s.file_open = r.flag();
  s.file = r.text();
  s.position = r.u64();
  s.listing = r.flag();
  s.listing_stream = r.flag();
  s.listing_directory = r.text();
  s.listing_entry = r.text();
  s.saved_ram_size = r.u8(); s.saved_memtop = r.u32(); s.record_model = r.u8(); s.record_ramtop = r.u32();
  // The registers hold what the chip can hold: a command it serves (0 until the first), a
  // status the model produces (0 until the first).
  const uint8_t statuses[] = {0, USB_INT_SUCCESS, USB_INT_DISK_READ, USB_INT_DISK_WRITE, USB_INT_DISK_ERR,
                              ERR_OPEN_DIR, ERR_MISS_FILE, ERR_FOUND_NAME, CMD_RET_SUCCESS, CMD_RET_ABORT};
  const bool registers_ok = (s.command == 0 || ch376_is_known_command(s.command)) &&
                            std::memchr(statuses, s.int_status, sizeof statuses) &&
                            (s.status == 0x00 || s.status == 0x7F) &&
                            (s.usb_mode == 0 || s.usb_mode == 3 || s.usb_mode == 6) &&
                            std::memchr(s.pattern, 0, sizeof s.pattern);
  // Only mode 6 mounts a stick, and only a mounted stick has open files and listings
  // (mounting closes both); a name is written only for what is there.
  const bool names_ok = (!s.mounted || s.usb_mode == 6) && (s.mounted || (!s.file_open && !s.listing)) &&
                        (!s.listing_stream || s.listing) && s.file.empty() != s.file_open &&
                        (s.in_directory || s.directory.empty()) && (s.listing_stream || s.listing_directory.empty()) &&
                        (s.listing || s.listing_entry.empty()) && s.position <= INT64_MAX && usable_name(s.directory) &&
                        usable_name(s.file) && usable_name(s.listing_directory) && s.listing_entry.size() <= NAME_MAX &&
                        s.listing_entry.find('/') == std::string::npos;
  return r.require(registers_ok && names_ok && s.saved_ram_size <= 4 && is_ram_top(s.saved_memtop) &&
                   s.record_model <= 1 && is_ram_top(s.record_ramtop));
}

CH376* ch376_rebuild(const Ch376Saved& s, std::string& message) {
  CH376* d = new (std::nothrow) CH376{};
  if (!d) {
    message = "the USB controller cannot be set up: out of memory";
    return nullptr;
  }
  d->command = s.command; d->int_status = s.int_status; d->status = s.status; d->usb_mode = s.usb_mode;
  std::memcpy(d->buffer, s.buffer, sizeof d->buffer);
  d->data_len = s.data_len; d->data_index = s.data_index; d->is_directory = s.is_directory;
  d->remaining = s.remaining;
  std::memcpy(d->pattern, s.pattern, sizeof d->pattern);
  d->usb_path = usb_dir;
  auto refuse = [&](const std::string& why) {
    message = why;
    ch376_discard(d);
    return nullptr;
  };

  std::string root;
  struct stat st;
  const bool usb_there = ch376_canonical(usb_dir, root) && stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if ((s.mounted || s.in_directory) && !usb_there) return refuse("the usb directory is gone, and the save state uses it");
  if (s.mounted && !(d->root_path = new (std::nothrow) std::string(root))) return refuse("out of memory");
  if (s.in_directory && !directory_below(root, s.directory, d->current_dir) &&
      !gone_directory_below(root, s.directory, d->current_dir))
    return refuse("usb/" + shown_escaped(s.directory) +
                  ", the current directory in the save state, is no longer a directory inside usb/");

  if (s.listing) {
    d->dir_enum = new (std::nothrow) ch376_dir_enum{};
    if (!d->dir_enum) return refuse("out of memory");
    ch376_dir_enum& e = *d->dir_enum;
    e.entry = s.listing_entry;
    // A directory gone since lists as empty, as it would have on the running machine; else the
    // stream goes on after the entry it had read last (one missing since ends the listing).
    // "." and ".." are handed out before the stream is read.
    if (s.listing_stream && directory_below(root, s.listing_directory, e.path) && (e.dir = opendir(e.path.c_str()))) {
      if (!e.entry.empty() && e.entry != "." && e.entry != "..")
        while (const struct dirent* entry = readdir(e.dir))
          if (e.entry == entry->d_name) break;
    }
  }

  if (s.file_open) {
    // The name is looked up from the root, then the record gets its own current directory back.
    const std::string current = d->current_dir;
    d->current_dir.clear();
    std::string path;
    {
      DeviceForLookup lookup(d);
      if (ch376_confined_path(s.file, path)) d->open_file = ch376_open_existing(path);
    }
    d->current_dir = current;
    if (!d->open_file) return refuse("the file usb/" + shown_escaped(s.file) + ", open in the save state, is gone");
    d->open_path = path;
    if (fseeko(d->open_file, static_cast<off_t>(s.position), SEEK_SET) != 0)
      return refuse("the file usb/" + shown_escaped(s.file) + ", open in the save state, cannot be positioned");
  }
  return d;
}

void ch376_discard(CH376* d) {
  if (!d) return;
  if (d->open_file) std::fclose(d->open_file);
  if (d->dir_enum && d->dir_enum->dir) closedir(d->dir_enum->dir);
  delete d->dir_enum;
  delete d->root_path;
  delete d;
}

void ch376_install(CH376* d, const Ch376Saved& s) {
  ch376_destroy();
  ch376 = d;
  per_MicroEx = true;
  microex_saved_ram_size = s.saved_ram_size;
  microex_saved_memtop = s.saved_memtop;
  temp_model = s.record_model;
  temp_ramtop = s.record_ramtop;
}

void ch376_remove_for_state() {
  ch376_destroy();
  per_MicroEx = false;
}
