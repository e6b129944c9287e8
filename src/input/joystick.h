// Hand controllers 1 and 2: host joystick state and its encoding into AY registers 14 and 15.
#pragma once
#include <cstdint>

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
// The keypad as hand controller 1 (keypad_controller on): keys 1-9 are the disc's directions as
// they lie on the keypad (5 none), 0, point, Enter, plus, minus and star its six keys. Takes the
// key value of a press or release (either Num Lock state) and says whether it was the
// keypad's; keys of other kinds are left to the keyboard.
bool keypad_controller_key(uint32_t keyval, bool down);
// Lets go of everything the keypad holds (focus lost, the option switched off).
void keypad_controller_release();
// Encodes a controller's state into its byte (0xFF when it has neither joystick nor keypad)...
uint8_t joystick_encode(int controller = 0);
// ...and stores controller 1's into register 14.
void get_joystick_input();
