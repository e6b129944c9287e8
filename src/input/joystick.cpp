// STUB
#include "input/joystick.h"
uint8_t joystick_enabled;
joystick_state game;
void joystick_axis_motion(uint8_t, int32_t) {}
void joystick_hat_motion(int32_t) {}
void joystick_button_down(int32_t) {}
void joystick_button_up() {}
uint8_t joystick_encode() { return 0xFF; }
void get_joystick_input() {}
