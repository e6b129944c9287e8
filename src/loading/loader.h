// File type detection and load dispatch: cartridges, cassettes and texts.
#pragma once
#include <cstdint>
#include <string>

struct file_type_entry {
  uint8_t type;
  const char* extension;
  uint32_t extension_len;
};

struct loaded_file {
  uint8_t* data;   // size + 1 bytes of storage
  uint32_t size;
};

extern const file_type_entry file_type[15];   // fourteen extensions and the end marker
extern const file_type_entry* file_type_ptr;  // entry found by the last check_file
extern std::string current_filename;          // full host path of the file being loaded
extern loaded_file file;                      // content of the last file read
extern uint8_t* aqua_cart;                    // private copy of the mapped cartridge
extern bool caq_loaded;                       // a cassette image is inserted
extern std::string load_error;                // why the last read or mapping failed

uint8_t check_file(const std::string& name);
// Reads current_filename whole into file. False (file untouched) when it cannot be opened or read.
bool aqua_read_file();
// Maps file as the cartridge. False (previous cartridge kept) for an empty or oversized image.
bool aqua_get_file();
// Releases file.data.
void release_file();
// The menu path around the "Open File" chooser: load_file_begin (eject the cassette, pause
// the audio), menu_load_path for an accepted file (0 loaded or nothing to do, 1 with the
// error box shown), load_file_end (release file.data, resume the audio).
void load_file_begin();
uint8_t menu_load_path(const std::string& path);
void load_file_end();
// The drop path: 1 if not recognised, unreadable or a type the drop path does not load.
uint8_t do_load_file(const std::string& path);
// The CH376's run-loader: true if it mapped a cartridge or opened a ".pt3" file.
bool load_usb_file(const std::string& name);
