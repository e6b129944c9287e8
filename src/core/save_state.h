// Save states: the whole running machine in one file, and back.
//
// A state file starts with the magic "VNTSTATE" and a version number; then come sections, each
// a four-character tag, a 32-bit length and that many bytes, all little-endian. A reader
// checks every section before it changes anything, so a damaged file leaves the running
// machine as it was.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t STATE_VERSION = 1;

enum class state_result {
  ok,            // the machine now runs from the state
  refused,       // not a state, damaged, another version: nothing changed
  rom_mismatch,  // made with other ROM images: nothing changed unless accepted
};

// The state of the running machine as the bytes of a state file.
std::vector<uint8_t> encode_state();
// Puts the machine in the state the bytes hold. A state of another model or series switches to
// it, with its ROM files from roms/ (refused when they cannot all be loaded); a state with the
// Micro Expander switches it on, its open file found again by name inside usb/ (refused, naming
// it, when it is gone), and one without switches it off. A state made with other ROM images is
// refused as rom_mismatch unless accept_other_roms is set (then it loads, and message warns).
state_result decode_state(const uint8_t* data, size_t size, bool accept_other_roms, std::string& message);

// The same through files. Saving goes through the one writer (core/host_file.h).
bool save_state_file(const std::string& path, std::string& message);
state_result load_state_file(const std::string& path, bool accept_other_roms, std::string& message);
