// Hand controllers 1 and 2, read through AY ports A and B. The controller's disc and keys pull lines of AY port A low, so the byte
// the CPU reads in register 14 is active low; the keys share lines with the disc directions,
// which is why their codes clear more than one bit.
#include "input/joystick.h"

#include <iterator>

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

constexpr uint8_t HAT_UP = 1, HAT_RIGHT = 2, HAT_DOWN = 4, HAT_LEFT = 8;

constexpr controller_key keypad_keys[] = {
    {0xFFB7, HAT_UP | HAT_LEFT, -1},   {0xFF95, HAT_UP | HAT_LEFT, -1},    // KP_7, KP_Home
    {0xFFB8, HAT_UP, -1},              {0xFF97, HAT_UP, -1},               // KP_8, KP_Up
    {0xFFB9, HAT_UP | HAT_RIGHT, -1},  {0xFF9A, HAT_UP | HAT_RIGHT, -1},   // KP_9, KP_Prior
    {0xFFB4, HAT_LEFT, -1},            {0xFF96, HAT_LEFT, -1},             // KP_4, KP_Left
    {0xFFB5, 0, -1},                   {0xFF9D, 0, -1},                    // KP_5, KP_Begin
    {0xFFB6, HAT_RIGHT, -1},           {0xFF98, HAT_RIGHT, -1},            // KP_6, KP_Right
    {0xFFB1, HAT_DOWN | HAT_LEFT, -1}, {0xFF9C, HAT_DOWN | HAT_LEFT, -1},  // KP_1, KP_End
    {0xFFB2, HAT_DOWN, -1},            {0xFF99, HAT_DOWN, -1},             // KP_2, KP_Down
    {0xFFB3, HAT_DOWN | HAT_RIGHT, -1}, {0xFF9B, HAT_DOWN | HAT_RIGHT, -1},  // KP_3, KP_Next
    {0xFFB0, 0, 0},                    {0xFF9E, 0, 0},                     // KP_0, KP_Insert
    {0xFFAE, 0, 1},                    {0xFF9F, 0, 1},                     // KP_Decimal, KP_Delete
    {0xFF8D, 0, 2},                                                        // KP_Enter
    {0xFFAB, 0, 3},                                                        // KP_Add
    {0xFFAD, 0, 4},                                                        // KP_Subtract
    {0xFFAA, 0, 5},                                                        // KP_Multiply
};

constexpr controller_key cursor_keys[] = {
    {0xFF52, HAT_UP, -1}, {0xFF54, HAT_DOWN, -1}, {0xFF51, HAT_LEFT, -1}, {0xFF53, HAT_RIGHT, -1},  // arrows
    {0xFF63, 0, 0},                                                                  // Insert
    {0xFF50, 0, 1},                                                                  // Home
    {0xFF55, 0, 2},                                                                  // Page_Up
    {0xFFFF, 0, 3},                                                                  // Delete
    {0xFF57, 0, 4},                                                                  // End
    {0xFF56, 0, 5},                                                                  // Page_Down
};

// One set of host keys: whether it is on, and which of its keys are down (bit n: entry n).
struct controller_key_set {
  std::span<const controller_key> keys;
  const bool& on;
  uint32_t held;
};
controller_key_set key_sets[] = {{keypad_keys, keypad_controller, 0}, {cursor_keys, cursor_controller, 0}};
static_assert(std::size(keypad_keys) <= 32 && std::size(cursor_keys) <= 32);

// The host keys' controller key: the last one pressed, until its release.
int32_t key_set_button = JOYSTICK_NO_BUTTON;

// The lines the host keys pull low: the directions of every key held in the sets that are on,
// and the last controller key pressed.
uint8_t controller_key_lines() {
  uint8_t hat = 0;
  for (const controller_key_set& set : key_sets)
    if (set.on)
      for (size_t n = 0; n < set.keys.size(); ++n)
        if (set.held & (1u << n)) hat |= set.keys[n].hat;
  // Opposite directions held together cancel, as the disc cannot point both ways.
  if ((hat & (HAT_UP | HAT_DOWN)) == (HAT_UP | HAT_DOWN)) hat &= static_cast<uint8_t>(~(HAT_UP | HAT_DOWN));
  if ((hat & (HAT_LEFT | HAT_RIGHT)) == (HAT_LEFT | HAT_RIGHT)) hat &= static_cast<uint8_t>(~(HAT_LEFT | HAT_RIGHT));
  uint8_t lines = static_cast<uint8_t>(~hat_lines(hat));
  if (key_set_button >= 0 && key_set_button < 6) lines &= button_code[key_set_button];
  return lines;
}

}  // namespace

const std::span<const controller_key> keypad_controller_keys = keypad_keys;
const std::span<const controller_key> cursor_controller_keys = cursor_keys;

bool controller_key_event(uint32_t keyval, bool down) {
  for (controller_key_set& set : key_sets) {
    if (!set.on) continue;
    for (size_t n = 0; n < set.keys.size(); ++n) {
      const controller_key& key = set.keys[n];
      if (key.keyval != keyval) continue;
      if (down) set.held |= 1u << n;
      else set.held &= ~(1u << n);
      if (key.button >= 0) {
        if (down) key_set_button = key.button;
        else if (key_set_button == key.button) key_set_button = JOYSTICK_NO_BUTTON;
      }
      // Register 14 is refreshed on reads only while a joystick is in: it is kept current here.
      get_joystick_input();
      return true;
    }
  }
  return false;
}

void controller_keys_release() {
  for (controller_key_set& set : key_sets) set.held = 0;
  key_set_button = JOYSTICK_NO_BUTTON;
  get_joystick_input();
}

const char* disc_direction_name(uint8_t hat) {
  switch (hat) {
    case HAT_UP: return "up";
    case HAT_UP | HAT_RIGHT: return "up-right";
    case HAT_RIGHT: return "right";
    case HAT_DOWN | HAT_RIGHT: return "down-right";
    case HAT_DOWN: return "down";
    case HAT_DOWN | HAT_LEFT: return "down-left";
    case HAT_LEFT: return "left";
    case HAT_UP | HAT_LEFT: return "up-left";
    default: return "none";
  }
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
  uint8_t lines = (controller & 1) == 0 ? controller_key_lines() : 0xFF;
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
