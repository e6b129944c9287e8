// STUB
#include "input/keyboard.h"
uint8_t keyboard_map[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const keyboard_entry native_keyboard_read[256] = {};
const keyboard_entry pi_keyboard_read[256] = {};
const keyboard_entry* keyboard_read = native_keyboard_read;
const char* const keyboard_type[2] = {"NATIVE", "PI"};
void select_keyboard_table() {}
void keyboard_press(uint32_t) {}
void keyboard_release(uint32_t) {}
uint8_t keyboard_scan(uint8_t) { return 0xFF; }
