// Host key strokes timed for the machine's keyboard scan. The ROM reads the matrix about once a
// frame and takes a key only when two reads agree, so host events wait here for the frame ends
// at which they can be seen: a press stays down MIN_HOLD_FRAMES frame ends, and after a release
// every key is up for a frame before the next press. Typing outruns that (three frames a stroke
// against 25 strokes a second), so the events queue up, in order, and nothing typed is lost.
#pragma once
#include <bitset>
#include <cstddef>
#include <cstdint>

constexpr uint32_t MIN_HOLD_FRAMES = 2;
constexpr size_t HELD_KEY_SLOTS = 16;
// Thousands of strokes: typing at 25 a second against the machine's 16 or 17 fills it only after
// minutes.
constexpr size_t KEY_QUEUE_SIZE = 8192;

// A host key down on the machine, by hardware key code: its release lets go of exactly what its
// press changed, whatever key value the release says (Shift+9 pressed, Shift let go, then 9).
struct held_key {
  bool in_use;
  uint16_t hardware_code;
  uint8_t down[8];    // matrix bits the key holds down
  uint8_t lifted[8];  // bits it holds up although another key wants them down (PI ':' and SHIFT)
  uint32_t pressed_frame;
};

struct key_event {
  bool press;
  uint32_t keyval;
  uint16_t hardware_code;
};

extern held_key held_keys[HELD_KEY_SLOTS];       // host keys down on the machine now
extern key_event key_queue[KEY_QUEUE_SIZE];      // ring of events waiting for their frame end
extern size_t key_queue_first, key_queue_count;  // oldest waiting event, number waiting
extern uint32_t key_frames;                      // frame ends seen
extern uint32_t last_release_frame;              // frame end at which a key was last let go
extern bool released_once;                       // a key was let go since the last clear
// Hardware codes that are down once every queued event is applied: what the host's keyboard is
// like as far as the queue knows. The ring keeps room for each of their releases.
extern std::bitset<65536> down_after_queue;
extern size_t down_after_queue_count;

// A host key pressed or let go (GDK key value and hardware key code); applied at once when its
// time has come, else queued. A press of a key the machine lacks, a repeated press of a key
// already down (the host's auto-repeat: the ROM repeats by itself) and a release of a key that is
// not down are dropped. A release is never dropped for want of room.
void key_queue_press(uint32_t keyval, uint16_t hardware_code);
void key_queue_release(uint32_t keyval, uint16_t hardware_code);
// The machine finished a frame: queued events whose time has come reach the matrix.
void key_queue_frame_end();
// Forgets every held and queued key (the caller lets go of the matrix itself).
void key_queue_clear();
