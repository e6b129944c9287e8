// Hand controllers 1 and 2: host joystick state and its encoding into AY registers 14 and 15.
#pragma once
#include <cstdint>
#include <span>

struct joystick_state {
  void* joystick;   // the opened host joystick, null when none
  int32_t up, down, left, right;
  int32_t button;   // last button pressed; 255 after any release
  int32_t hat;      // hat 0 position bits: up 1, right 2, down 4, left 8
};

constexpr int HAND_CONTROLLERS = 2;

extern uint8_t joystick_enabled;                         // bit n: controller n+1 has a host joystick
extern joystick_state hand_controller[HAND_CONTROLLERS]; // each controller's joystick as last polled
extern joystick_state& game;                             // hand controller 1

constexpr int32_t JOYSTICK_DEAD_ZONE = 3200;
constexpr int32_t JOYSTICK_NO_BUTTON = 255;   // button after a release: nothing encoded

// Event handling of the frame-start poll, for controller 0 (the first) or 1.
void joystick_axis_motion(uint8_t axis, int32_t value, int controller = 0);
void joystick_hat_motion(int32_t position, int controller = 0);
void joystick_button_down(int32_t index, int controller = 0);
void joystick_button_up(int controller = 0);
// Forgets a controller's state (nothing pressed), as after an unplug.
void joystick_release(int controller);
// Host keys as hand controller 1: the keypad (keypad_controller on) and the cursor keys
// (cursor_controller on). Each key either holds a direction of the disc or presses one of the
// six keys; the directions of all keys held add up as the disc's.
struct controller_key {
  uint32_t keyval;  // the host key value
  uint8_t hat;      // direction it holds, as hat bits (up 1, right 2, down 4, left 8); 0 for none
  int8_t button;    // controller key it presses, 0-5; -1 for none
};
// The keypad: 1-9 the directions as they lie on it (5 none), with Num Lock on or off; 0, point,
// Enter, plus, minus and star the six keys.
extern const std::span<const controller_key> keypad_controller_keys;
// The arrows are the disc; Insert, Home, Page Up, Delete, End, Page Down the six keys, the block
// above the arrows on a full keyboard, keys that typing does without.
extern const std::span<const controller_key> cursor_controller_keys;
// Takes the key value of a press or release and says whether it was a controller key of a set
// that is on; other keys are left to the keyboard.
bool controller_key_event(uint32_t keyval, bool down);
// Lets go of everything the host keys hold (focus lost, a set switched off).
void controller_keys_release();
// A direction given as hat bits, as the help names it: "up-left"; "none" for 0.
const char* disc_direction_name(uint8_t hat);
// Encodes a controller's state into its byte (0xFF when it has neither joystick nor host keys)...
uint8_t joystick_encode(int controller = 0);
// ...and stores controller 1's into register 14.
void get_joystick_input();
