// The Micro Expander's CH376 USB controller: command port 0x41, data port 0x40, a host
// directory as its USB stick.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

struct ch376_dir_enum;

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
  std::string current_dir; // directory names resolve against
  FILE* open_file;
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

extern CH376* ch376;          // the device while the Micro Expander is on, else null
extern bool per_MicroEx;      // the Micro Expander is on
extern uint8_t temp_model;    // model recorded when the record was created
extern uint32_t temp_ramtop;  // memtop recorded when the record was created

bool ch376_create();
void ch376_destroy();
void ch376_write_command_port(uint8_t value);
uint8_t ch376_read_command_port();
uint8_t ch376_read_data_port();
void ch376_write_data_port(uint8_t value);

// Name handling.
void trim_file_name(const char* name, char* out);
char* normalize_file_name(const char* host_name, char* out);
// Opens path ("rb+") relative to dir (or as given when dir is empty), confined to the mount.
FILE* system_file_open_existing(const std::string& path, const std::string& dir);

// Resolves a name from the emulated program against current_dir, inside the mounted
// directory; false when it would lead outside it (or nothing is mounted).
bool ch376_confined_path(const std::string& name, std::string& host_path);

// Micro Expander switching: the menu toggle, the switch-on sequence and its hard reset.
void select_MicroEx();
bool load_MicroEx();
void microex_hard_reset();
