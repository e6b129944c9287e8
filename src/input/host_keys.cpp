// Host keys held on the machine.
//
// A press is remembered under its hardware key code with the exact matrix bits it put down, so
// the release lets go of those and nothing else, whatever key value it arrives with (a key
// pressed with Shift and released after Shift comes up as its unshifted character). A bit
// another held key also keeps down stays down.
//
// The ROM polls the matrix and takes a key only once two scans agree, so a tap shorter than a
// frame or two would be lost. A release therefore waits until its press has been on the
// machine for MIN_HOLD_FRAMES frames; key events that arrive meanwhile wait behind it in order,
// and after each waited-for release the machine gets one frame with that key up, so that quick
// taps of one key are told apart.
#include "input/host_keys.h"

#include <cstring>

#include "input/keyboard.h"
#include "loading/cassette.h"

held_key held_keys[MAX_HELD_KEYS];
int held_key_count;
waiting_key_event waiting_key_events[MAX_WAITING_KEY_EVENTS];
int waiting_key_count;
bool keypad_types_characters = true;

namespace {

constexpr uint8_t SHIFT_COLUMN = 7, SHIFT_BIT = 4;

// Function keys that stand for a machine key; their low byte is their place in the host tables.
constexpr uint32_t mapped_function_keys[] = {
    0xFF08,  // BackSpace
    0xFF0D,  // Return
    0xFFFF,  // Delete
    0xFFE1, 0xFFE2,  // Shift
    0xFFE3, 0xFFE4,  // Control
};

// The keypad keys that type a character, with the character (GDK key values).
struct keypad_key {
  uint32_t keyval;
  uint8_t character;
};
constexpr keypad_key keypad_keys[] = {
    {0xFFB0, '0'}, {0xFFB1, '1'}, {0xFFB2, '2'}, {0xFFB3, '3'}, {0xFFB4, '4'},
    {0xFFB5, '5'}, {0xFFB6, '6'}, {0xFFB7, '7'}, {0xFFB8, '8'}, {0xFFB9, '9'},
    {0xFFAE, '.'}, {0xFFAC, ','}, {0xFFAB, '+'}, {0xFFAD, '-'}, {0xFFAA, '*'},
    {0xFFAF, '/'}, {0xFFBD, '='}, {0xFF8D, '\n'},
};

// Whether keyval reaches the host tables: Latin-1 characters and the mapped function keys.
// The Latin-1 letters whose codes share a slot with a function key (0xE1 to 0xE4, 0xFF) are no
// machine key, and nor is anything else whose low byte merely happens to be mapped.
bool reaches_table(uint32_t keyval) {
  if (keyval >= 0x20 && keyval <= 0x7E) return true;
  if (keyval >= 0xA0 && keyval <= 0xFE) return keyval < 0xE1 || keyval > 0xE4;
  for (uint32_t key : mapped_function_keys)
    if (key == keyval) return true;
  return false;
}

held_key* find_held(uint16_t keycode) {
  for (int i = 0; i < held_key_count; ++i)
    if (held_keys[i].keycode == keycode) return &held_keys[i];
  return nullptr;
}

// The bits of a column that some held key other than `except` keeps down.
uint8_t held_by_others(const held_key* except, int column) {
  uint8_t bits = 0;
  for (int i = 0; i < held_key_count; ++i)
    if (&held_keys[i] != except) bits |= held_keys[i].hold[column];
  return bits;
}

void press_now(uint16_t keycode, uint32_t keyval) {
  uint8_t matrix[8];
  std::memset(matrix, 0xFF, sizeof matrix);
  bool lifts = false;
  if (const uint8_t c = keypad_character(keyval)) {
    const spool_key key = spool_key_for(c);
    if (key.column < 8) matrix[key.column] &= static_cast<uint8_t>(~(1u << key.bit));
    if (key.column < 8 && key.shift) matrix[SHIFT_COLUMN] &= static_cast<uint8_t>(~(1u << SHIFT_BIT));
  } else if (reaches_table(keyval)) {
    lifts = keyboard_press_into(matrix, keyval);
  }
  bool holds_any = lifts;
  for (uint8_t column : matrix) holds_any = holds_any || column != 0xFF;
  if (!holds_any) return;

  held_key* key = find_held(keycode);
  if (!key) {
    if (held_key_count == MAX_HELD_KEYS) return;
    key = &held_keys[held_key_count++];
    *key = held_key{};
    key->keycode = keycode;
  }
  // Auto-repeat presses again: the key keeps its age, so its release is not held back again.
  for (int column = 0; column < 8; ++column) {
    key->hold[column] |= static_cast<uint8_t>(~matrix[column]);
    keyboard_map[column] &= matrix[column];
  }
  if (lifts) {
    key->lifts_shift_row = true;
    keyboard_map[SHIFT_COLUMN] = 0xFF;
  }
}

void release_now(held_key* key) {
  for (int column = 0; column < 8; ++column)
    keyboard_map[column] |= static_cast<uint8_t>(key->hold[column] & ~held_by_others(key, column));
  // The SHIFT row it forced up comes back for the keys still held there (the host Shift).
  if (key->lifts_shift_row) keyboard_map[SHIFT_COLUMN] &= static_cast<uint8_t>(~held_by_others(key, SHIFT_COLUMN));
  *key = held_keys[--held_key_count];
}

void enqueue(uint16_t keycode, uint32_t keyval, bool press) {
  if (waiting_key_count == MAX_WAITING_KEY_EVENTS) {
    // Nobody types this far ahead of the machine; rather than lose the event, the oldest
    // waiting one is carried out now.
    const waiting_key_event oldest = waiting_key_events[0];
    std::memmove(waiting_key_events, waiting_key_events + 1, sizeof(waiting_key_event) * (MAX_WAITING_KEY_EVENTS - 1));
    --waiting_key_count;
    if (oldest.press) {
      press_now(oldest.keycode, oldest.keyval);
    } else if (held_key* key = find_held(oldest.keycode)) {
      release_now(key);
    }
  }
  waiting_key_events[waiting_key_count++] = {keycode, keyval, press};
}

}  // namespace

uint8_t keypad_character(uint32_t keyval) {
  if (!keypad_types_characters) return 0;
  for (const keypad_key& key : keypad_keys)
    if (key.keyval == keyval) return key.character;
  return 0;
}

void host_key_down(uint16_t keycode, uint32_t keyval) {
  if (waiting_key_count > 0)
    enqueue(keycode, keyval, true);
  else
    press_now(keycode, keyval);
}

void host_key_up(uint16_t keycode) {
  held_key* key = find_held(keycode);
  if (waiting_key_count == 0 && (!key || key->frames_down >= MIN_HOLD_FRAMES)) {
    if (key) release_now(key);
    return;
  }
  enqueue(keycode, 0, false);
}

void release_all_host_keys() {
  while (held_key_count > 0) release_now(&held_keys[held_key_count - 1]);
  waiting_key_count = 0;
}

void host_keys_frame() {
  for (int i = 0; i < held_key_count; ++i)
    if (held_keys[i].frames_down < 0xFF) ++held_keys[i].frames_down;
  int done = 0;
  while (done < waiting_key_count) {
    const waiting_key_event& event = waiting_key_events[done];
    if (event.press) {
      press_now(event.keycode, event.keyval);
      ++done;
      continue;
    }
    held_key* key = find_held(event.keycode);
    if (key && key->frames_down < MIN_HOLD_FRAMES) break;
    ++done;
    if (key) {
      release_now(key);
      break;  // one frame with the key up before anything after it
    }
  }
  waiting_key_count -= done;
  std::memmove(waiting_key_events, waiting_key_events + done, sizeof(waiting_key_event) * waiting_key_count);
}
