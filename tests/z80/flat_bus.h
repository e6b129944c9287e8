// A flat 64K test bus for the CPU: memory is one array, port reads come from a function the
// test chooses, and every memory write and port access is recorded in order.
#pragma once
#include <cstdint>
#include <vector>

struct BusEvent {
  enum Kind : uint8_t { MemoryWrite, PortRead, PortWrite } kind;
  uint16_t address;
  uint8_t value;
  bool operator==(const BusEvent&) const = default;
};

extern uint8_t flat_memory[65536];
extern std::vector<BusEvent> flat_events;
extern uint8_t (*flat_port_value)(uint16_t port);  // what a port read returns
extern bool flat_trap_armed;                        // stands in for an inserted cassette
extern unsigned flat_trap_calls;                    // cassette-hook calls so far
extern bool flat_tape_trap_armed;                   // stands in for the system ROM in page 0
extern std::vector<uint8_t> flat_tape_bytes;        // bytes the tape-write trap took
extern unsigned flat_instruction_ends;              // common ends run so far

// Zeroes memory, forgets events and counters, disarms both traps, port reads return the high byte.
void flat_bus_clear();
