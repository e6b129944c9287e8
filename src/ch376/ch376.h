// The Micro Expander's CH376 USB controller: command port 0x41, data port 0x40, a host
// directory as its USB stick.
#pragma once
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <string>

// A running directory enumeration (FILE_OPEN with a wildcard, then FILE_ENUM_GO).
struct ch376_dir_enum {
  DIR* dir;           // host directory stream of the directory being listed (null: lists nothing)
  std::string entry;  // last entry handed out or passed over: ".", ".." (before the stream), or a host name
  std::string path;   // canonical path of that directory, checked again at every step
};

struct CH376 {
  uint8_t command;         // current command: decides what the data port does
  uint8_t int_status;      // result of the last operation (GET_STATUS)
  uint8_t status;          // command-port read: 0x00 after a command write, 0x7F on completion
  uint8_t usb_mode;        // 0, 3 or 6
  uint8_t buffer[255];
  uint8_t data_len;
  uint8_t data_index;      // 0xFF: the length byte has not yet been read
  uint16_t remaining;      // bytes still to transfer in BYTE_READ / BYTE_WRITE
  std::string* root_path;  // canonical mounted directory; null = no disk
  std::string current_dir; // directory names resolve against; empty = the root
  FILE* open_file;
  std::string open_path;   // canonical host path of open_file: a save state names the file by it
  ch376_dir_enum* dir_enum;
  uint8_t is_directory;
  char pattern[12];
  std::string sd_path;
  std::string usb_path;
};

// Status codes.
constexpr uint8_t USB_INT_SUCCESS = 0x14, USB_INT_DISK_READ = 0x1D, USB_INT_DISK_WRITE = 0x1E,
                  USB_INT_DISK_ERR = 0x1F, ERR_OPEN_DIR = 0x41, ERR_MISS_FILE = 0x42,
                  ERR_FOUND_NAME = 0x43, CMD_RET_SUCCESS = 0x51, CMD_RET_ABORT = 0x5F;

// Command codes (the chip's published names).
constexpr uint8_t GET_IC_VER = 0x01, CHECK_EXIST = 0x06, GET_FILE_SIZE = 0x0C, SET_USB_MODE = 0x15,
                  GET_STATUS = 0x22, RD_USB_DATA0 = 0x27, WR_REQ_DATA = 0x2D, SET_FILE_NAME = 0x2F,
                  DISK_MOUNT = 0x31, FILE_OPEN = 0x32, FILE_ENUM_GO = 0x33, FILE_CREATE = 0x34,
                  FILE_ERASE = 0x35, FILE_CLOSE = 0x36, BYTE_LOCATE = 0x39, BYTE_READ = 0x3A,
                  BYTE_RD_GO = 0x3B, BYTE_WRITE = 0x3C, BYTE_WR_GO = 0x3D, DISK_CAPACITY = 0x3E,
                  DISK_QUERY = 0x3F, DIR_CREATE = 0x40;

extern CH376* ch376;               // the device while the Micro Expander is on, else null
extern bool per_MicroEx;           // the Micro Expander is on
extern uint8_t temp_model;         // model recorded when the record was created
extern uint32_t temp_ramtop;       // memtop recorded when the record was created
extern uint8_t microex_saved_ram_size;  // ram_size just before the Micro Expander was switched on
extern uint32_t microex_saved_memtop;   // memtop just before the Micro Expander was switched on

bool ch376_create();
void ch376_destroy();
void ch376_write_command_port(uint8_t value);
uint8_t ch376_read_command_port();
uint8_t ch376_read_data_port();
void ch376_write_data_port(uint8_t value);
// Reads the next chunk of a BYTE_READ transfer into buffer.
void file_read_chunk();

// Name handling.
void trim_file_name(const char* name, char* out);
char* normalize_file_name(const char* host_name, char* out);
// Opens path ("rb+") relative to dir (the current directory when dir is empty), confined to
// the mount: null when it leads outside it, is not a writable regular file, or nothing is mounted.
FILE* system_file_open_existing(const std::string& path, const std::string& dir);

// Resolves a name from the emulated program against current_dir (the root while current_dir
// is still empty), inside the mounted directory; false when it would lead outside it (or
// nothing is mounted). The last component need not exist (names about to be created); the
// directories above it must. A component missing as given matches the first entry (in byte
// order) of its directory that differs from it only in ASCII case, as names do on FAT; with
// keep_last_name the last component stays as given (a name about to be created). An absolute
// name is taken as it is, and accepted only when it already lies inside the mount (the
// run-loader hands over paths it has resolved).
bool ch376_confined_path(const std::string& name, std::string& host_path, bool keep_last_name = false);

// Micro Expander switching: the menu toggle, the switch-on sequence and its hard reset.
// load_MicroEx is false (nothing changed, error box shown) when "aqubasic.rom" is unusable.
void select_MicroEx();
// The Micro Expander on or off as asked (a switch when it is not so already); true when it is now.
bool set_micro_expander(bool on);
bool load_MicroEx();
void microex_hard_reset();
