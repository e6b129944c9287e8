// The CPU's only road to the outside world: opcode fetches, operand and data reads, writes,
// ports, the common end of every instruction, the cassette hook and the tape-write trap. The
// machine build routes them to the memory map, the port dispatcher, the raster and the sound
// clock; a build with Z80_FLAT_BUS routes them to functions that a test supplies (a flat 64K array
// and recorded port traffic), chosen at link time so the machine pays nothing for the test seam.
//
// Z80_CHECKED_BUS builds the CPU a second time inside the machine, with the machine's bus plus
// the debugger's checks on every access (watchpoints, reads of RAM never written). Everything
// that build defines lives in the inline namespace checked_bus, so that the two builds sit side
// by side in one program; the frame loop uses it only while a stop is armed.
#pragma once
#include <cstdint>

#ifdef Z80_CHECKED_BUS
#define Z80_BUS_BEGIN inline namespace checked_bus {
#define Z80_BUS_END }
#else
#define Z80_BUS_BEGIN
#define Z80_BUS_END
#endif

#ifdef Z80_FLAT_BUS

// Defined by the test that links the flat-bus build.
namespace z80bus {
uint8_t fetch(uint16_t address);
uint8_t read(uint16_t address);
// Immediates and displacements: the tests' memory serves them as any read.
inline uint8_t read_operand(uint16_t address) { return read(address); }
void write(uint16_t address, uint8_t value);
uint8_t in(uint16_t port);
void out(uint16_t port, uint8_t value);
void instruction_end(uint32_t length);
bool cassette_trap_armed();
void cassette_trap();
bool tape_write_trap(uint8_t value);
}  // namespace z80bus

#else

#include "core/frame.h"
#include "core/memory.h"
#include "core/ports.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"
#include "video/raster.h"

#ifdef Z80_CHECKED_BUS
#include "debug/access_check.h"
#endif

Z80_BUS_BEGIN
namespace z80bus {
#ifndef Z80_CHECKED_BUS
inline uint8_t fetch(uint16_t address) { return FetchOpcode(address); }
inline uint8_t read(uint16_t address) { return ReadByte(address); }
inline uint8_t read_operand(uint16_t address) { return ReadByte(address); }
// Stores to screen and colour RAM tell the raster which cells changed.
inline void write(uint16_t address, uint8_t value) {
  if ((address & 0xF800) == 0x3000) note_screen_write(address, value);
  WriteByte(address, value);
}
inline uint8_t in(uint16_t port) { return ReadPort(port); }
inline void out(uint16_t port, uint8_t value) { WritePort(port, value); }
#else
// Opcode and operand bytes are code: only the unwritten-RAM check looks at them, not the
// watchpoints on reads, which are about data.
inline uint8_t fetch(uint16_t address) {
  const uint8_t value = FetchOpcode(address);
  if (debug_memory_flags[address] & ACCESS_UNWRITTEN) checked_code_read(address, value);
  return value;
}
inline uint8_t read_operand(uint16_t address) {
  const uint8_t value = ReadByte(address);
  if (debug_memory_flags[address] & ACCESS_UNWRITTEN) checked_code_read(address, value);
  return value;
}
inline uint8_t read(uint16_t address) {
  const uint8_t value = ReadByte(address);
  if (debug_memory_flags[address] & (ACCESS_WATCH_READ | ACCESS_UNWRITTEN)) checked_data_read(address, value);
  return value;
}
inline void write(uint16_t address, uint8_t value) {
  if (debug_memory_flags[address]) checked_write(address, value);
  if ((address & 0xF800) == 0x3000) note_screen_write(address, value);
  WriteByte(address, value);
}
inline uint8_t in(uint16_t port) {
  const uint8_t value = ReadPort(port);
  if (debug_port_flags[port & 0xFF] & ACCESS_WATCH_READ) checked_port(port, value, false);
  return value;
}
inline void out(uint16_t port, uint8_t value) {
  if (debug_port_flags[port & 0xFF] & ACCESS_WATCH_WRITE) checked_port(port, value, true);
  WritePort(port, value);
}
#endif
// The raster catches up with the instruction just finished, then the sound accumulators.
inline void instruction_end(uint32_t length) {
  byte_to_display(static_cast<int32_t>(t_state - screen_t_state));
  sound_clock(length);
}
inline bool cassette_trap_armed() { return caq_loaded; }
inline void cassette_trap() { aqua_get_caq_file(); }
// PUSH AF at 0x1B8A, the system ROM's tape byte writer: true when the byte went to the
// recorder instead. Only the system ROM has that routine there.
inline bool tape_write_trap(uint8_t value) {
  if (Page_RAM[0] != AQUA_ROM) return false;
  tape_record_byte(value);
  return true;
}
}  // namespace z80bus
Z80_BUS_END

#endif
