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
// Encodes a controller's state into its byte (0xFF when it has no joystick)...
uint8_t joystick_encode(int controller = 0);
// ...and stores controller 1's into register 14.
void get_joystick_input();
