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

extern const file_type_entry file_type[10];   // nine extensions, matched in any case, and the end marker
extern const file_type_entry* file_type_ptr;  // entry found by the last check_file
extern std::string current_filename;          // full host path of the file being loaded
extern loaded_file file;                      // content of the last file read
extern uint8_t* aqua_cart;                    // private copy of the mapped cartridge (8K or 16K)
extern uint32_t aqua_cart_size;               // bytes in aqua_cart after padding
extern bool caq_loaded;                       // a cassette image is inserted
extern uint8_t* pending_cart;                 // a cartridge waiting for the next soft reset (8K or 16K), or null
extern uint32_t pending_cart_size;            // bytes in pending_cart after padding
extern std::string load_error;                // why the last read or mapping failed

// Type codes of the extension table.
constexpr uint8_t FILE_TYPE_BIN = 1, FILE_TYPE_ROM = 2, FILE_TYPE_CAQ = 3, FILE_TYPE_TXT = 4,
                  FILE_TYPE_PT3 = 5, FILE_TYPE_BAS = 6, FILE_TYPE_SCR = 7, FILE_TYPE_VST = 8, FILE_TYPE_WAV = 9,
                  FILE_TYPE_END = 255;

// A cartridge page is 8K; images are padded with 0xFF (unprogrammed ROM) up to one or two pages.
constexpr uint32_t CART_PAGE_BYTES = 8192;
constexpr uint32_t CART_MAX_BYTES = 2 * CART_PAGE_BYTES;
// Larger files are refused before anything is allocated: no loadable kind comes near this.
constexpr uint32_t MAX_LOAD_FILE_BYTES = 16u << 20;

// 0 when the name ends in a known extension, in any case (file_type_ptr then points at its
// entry); 1 otherwise (file_type_ptr on the end marker).
uint8_t check_file(const std::string& name);
// The name is a save state's (".vst"). The loaders here do not take states: the callers hand
// them to the state loader, which may have questions to ask.
bool is_state_file(const std::string& name);
// The name is a tape recording's (".wav"): it is decoded to a cassette image when loaded.
bool is_tape_recording(const std::string& name);
// Reads current_filename whole into file. False (file untouched, load_error set) when it
// cannot be opened or read, is not a regular file, or is larger than MAX_LOAD_FILE_BYTES.
bool aqua_read_file();
// Maps file as the cartridge: up to 8K at 0xE000 (page 6 stays as it was, unless it showed
// the cartridge being replaced, which then gives way to RAM), up to 16K at 0xC000-0xFFFF.
// A cartridge waiting for the soft reset is dropped: this one is in force now.
// False (previous cartridge kept, load_error set) for an empty or oversized image.
bool aqua_get_file();
// A cartridge the user loads: mapped at once, or, while the Micro Expander is on (its own
// program runs from the cartridge pages), kept in pending_cart for the next soft reset.
// False as aqua_get_file.
bool load_cartridge_from_file();
// The soft reset's part: maps the pending cartridge, if any, in place of what the cartridge
// pages show (the Micro Expander's ROM). The Micro Expander stays on otherwise.
void start_pending_cartridge();
// A save state's pending cartridge (a padded image of 8K or 16K), copied into pending_cart.
void hold_cartridge_back(const uint8_t* image, uint32_t size);
// Forgets the pending cartridge: the machine it was meant for is gone (a hard reset, the
// Micro Expander switched, a state loaded that holds none).
void drop_pending_cartridge();
// Releases file.data.
void release_file();

// A load that is refused (no such file, unknown type, not a regular file, too large, a kind
// the path does not load) or cancelled changes nothing; an accepted one ejects the cassette
// (or replaces it by the new one).
// The menu path around the "Open File" chooser:
//   load_file_begin()      pauses the audio;
//   menu_load_path(path)   for an accepted file: 0 loaded (or nothing to do), 1 after the
//                          error box (which resumes the audio when it closes);
//   load_file_end()        releases file.data and resumes the audio if it is still paused
//                          by load_file_begin.
// load_file_end is safe to call always: after a cancelled chooser, after an error box, twice.
void load_file_begin();
uint8_t menu_load_path(const std::string& path);
void load_file_end();
// The drop path: 1 if not recognised, unreadable, unmappable or a type the drop path does
// not load (load_error says why for the last three), 0 otherwise.
uint8_t do_load_file(const std::string& path);
// A file the program was started with: the user asked for it to run. Loaded as a drop, but a
// cassette is loaded as with CAQ Autoload on, whatever the setting, and a cartridge starts at
// once (a soft reset). Returns as do_load_file.
uint8_t open_at_start(const std::string& path);
// The CH376's run-loader: true if it mapped a cartridge or opened a ".pt3" file.
bool load_usb_file(const std::string& name);
