// Host key strokes timed for the machine's keyboard scan.
#include "input/key_queue.h"

#include <cstring>

#include "input/keyboard.h"

held_key held_keys[HELD_KEY_SLOTS];
key_event key_queue[KEY_QUEUE_SIZE];
size_t key_queue_first = 0, key_queue_count = 0;
uint32_t key_frames = 0;
uint32_t last_release_frame = 0;
bool released_once = false;
std::bitset<65536> down_after_queue;
size_t down_after_queue_count = 0;

namespace {

held_key* held(uint16_t code) {
  for (held_key& k : held_keys)
    if (k.in_use && k.hardware_code == code) return &k;
  return nullptr;
}

// What a key's press does to the matrix, found by pressing it on an all-up matrix (the bits it
// puts down) and on an all-down one (the bits it forces up: the PI ':' keeps the host's Shift
// from reaching the machine, whose ':' is unshifted).
void press_effect(uint32_t keyval, held_key& key) {
  uint8_t saved[8];
  std::memcpy(saved, keyboard_map, 8);
  std::memset(keyboard_map, 0xFF, 8);
  keyboard_press(keyval);
  for (int c = 0; c < 8; ++c) key.down[c] = static_cast<uint8_t>(~keyboard_map[c]);
  std::memset(keyboard_map, 0x00, 8);
  keyboard_press(keyval);
  std::memcpy(key.lifted, keyboard_map, 8);
  std::memcpy(keyboard_map, saved, 8);
}

// Sets the matrix bits one key touches as the keys held now want them: down when one of them
// holds the bit down and none holds it up. So a SHIFT that the PI ':' held up comes back when
// the ':' is let go while the host's Shift is still down. Other bits (the paste's) are left alone.
void settle(const held_key& key) {
  for (int c = 0; c < 8; ++c) {
    const uint8_t touched = key.down[c] | key.lifted[c];
    uint8_t down = 0, lifted = 0;
    for (const held_key& other : held_keys)
      if (other.in_use) {
        down |= other.down[c];
        lifted |= other.lifted[c];
      }
    const uint8_t want_down = down & static_cast<uint8_t>(~lifted) & touched;
    keyboard_map[c] = static_cast<uint8_t>((keyboard_map[c] | touched) & ~want_down);
  }
}

// Carries out one queued event if its time has come; false to keep it (and those after it) waiting.
bool apply(const key_event& e) {
  held_key* key = held(e.hardware_code);
  if (!e.press) {
    if (!key) {
      // Its press found every slot taken: released by its key value.
      keyboard_release(e.keyval);
      return true;
    }
    if (key_frames - key->pressed_frame < MIN_HOLD_FRAMES) return false;
    key->in_use = false;
    settle(*key);
    last_release_frame = key_frames;
    released_once = true;
    return true;
  }
  if (released_once && key_frames == last_release_frame) return false;
  held_key* slot = nullptr;
  for (held_key& k : held_keys)
    if (!k.in_use) slot = &k;
  if (!slot) {
    keyboard_press(e.keyval);
    return true;
  }
  slot->hardware_code = e.hardware_code;
  slot->pressed_frame = key_frames;
  press_effect(e.keyval, *slot);
  slot->in_use = true;
  settle(*slot);
  return true;
}

void run_queue() {
  while (key_queue_count && apply(key_queue[key_queue_first])) {
    key_queue_first = (key_queue_first + 1) % KEY_QUEUE_SIZE;
    --key_queue_count;
  }
}

void enqueue(bool press, uint32_t keyval, uint16_t hardware_code) {
  key_queue[(key_queue_first + key_queue_count) % KEY_QUEUE_SIZE] = {press, keyval, hardware_code};
  ++key_queue_count;
  down_after_queue[hardware_code] = press;
  if (press)
    ++down_after_queue_count;
  else
    --down_after_queue_count;
  run_queue();
}

}  // namespace

void key_queue_press(uint32_t keyval, uint16_t hardware_code) {
  if (!machine_key_value(keyval) || down_after_queue[hardware_code]) return;
  // The ring always keeps one place for the release of every key that is down after it, so a
  // flood of presses that finds it full loses those presses, never a release.
  if (key_queue_count + down_after_queue_count + 2 > KEY_QUEUE_SIZE) return;
  enqueue(true, keyval, hardware_code);
}

void key_queue_release(uint32_t keyval, uint16_t hardware_code) {
  // Judged by its press, not its key value: a keypad key let go after Num Lock changed says End
  // where its press said 1.
  if (!down_after_queue[hardware_code]) return;
  enqueue(false, keyval, hardware_code);
}

void key_queue_frame_end() {
  ++key_frames;
  run_queue();
}

void key_queue_clear() {
  for (held_key& k : held_keys) k.in_use = false;
  key_queue_first = key_queue_count = 0;
  down_after_queue.reset();
  down_after_queue_count = 0;
}
