// A cassette image of the tape test program, in the layout the built-in ROM's CLOAD reads,
// and the line the program writes once it has arrived whole and run.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern const unsigned char firmware_load_tape[];
extern const unsigned firmware_load_tape_size;

namespace loading_test {

constexpr uint16_t TAPE_LOAD_ADDRESS = 0x3900;  // org of load_tape.asm

// Leader, sync, six-byte name, leader, sync, header (load address, length, execution
// address, little-endian), then the program. An execution address of 0 leaves it unrun.
// Padding bytes after the program make a longer load. Another program may be given, built for
// the same address.
inline std::vector<uint8_t> tape_image(const char name[7], uint16_t exec = TAPE_LOAD_ADDRESS, size_t leader = 16,
                                       uint16_t padding = 0, const unsigned char* program = firmware_load_tape,
                                       unsigned program_size = firmware_load_tape_size) {
  std::vector<uint8_t> t(leader, 0xFF);
  t.push_back(0x00);
  t.insert(t.end(), name, name + 6);
  t.insert(t.end(), leader, 0xFF);
  t.push_back(0x00);
  const uint16_t header[3] = {TAPE_LOAD_ADDRESS, static_cast<uint16_t>(program_size + padding), exec};
  for (uint16_t word : header) {
    t.push_back(static_cast<uint8_t>(word & 0xFF));
    t.push_back(static_cast<uint8_t>(word >> 8));
  }
  t.insert(t.end(), program, program + program_size);
  for (uint16_t i = 0; i < padding; ++i) t.push_back(static_cast<uint8_t>(i * 7));
  return t;
}

// The program prints the byte sum of itself after its text: a damaged transfer shows.
inline std::string tape_line() {
  unsigned sum = 0;
  for (unsigned i = 0; i < firmware_load_tape_size; ++i) sum += firmware_load_tape[i];
  char text[32];
  std::snprintf(text, sizeof text, "TAPE PROGRAM RAN %02X", sum & 0xFF);
  return text;
}

}  // namespace loading_test
