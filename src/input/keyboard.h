// The keyboard matrix (8 columns x 6 rows, active low) and the two host key tables.
#pragma once
#include <cstdint>
#include <vector>

struct keyboard_entry {
  uint8_t key_char;      // informational
  uint8_t column;        // 0..7, or 0xFF for no machine key
  uint8_t press_mask;    // ANDed into the column on press
  uint8_t release_mask;  // ORed into the column on release
};

extern uint8_t keyboard_map[8];                  // one byte per column; 0 bit = key down
extern bool keyboard_scanned;                    // the keyboard port was read since the spooler last looked
extern const keyboard_entry native_keyboard_read[256];
extern const keyboard_entry pi_keyboard_read[256];
extern const keyboard_entry* keyboard_read;      // table in use
extern const char* const keyboard_type[2];       // "NATIVE", "PI"

// Host key values of the emulator's hot keys.
constexpr uint32_t KEY_F2 = 0xFFBF, KEY_F4 = 0xFFC1, KEY_F12 = 0xFFC9;

// Selects the table for keyboard_mode (0 NATIVE, otherwise PI).
void select_keyboard_table();
// The key value a host key stands for on the machine: itself for Latin-1 and the mapped function
// keys, the character for a keypad key (keypad Enter: Return), 0 for keys the machine lacks.
uint32_t machine_key_value(uint32_t keyval);
// The machine key at a matrix position as the help names it ("RETURN", "A", ";").
const char* machine_key_name(uint8_t column, uint8_t bit);
// A host key and the machine key a layout gives it.
struct host_key_binding {
  uint32_t keyval;
  uint8_t column, bit;
};
// Every host key that types a machine key through the table, in key value order: the printable
// characters and the function keys machine_key_value passes on. The Latin-1 letters whose code
// is the low byte of Shift, Control or Delete are left out: their table entries are those keys'.
std::vector<host_key_binding> layout_bindings(const keyboard_entry* table);
// Matrix part of a host key press/release (hot keys are the window's): PI specials, then the table.
void keyboard_press(uint32_t keyval);
void keyboard_release(uint32_t keyval);
// Reads the matrix for the column-select mask in the port's high byte.
uint8_t keyboard_scan(uint8_t column_select);
