// The test side of the CPU's bus seam, and the machine globals the CPU expects to find.
#include "flat_bus.h"

#include "z80/bus.h"

#include <cstring>

uint32_t t_state, temp_t_state, frame_t_state, screen_t_state;
uint8_t earbit;

uint8_t flat_memory[65536];
std::vector<BusEvent> flat_events;
bool flat_trap_armed;
unsigned flat_trap_calls;
bool flat_tape_trap_armed;
std::vector<uint8_t> flat_tape_bytes;
unsigned flat_instruction_ends;

static uint8_t port_high_byte(uint16_t port) { return static_cast<uint8_t>(port >> 8); }
uint8_t (*flat_port_value)(uint16_t port) = port_high_byte;

void flat_bus_clear() {
  std::memset(flat_memory, 0, sizeof flat_memory);
  flat_events.clear();
  flat_port_value = port_high_byte;
  flat_trap_armed = false;
  flat_trap_calls = 0;
  flat_tape_trap_armed = false;
  flat_tape_bytes.clear();
  flat_instruction_ends = 0;
}

uint8_t z80bus::fetch(uint16_t address) { return flat_memory[address]; }
uint8_t z80bus::read(uint16_t address) { return flat_memory[address]; }
void z80bus::write(uint16_t address, uint8_t value) {
  flat_memory[address] = value;
  flat_events.push_back({BusEvent::MemoryWrite, address, value});
}
uint8_t z80bus::in(uint16_t port) {
  const uint8_t value = flat_port_value(port);
  flat_events.push_back({BusEvent::PortRead, port, value});
  return value;
}
void z80bus::out(uint16_t port, uint8_t value) { flat_events.push_back({BusEvent::PortWrite, port, value}); }
void z80bus::instruction_end(uint32_t) { ++flat_instruction_ends; }
bool z80bus::cassette_trap_armed() { return flat_trap_armed; }
void z80bus::cassette_trap() { ++flat_trap_calls; }
bool z80bus::tape_write_trap(uint8_t value) {
  if (!flat_tape_trap_armed) return false;
  flat_tape_bytes.push_back(value);
  return true;
}
