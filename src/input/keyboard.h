// The keyboard matrix (8 columns x 6 rows, active low) and the two host key tables.
#pragma once
#include <cstdint>

struct keyboard_entry {
  uint8_t key_char;      // informational
  uint8_t column;        // 0..7, or 0xFF for no machine key
  uint8_t press_mask;    // ANDed into the column on press
  uint8_t release_mask;  // ORed into the column on release
};

extern uint8_t keyboard_map[8];                  // one byte per column; 0 bit = key down
extern const keyboard_entry native_keyboard_read[256];
extern const keyboard_entry pi_keyboard_read[256];
extern const keyboard_entry* keyboard_read;      // table in use
extern const char* const keyboard_type[2];       // "NATIVE", "PI"

// Host key values of the emulator's hot keys.
constexpr uint32_t KEY_F2 = 0xFFBF, KEY_F4 = 0xFFC1, KEY_F12 = 0xFFC9;

// Selects the table for keyboard_mode (0 NATIVE, otherwise PI).
void select_keyboard_table();
// Matrix part of a host key press/release by key value alone: PI specials, then the table. The
// window goes through input/host_keys, which remembers presses per physical key.
void keyboard_press(uint32_t keyval);
// The same press applied to another matrix. True when it forces the SHIFT column up instead of
// holding a key there (PI ':', typed with the host Shift down).
bool keyboard_press_into(uint8_t* matrix, uint32_t keyval);
void keyboard_release(uint32_t keyval);
// Reads the matrix for the column-select mask in the port's high byte.
uint8_t keyboard_scan(uint8_t column_select);
