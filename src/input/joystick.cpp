// Hand controllers 1 and 2, read through AY ports A and B. The controller's disc and keys pull lines of AY port A low, so the byte
// the CPU reads in register 14 is active low; the keys share lines with the disc directions,
// which is why their codes clear more than one bit.
#include "input/joystick.h"

#include "core/extra_settings.h"
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

// The keypad's disc: the directions of the digit keys held, as hat bits, and its keys.
uint16_t keypad_directions_held = 0;  // bit n: keypad digit n is down
int32_t keypad_button = JOYSTICK_NO_BUTTON;

// Keypad digit of a key value, with Num Lock on or off; -1 for none.
int keypad_digit(uint32_t keyval) {
  if (keyval >= 0xFFB0 && keyval <= 0xFFB9) return static_cast<int>(keyval - 0xFFB0);
  switch (keyval) {
    case 0xFF9E: return 0;  // KP_Insert
    case 0xFF9C: return 1;  // KP_End
    case 0xFF99: return 2;  // KP_Down
    case 0xFF9B: return 3;  // KP_Next
    case 0xFF96: return 4;  // KP_Left
    case 0xFF9D: return 5;  // KP_Begin
    case 0xFF98: return 6;  // KP_Right
    case 0xFF95: return 7;  // KP_Home
    case 0xFF97: return 8;  // KP_Up
    case 0xFF9A: return 9;  // KP_Prior
    default: return -1;
  }
}

// Hat bits of the direction keys 1-9 (up 1, right 2, down 4, left 8), by digit.
constexpr uint8_t keypad_hat[10] = {0, 4 | 8, 4, 4 | 2, 8, 0, 2, 1 | 8, 1, 1 | 2};

uint8_t keypad_lines() {
  uint8_t hat = 0;
  for (int digit = 1; digit <= 9; ++digit)
    if (keypad_directions_held & (1u << digit)) hat |= keypad_hat[digit];
  // Opposite directions held together cancel, as the disc cannot point both ways.
  if ((hat & 5) == 5) hat &= static_cast<uint8_t>(~5);
  if ((hat & 10) == 10) hat &= static_cast<uint8_t>(~10);
  uint8_t lines = static_cast<uint8_t>(~hat_lines(hat));
  if (keypad_button >= 0 && keypad_button < 6) lines &= button_code[keypad_button];
  return lines;
}

}  // namespace

bool keypad_controller_key(uint32_t keyval, bool down) {
  if (!keypad_controller) return false;
  int32_t button = -1;
  const int digit = keypad_digit(keyval);
  switch (keyval) {
    case 0xFFAE: case 0xFF9F: button = 1; break;  // KP_Decimal, KP_Delete
    case 0xFF8D: button = 2; break;               // KP_Enter
    case 0xFFAB: button = 3; break;               // KP_Add
    case 0xFFAD: button = 4; break;               // KP_Subtract
    case 0xFFAA: button = 5; break;               // KP_Multiply
    default:
      if (digit == 0) button = 0;
      else if (digit < 0) return false;
  }
  if (button >= 0) {
    if (down) keypad_button = button;
    else if (keypad_button == button) keypad_button = JOYSTICK_NO_BUTTON;
  } else if (down) {
    keypad_directions_held |= static_cast<uint16_t>(1u << digit);
  } else {
    keypad_directions_held &= static_cast<uint16_t>(~(1u << digit));
  }
  // Register 14 is refreshed on reads only while a joystick is in: it is kept current here.
  get_joystick_input();
  return true;
}

void keypad_controller_release() {
  keypad_directions_held = 0;
  keypad_button = JOYSTICK_NO_BUTTON;
  get_joystick_input();
}

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
  uint8_t lines = (controller & 1) == 0 && keypad_controller ? keypad_lines() : 0xFF;
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
