// The CH376's file commands: open, enumerate, create, erase, directories, seek and the
// chunked byte transfers through the 255-byte buffer. Every name goes through the
// confinement of host_names.cpp before the host sees it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "ch376/ch376.h"
#include "ch376/ch376_internal.h"
#include "loading/loader.h"

namespace {

void put_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The name the emulated program set, as the host name it stands for. A leading "/" brings the
// current directory back to the root. False (with 0x5F) when no disk is mounted.
bool prepare_name(std::string& host_name) {
  CH376& d = *ch376;
  if (!d.root_path) {
    ch376_finish(0x00, CMD_RET_ABORT);
    return false;
  }
  // The buffer may hold anything (a read chunk, a query result): the name ends at the first
  // NUL or at the end of the buffer.
  char name[sizeof d.buffer + 1];
  size_t len = strnlen(reinterpret_cast<const char*>(d.buffer), sizeof d.buffer);
  std::memcpy(name, d.buffer, len);
  name[len] = 0;
  const char* start = name;
  if (*start == '/') {
    d.current_dir = *d.root_path;
    ++start;
  }
  char trimmed[sizeof name];
  trim_file_name(start, trimmed);
  host_name = trimmed;
  return true;
}

// A program's name as a confined host path. Absolute names are refused: the program's own
// leading "/" has already been taken as the root.
bool resolve_program_name(const std::string& host_name, std::string& path, bool keep_last_name = false) {
  if (!host_name.empty() && host_name[0] == '/') return false;
  return ch376_confined_path(host_name, path, keep_last_name);
}

// The last component of a name: what a create or make-directory adds to its directory.
std::string last_component(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool is_directory_path(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void ch376_file_open() {
  CH376& d = *ch376;
  std::string host_name;
  if (!prepare_name(host_name)) return;
  if (host_name.empty()) {
    d.is_directory = 1;
    ch376_finish(0x7F, ERR_OPEN_DIR);
    return;
  }
  if (host_name.find_first_of("*?") != std::string::npos) {
    ch376_start_enumeration(host_name);
    return;
  }
  std::string path;
  bool confined = resolve_program_name(host_name, path);
  if (confined && is_directory_path(path)) {
    d.current_dir = path;
    d.is_directory = 1;
    ch376_finish(0x7F, ERR_OPEN_DIR);
    return;
  }
  ch376_close_file();
  if (!confined) {
    ch376_finish(0x00, ERR_MISS_FILE);
    return;
  }
  if (load_usb_file(host_name)) {
    // A cartridge restarts the machine; a ".pt3" file became the open file, or failed to.
    bool opened_for_data = file_type_ptr && file_type_ptr->type == 5;
    if (!opened_for_data) {
      ch376_close_file();
      ch376_finish(0x7F, USB_INT_SUCCESS);
      return;
    }
  }
  // The run-loader puts a dot before the last three characters; a name that already had its
  // dot (SONG.PT3 became SONG..PT3) is still an existing file, opened as it was named.
  if (!d.open_file) {
    d.open_file = ch376_open_existing(path);
    d.open_path = path;
  }
  if (d.open_file) {
    d.is_directory = 0;
    ch376_finish(0x7F, USB_INT_SUCCESS);
  } else {
    ch376_finish(0x00, ERR_MISS_FILE);
  }
}

void ch376_file_enum_go() {
  if (!ch376->dir_enum) {
    ch376_finish(0x00, ERR_MISS_FILE);
    return;
  }
  if (ch376_enumeration_step()) {
    ch376->data_len = 32;
    ch376_finish(0x7F, USB_INT_DISK_READ);
  } else {
    ch376_close_enumeration();
    ch376_finish(0x00, ERR_MISS_FILE);
  }
}

void ch376_file_create() {
  CH376& d = *ch376;
  std::string host_name;
  if (!prepare_name(host_name)) return;
  if (host_name.empty()) {
    ch376_finish(0x7F, USB_INT_SUCCESS);
    return;
  }
  ch376_close_file();
  // Only names a FAT directory can hold are made (the listings could never show the others),
  // and a new file gets the name the program gave, not that of a host file differing in case.
  std::string path;
  if (ch376_has_short_form(last_component(host_name)) && resolve_program_name(host_name, path, true))
    d.open_file = ch376_create_file(path);
  if (d.open_file) {
    d.open_path = path;
    ch376_finish(0x7F, USB_INT_SUCCESS);
  } else {
    ch376_finish(0x00, ERR_MISS_FILE);
  }
}

void ch376_file_erase() {
  CH376& d = *ch376;
  // The directory the last FILE_OPEN entered, taken before the name's leading "/" can move
  // the current directory back to the root: that directory is the one to remove, never the
  // root itself.
  std::string opened_directory = d.current_dir;
  std::string host_name;
  if (!prepare_name(host_name)) return;
  if (host_name.empty()) {
    ch376_finish(0x00, ERR_MISS_FILE);
    return;
  }
  ch376_close_file();
  bool removed = false;
  if (d.is_directory) {
    std::string canonical;
    removed = !opened_directory.empty() && ch376_canonical(opened_directory, canonical) &&
              canonical == opened_directory && canonical != *d.root_path &&
              ch376_inside_root(canonical);
    if (removed && ch376_read_only(canonical)) {
      ch376_finish(0x00, USB_INT_DISK_ERR);
      return;
    }
    removed = removed && rmdir(canonical.c_str()) == 0;
  } else {
    std::string path;
    removed = host_name[0] != '/' && ch376_confined_entry(host_name, path);
    // A read-only file stays, as on FAT.
    if (removed && ch376_read_only(path)) {
      ch376_finish(0x00, USB_INT_DISK_ERR);
      return;
    }
    removed = removed && std::remove(path.c_str()) == 0;
  }
  if (removed) {
    ch376_finish(0x7F, USB_INT_SUCCESS);
  } else {
    ch376_finish(0x00, ERR_MISS_FILE);
  }
}

void ch376_dir_create() {
  CH376& d = *ch376;
  std::string host_name;
  if (!prepare_name(host_name)) return;
  // An existing directory differing only in case is the one FAT would enter; anything else
  // is made or found under the name as given.
  std::string path;
  bool existing_directory = !host_name.empty() && resolve_program_name(host_name, path) && is_directory_path(path);
  if (!existing_directory && (host_name.empty() || !resolve_program_name(host_name, path, true))) {
    ch376_finish(0x00, ERR_MISS_FILE);
    return;
  }
  if (FILE* existing = ch376_open_existing(path)) {
    std::fclose(existing);
    ch376_finish(0x00, ERR_FOUND_NAME);
    return;
  }
  std::string directory;
  if (!is_directory_path(path)) {
    if (!ch376_has_short_form(last_component(host_name)) || mkdir(path.c_str(), 0775) != 0) {
      ch376_finish(0x00, ERR_MISS_FILE);
      return;
    }
  }
  if (!ch376_canonical(path, directory) || !ch376_inside_root(directory)) {
    ch376_finish(0x00, ERR_MISS_FILE);
    return;
  }
  d.current_dir = directory;
  ch376_finish(0x7F, USB_INT_SUCCESS);
}

void ch376_seek() {
  CH376& d = *ch376;
  const uint32_t offset = static_cast<uint32_t>(d.buffer[0]) | (d.buffer[1] << 8) | (d.buffer[2] << 16) |
                          (static_cast<uint32_t>(d.buffer[3]) << 24);
  // Beyond the end the CH376 stops at the end (FF FF FF FF, the usual way to append, lands
  // there too): a far locate must not let the next write grow the file to gigabytes.
  struct stat st;
  if (!d.open_file || std::fflush(d.open_file) != 0 || fstat(fileno(d.open_file), &st) != 0) {
    ch376_finish(0x00, CMD_RET_ABORT);
    return;
  }
  const off_t target = static_cast<off_t>(offset) < st.st_size ? static_cast<off_t>(offset) : st.st_size;
  if (fseeko(d.open_file, target, SEEK_SET) != 0) {
    ch376_finish(0x00, CMD_RET_ABORT);
    return;
  }
  put_le32(d.buffer, static_cast<uint32_t>(target));
  d.data_len = 4;
  ch376_finish(0x7F, USB_INT_SUCCESS);
}

void file_read_chunk() {
  CH376& d = *ch376;
  uint16_t wanted = d.remaining < 255 ? d.remaining : 255;
  if (!d.open_file) {
    d.data_len = 0;
    ch376_finish(0x00, CMD_RET_ABORT);
    return;
  }
  // The stream may have been written last; C streams need a flush before reading.
  std::fflush(d.open_file);
  size_t got = wanted ? std::fread(d.buffer, 1, wanted, d.open_file) : 0;
  bool was_transferring = d.remaining != 0;
  d.remaining = static_cast<uint16_t>(d.remaining - got);
  d.data_len = static_cast<uint8_t>(got);
  ch376_finish(0x7F, (was_transferring && got != 0) ? USB_INT_DISK_READ : USB_INT_SUCCESS);
}

void ch376_write_chunk() {
  CH376& d = *ch376;
  // Never more than the transfer still expects: a result left in the buffer by another
  // command (a query, the identification block) must not end up in the file.
  uint8_t count = d.data_len < d.remaining ? d.data_len : static_cast<uint8_t>(d.remaining);
  bool written = false;
  if (d.open_file) {
    // The stream may have been read last; C streams need a positioning call before writing.
    std::fseek(d.open_file, 0, SEEK_CUR);
    written = std::fwrite(d.buffer, 1, count, d.open_file) == count && std::fflush(d.open_file) == 0;
  }
  if (!written) {
    d.data_len = 0;
    ch376_finish(0x00, CMD_RET_ABORT);
    return;
  }
  d.remaining = static_cast<uint16_t>(d.remaining - count);
  d.data_len = 0;
  if (d.remaining != 0) {
    d.data_len = static_cast<uint8_t>(d.remaining < 255 ? d.remaining : 255);
    ch376_finish(0x7F, USB_INT_DISK_WRITE);
  } else {
    ch376_finish(0x7F, USB_INT_SUCCESS);
  }
}

void ch376_get_file_size(uint8_t parameter) {
  CH376& d = *ch376;
  if (parameter != 0x68) {
    ch376_finish(0x00, CMD_RET_ABORT);
    return;
  }
  uint32_t size = 0xFFFFFFFF;
  struct stat st;
  if (d.open_file && std::fflush(d.open_file) == 0 && fstat(fileno(d.open_file), &st) == 0) {
    size = static_cast<uint32_t>(st.st_size);
  }
  put_le32(d.buffer, size);
  d.data_len = 4;
  d.data_index = 0;
  ch376_finish(0x7F, USB_INT_SUCCESS);
}
