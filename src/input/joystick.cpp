// Hand controllers 1 and 2, read through AY ports A and B. The controller's disc and keys pull lines of AY port A low, so the byte
// the CPU reads in register 14 is active low; the keys share lines with the disc directions,
// which is why their codes clear more than one bit.
#include "input/joystick.h"

#include "sound/ay.h"

uint8_t joystick_enabled;
// No button held at start: button index 0 is a real button (code 0xBF), and a machine that
// booted with it "held" would see a fire key pressed until the first release.
joystick_state hand_controller[HAND_CONTROLLERS] = {{nullptr, 0, 0, 0, 0, JOYSTICK_NO_BUTTON, 0},
                                                    {nullptr, 0, 0, 0, 0, JOYSTICK_NO_BUTTON, 0}};
joystick_state& game = hand_controller[0];

namespace {

constexpr uint8_t DOWN_BIT = 0x01, RIGHT_BIT = 0x02, UP_BIT = 0x04, LEFT_BIT = 0x08;

// Lines each host button pulls low, by button index.
constexpr uint8_t button_code[6] = {0xBF, 0x7B, 0x5F, 0xDF, 0x7D, 0x7E};

// Lines pulled low by each hat position (up 1, right 2, down 4, left 8); positions that are not
// a direction or a diagonal pull nothing.
uint8_t hat_lines(int32_t hat) {
  switch (hat) {
    case 1: return UP_BIT;
    case 2: return RIGHT_BIT;
    case 3: return UP_BIT | RIGHT_BIT;
    case 4: return DOWN_BIT;
    case 6: return DOWN_BIT | RIGHT_BIT;
    case 8: return LEFT_BIT;
    case 9: return UP_BIT | LEFT_BIT;
    case 12: return DOWN_BIT | LEFT_BIT;
    default: return 0;
  }
}

}  // namespace

void joystick_axis_motion(uint8_t axis, int32_t value, int controller) {
  joystick_state& c = hand_controller[controller & 1];
  // Pushing one way does not release the other: only a return to the centre does.
  if (axis == 0) {
    if (value < -JOYSTICK_DEAD_ZONE) c.left = 1;
    else if (value > JOYSTICK_DEAD_ZONE) c.right = 1;
    else c.left = c.right = 0;
  } else if (axis == 1) {
    if (value < -JOYSTICK_DEAD_ZONE) c.up = 1;
    else if (value > JOYSTICK_DEAD_ZONE) c.down = 1;
    else c.up = c.down = 0;
  }
}

void joystick_hat_motion(int32_t position, int controller) { hand_controller[controller & 1].hat = position & 0xFF; }

void joystick_button_down(int32_t index, int controller) { hand_controller[controller & 1].button = index; }

// Releasing any button drops the encoded one, even when another is still held.
void joystick_button_up(int controller) { hand_controller[controller & 1].button = JOYSTICK_NO_BUTTON; }

void joystick_release(int controller) {
  joystick_state& c = hand_controller[controller & 1];
  c.up = c.down = c.left = c.right = c.hat = 0;
  c.button = JOYSTICK_NO_BUTTON;
}

uint8_t joystick_encode(int controller) {
  uint8_t lines = 0xFF;
  if (!(joystick_enabled & (1u << (controller & 1)))) return lines;
  const joystick_state& c = hand_controller[controller & 1];
  if (c.left) lines &= ~LEFT_BIT;
  if (c.right) lines &= ~RIGHT_BIT;
  if (c.up) lines &= ~UP_BIT;
  if (c.down) lines &= ~DOWN_BIT;
  lines &= ~hat_lines(c.hat);
  if (c.button >= 0 && c.button < 6) lines &= button_code[c.button];
  return lines;
}

void get_joystick_input() { snd.regs[14] = joystick_encode(0); }
