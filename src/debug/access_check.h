// What the checking build of the CPU (Z80_CHECKED_BUS) looks at on every access: one flag byte
// per memory address and per port, so that an access nobody watches costs a load and a test.
#pragma once
#include <cstdint>

constexpr uint8_t ACCESS_WATCH_READ = 1;   // an enabled watchpoint covers reads here
constexpr uint8_t ACCESS_WATCH_WRITE = 2;  // an enabled watchpoint covers writes here
constexpr uint8_t ACCESS_UNWRITTEN = 4;    // RAM not written since power-on (with the check on)

extern uint8_t debug_memory_flags[0x10000];  // ACCESS_* per memory address
extern uint8_t debug_port_flags[0x100];      // ACCESS_WATCH_* per port (low byte)

// The slow paths, taken only when a flag is set.
void checked_code_read(uint16_t address, uint8_t value);
void checked_data_read(uint16_t address, uint8_t value);
void checked_write(uint16_t address, uint8_t value);
void checked_port(uint16_t port, uint8_t value, bool write);

// One instruction through the checking build of the CPU.
void checked_instruction();
