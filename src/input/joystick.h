// Hand controller 1: host joystick state and its encoding into AY register 14.
#pragma once
#include <cstdint>

struct joystick_state {
  void* joystick;   // the opened host joystick (index 0), null when none
  int32_t up, down, left, right;
  int32_t button;   // last button pressed; 255 after any release
  int32_t hat;      // hat 0 position bits: up 1, right 2, down 4, left 8
};

extern uint8_t joystick_enabled;  // a host joystick was found at start-up
extern joystick_state game;       // the host joystick's state as last polled

constexpr int32_t JOYSTICK_DEAD_ZONE = 3200;
constexpr int32_t JOYSTICK_NO_BUTTON = 255;   // game.button after a release: nothing encoded

// Event handling of the frame-start poll.
void joystick_axis_motion(uint8_t axis, int32_t value);
void joystick_hat_motion(int32_t position);
void joystick_button_down(int32_t index);
void joystick_button_up();
// Encodes the state into the controller byte (0xFF when no joystick is enabled)...
uint8_t joystick_encode();
// ...and stores it into register 14.
void get_joystick_input();
