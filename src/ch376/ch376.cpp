// The CH376 device record, its command interpreter and the device-level commands
// (identification, mode, mount, capacity). File commands live in ch376_files.cpp.
#include "ch376/ch376.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstring>
#include <new>

#include "ch376/ch376_internal.h"
#include "core/memory.h"
#include "core/roms.h"

CH376* ch376 = nullptr;
bool per_MicroEx = false;
uint8_t temp_model = 0;
uint32_t temp_ramtop = 0;

namespace {

// What a mass-storage INQUIRY would answer: 8 bytes of device type and flags, vendor,
// product, revision.
constexpr char identification_text[] = "VANTORELMICRO EXPANDER  0133";
constexpr uint8_t identification_length = 36;

void put_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void set_mode(uint8_t mode) {
  CH376& d = *ch376;
  ch376_close_enumeration();
  ch376_close_file();
  d.remaining = 0;
  d.usb_mode = (mode == 3 || mode == 6) ? mode : 0;
  // Only host mode 6 talks to the stick: leaving it resets the USB side of the chip, and the
  // disk has to be mounted again, as on the CH376.
  if (d.usb_mode != 6) {
    delete d.root_path;
    d.root_path = nullptr;
  }
}

void disk_mount() {
  CH376& d = *ch376;
  d.remaining = 0;
  ch376_close_enumeration();
  ch376_close_file();
  if (d.usb_mode == 6 || d.usb_mode == 3) {
    delete d.root_path;
    d.root_path = nullptr;
    // Mode 3 is the chip's SD-card slot; no card is served, so it always reports a disk error.
    std::string canonical;
    struct stat st;
    if (d.usb_mode == 6 && ch376_canonical(d.usb_path, canonical) && stat(canonical.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode)) {
      d.root_path = new (std::nothrow) std::string(canonical);
    }
  }
  if (!d.root_path) {
    d.int_status = USB_INT_DISK_ERR;
    return;
  }
  std::memset(d.buffer, 0, identification_length);
  std::memcpy(d.buffer + 8, identification_text, identification_length - 8);
  d.data_len = identification_length;
  ch376_finish(0x7F, USB_INT_SUCCESS);
}

void disk_size(uint8_t result_length) {
  CH376& d = *ch376;
  struct statvfs fs;
  if (!d.root_path || statvfs(d.root_path->c_str(), &fs) != 0) {
    ch376_finish(0x00, CMD_RET_ABORT);
    return;
  }
  // f_blocks and f_bfree count fragments of f_frsize bytes; sectors are 512 bytes.
  uint64_t total = static_cast<uint64_t>(fs.f_frsize) * fs.f_blocks;
  uint64_t free_bytes = static_cast<uint64_t>(fs.f_frsize) * fs.f_bfree;
  put_le32(d.buffer, static_cast<uint32_t>(total / 512));
  put_le32(d.buffer + 4, static_cast<uint32_t>(free_bytes / 512));
  d.buffer[8] = 0x0C;  // FAT32
  d.data_len = result_length;
  ch376_finish(0x7F, USB_INT_SUCCESS);
}

// The next byte of a result in buffer; the result is consumed when its last byte has gone.
uint8_t next_result_byte() {
  CH376& d = *ch376;
  if (d.data_index >= d.data_len) return 0xFF;
  uint8_t v = d.buffer[d.data_index++];
  if (d.data_index == d.data_len) d.data_len = 0;
  return v;
}

}  // namespace

bool ch376_is_known_command(uint8_t code) {
  switch (code) {
    case GET_IC_VER: case CHECK_EXIST: case GET_FILE_SIZE: case 0x0D: case SET_USB_MODE:
    case GET_STATUS: case RD_USB_DATA0: case WR_REQ_DATA: case SET_FILE_NAME: case DISK_MOUNT:
    case FILE_OPEN: case FILE_ENUM_GO: case FILE_CREATE: case FILE_ERASE: case FILE_CLOSE:
    case BYTE_LOCATE: case BYTE_READ: case BYTE_RD_GO: case BYTE_WRITE: case BYTE_WR_GO:
    case DISK_CAPACITY: case DISK_QUERY: case DIR_CREATE:
      return true;
    default:
      return false;
  }
}

bool ch376_create() {
  ch376_destroy();
  CH376* d = new (std::nothrow) CH376{};
  if (!d) return false;
  d->root_path = nullptr;
  d->open_file = nullptr;
  d->dir_enum = nullptr;
  d->usb_path = usb_dir;
  ch376 = d;
  temp_model = model;
  temp_ramtop = memtop;
  return true;
}

void ch376_destroy() {
  if (!ch376) return;
  ch376_close_enumeration();
  ch376_close_file();
  delete ch376->root_path;
  delete ch376;
  ch376 = nullptr;
}

void ch376_close_enumeration() {
  if (!ch376 || !ch376->dir_enum) return;
  if (ch376->dir_enum->dir) closedir(ch376->dir_enum->dir);
  delete ch376->dir_enum;
  ch376->dir_enum = nullptr;
}

void ch376_close_file() {
  if (!ch376 || !ch376->open_file) return;
  std::fclose(ch376->open_file);
  ch376->open_file = nullptr;
  ch376->open_path.clear();
}

void ch376_write_command_port(uint8_t value) {
  if (!ch376) return;
  CH376& d = *ch376;
  d.status = 0x00;
  if (d.command == CHECK_EXIST) d.buffer[0] = static_cast<uint8_t>(~value);
  if (!ch376_is_known_command(value)) {
    d.int_status = CMD_RET_ABORT;
    return;
  }
  d.command = value;
  switch (value) {
    case RD_USB_DATA0: case WR_REQ_DATA: d.data_index = 0xFF; break;
    case SET_FILE_NAME: case BYTE_LOCATE: case BYTE_READ: case BYTE_WRITE: d.data_index = 0; break;
    case DISK_MOUNT: disk_mount(); break;
    case FILE_OPEN: ch376_file_open(); break;
    case FILE_ENUM_GO: ch376_file_enum_go(); break;
    case FILE_CREATE: ch376_file_create(); break;
    case FILE_ERASE: ch376_file_erase(); break;
    case BYTE_RD_GO: file_read_chunk(); break;
    case BYTE_WR_GO: ch376_write_chunk(); break;
    case DISK_CAPACITY: disk_size(4); break;
    case DISK_QUERY: disk_size(9); break;
    case DIR_CREATE: ch376_dir_create(); break;
    default: break;
  }
}

uint8_t ch376_read_command_port() { return ch376 ? ch376->status : 0xFF; }

uint8_t ch376_read_data_port() {
  if (!ch376) return 0xFF;
  CH376& d = *ch376;
  switch (d.command) {
    case GET_IC_VER: return 0x43;
    case SET_USB_MODE: return d.usb_mode != 0 ? CMD_RET_SUCCESS : CMD_RET_ABORT;
    case GET_STATUS: return d.int_status;
    case RD_USB_DATA0:
      if (d.data_len == 0) return 0x00;
      if (d.data_index == 0xFF) {
        d.data_index = 0;
        return d.data_len;
      }
      return next_result_byte();
    case GET_FILE_SIZE:
      if (d.data_len == 0) return 0x00;
      return next_result_byte();
    case WR_REQ_DATA:
      if (d.data_len == 0) return 0x00;
      if (d.data_index == 0xFF) {
        d.data_index = 0;
        return d.data_len;
      }
      return 0xFF;
    default: return d.buffer[0];
  }
}

void ch376_write_data_port(uint8_t value) {
  if (!ch376) return;
  CH376& d = *ch376;
  switch (d.command) {
    case CHECK_EXIST: d.buffer[0] = static_cast<uint8_t>(~value); break;
    case GET_FILE_SIZE: ch376_get_file_size(value); break;
    case SET_USB_MODE: set_mode(value); break;
    case WR_REQ_DATA:
      if (d.data_len == 0 || d.data_index == 0xFF) {
        ch376_finish(0x00, CMD_RET_ABORT);
      } else if (d.data_index < d.data_len) {
        d.buffer[d.data_index++] = value;
        if (d.data_index == d.data_len) ch376_finish(0x00, CMD_RET_SUCCESS);
      }
      break;
    case SET_FILE_NAME:
      // Names are at most 14 characters; the byte after the last stays a NUL.
      if (d.data_index <= 13) {
        d.buffer[d.data_index++] = value;
        d.buffer[d.data_index] = 0;
        d.is_directory = 0;
      }
      break;
    case FILE_CLOSE:
      if (d.open_file) {
        ch376_close_file();
        ch376_finish(0x7F, USB_INT_SUCCESS);
      } else {
        ch376_finish(0x00, CMD_RET_ABORT);
      }
      break;
    case BYTE_LOCATE:
      if (d.data_index <= 3) {
        d.buffer[d.data_index++] = value;
        if (d.data_index == 4) ch376_seek();
      }
      break;
    case BYTE_READ:
    case BYTE_WRITE:
      if (d.data_index <= 1) {
        d.buffer[d.data_index++] = value;
        if (d.data_index == 2) {
          d.remaining = static_cast<uint16_t>(d.buffer[0] | (d.buffer[1] << 8));
          if (d.command == BYTE_READ) {
            file_read_chunk();
          } else if (d.open_file && (fcntl(fileno(d.open_file), F_GETFL) & O_ACCMODE) == O_RDONLY) {
            // The open file is read-only on the stick.
            ch376_finish(0x00, USB_INT_DISK_ERR);
          } else {
            d.data_len = static_cast<uint8_t>(d.remaining < 255 ? d.remaining : 255);
            ch376_finish(0x7F, USB_INT_DISK_WRITE);
          }
        }
      }
      break;
    default: break;
  }
}
