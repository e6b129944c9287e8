// Host keys held on the machine: what each physical key put down, how long it has been down,
// and the releases that wait until the ROM has had time to see the press.
#pragma once
#include <cstdint>

// How many keys may be held at once, and how many key events may wait for the machine.
constexpr int MAX_HELD_KEYS = 16;
constexpr int MAX_WAITING_KEY_EVENTS = 128;
// Frames a press stays on the machine at least: the ROM takes a key once two scans agree.
constexpr uint8_t MIN_HOLD_FRAMES = 2;

// One physical host key and the machine keys its press put down.
struct held_key {
  uint16_t keycode;      // the host's hardware key code
  uint8_t hold[8];       // matrix bits (set = held) this key keeps down, per column
  bool lifts_shift_row;  // the press forced column 7 up (PI ':' typed with the host Shift)
  uint8_t frames_down;   // frames run since the press reached the matrix (saturates)
};

// A key event that waits for an earlier press to have been seen by the machine.
struct waiting_key_event {
  uint16_t keycode;
  uint32_t keyval;  // the press's key value; unused for a release
  bool press;
};

extern held_key held_keys[MAX_HELD_KEYS];                        // keys down on the machine now
extern int held_key_count;                                       // entries in use in held_keys
extern waiting_key_event waiting_key_events[MAX_WAITING_KEY_EVENTS];  // in arrival order
extern int waiting_key_count;                                    // entries in use
extern bool keypad_types_characters;  // the numeric keypad types what its keys show

// The character a numeric keypad key types ('\n' for Enter), or 0 for a key that is not on the
// keypad or when the keypad does not type (it is then left to the hand controller).
uint8_t keypad_character(uint32_t keyval);
// A host key went down (auto-repeat sends more presses without releases) or came up. Keys the
// machine lacks (navigation, function keys, characters no table maps) change nothing.
void host_key_down(uint16_t keycode, uint32_t keyval);
void host_key_up(uint16_t keycode);
// Lets go of every held key at once, waiting releases included (the window lost the keyboard).
void release_all_host_keys();
// End of a frame: counts the frame for every held key and carries out what waited for it.
void host_keys_frame();
