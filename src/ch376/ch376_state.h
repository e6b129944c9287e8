// The Micro Expander in a save state: the CH376's registers, command state and buffer, and the
// names it holds (current directory, open file, directory being listed) relative to the usb
// directory, so that a state goes on in another program directory with its own usb/.
#pragma once
#include <cstdint>
#include <string>

#include "ch376/ch376.h"
#include "core/state_io.h"

// The device as a state section holds it: read and checked before anything is reopened.
struct Ch376Saved {
  uint8_t command = 0, int_status = 0, status = 0, usb_mode = 0;
  uint8_t buffer[255] = {};
  uint8_t data_len = 0, data_index = 0, is_directory = 0;
  uint16_t remaining = 0;
  char pattern[12] = {};
  bool mounted = false;
  bool in_directory = false;   // current_dir was set (empty name: the root itself)
  std::string directory;
  bool file_open = false;
  std::string file;            // the open file, inside usb/
  uint64_t position = 0;       // its read/write position
  bool listing = false;        // an enumeration is running
  bool listing_stream = false; // ... over a directory that could be opened
  std::string listing_directory, listing_entry;
  uint8_t saved_ram_size = 0, record_model = 0;  // microex_saved_ram_size, temp_model
  uint32_t saved_memtop = 0, record_ramtop = 0;  // microex_saved_memtop, temp_ramtop
};

// Writes the running device (the Micro Expander is on) as a section body.
void ch376_write_state(StateWriter& w);
// Reads a section body; false when it is malformed or a value is out of range.
bool ch376_read_state(StateReader& r, Ch376Saved& s);
// A device record for the state, its directories and open file found again by name inside
// the usb directory through the confined path rules; null, with message naming it, when the
// open file is gone or the current directory's name now holds something else. A current
// directory that has gone stays current, as on the running machine. The running device is
// not touched.
CH376* ch376_rebuild(const Ch376Saved& s, std::string& message);
// Frees a record that ch376_rebuild made and that was not installed.
void ch376_discard(CH376* d);
// The Micro Expander goes on with the rebuilt record as its device (switched on if it was off).
void ch376_install(CH376* d, const Ch376Saved& s);
// The Micro Expander is unplugged for a state made without it: its record goes, nothing else.
void ch376_remove_for_state();
