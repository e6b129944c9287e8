// The key queue against what the ROM's scan can take: typed as a host sends it, fast or all at
// once, a text must reach the matrix as one stroke per character (one matrix over two frames or
// more), in order, each the key the machine types that character with (the spooler's table, the
// headless runner's too), and nothing may stay down after the last release.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "core/ports.h"
#include "input/key_queue.h"
#include "input/keyboard.h"
#include "loading/cassette.h"

namespace {

constexpr uint32_t SHIFT_L = 0xFFE1, RETURN = 0xFF0D;
constexpr uint16_t SHIFT_CODE = 0x100;  // the other keys' codes are their unshifted characters
using matrix = std::vector<uint8_t>;
struct host_event {
  bool press;
  uint32_t keyval;
  uint16_t code;
};

// A US keyboard's shifted characters over their keys.
const std::string shifted = "!@#$%^&*()_+:\"<>?", unshifted = "1234567890-=;',./";
bool needs_shift(char c) { return (c >= 'A' && c <= 'Z') || shifted.find(c) != std::string::npos; }

// A host typing TEXT: Shift around each shifted character (with hold_shift, around each run of
// them, as a typist does), and REPEATS auto-repeated presses after each press.
std::vector<host_event> host_typing(const std::string& text, bool hold_shift = false, int repeats = 0) {
  std::vector<host_event> events;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const size_t symbol = shifted.find(c);
    const uint16_t code = static_cast<uint16_t>(symbol != std::string::npos ? unshifted[symbol] : c | 0x20);
    if (needs_shift(c) && !(hold_shift && i && needs_shift(text[i - 1]))) events.push_back({true, SHIFT_L, SHIFT_CODE});
    for (int press = 0; press <= repeats; ++press) events.push_back({true, c == '\n' ? RETURN : uint8_t(c), code});
    events.push_back({false, c == '\n' ? RETURN : uint8_t(c), code});
    if (needs_shift(c) && !(hold_shift && i + 1 < text.size() && needs_shift(text[i + 1])))
      events.push_back({false, SHIFT_L, SHIFT_CODE});
  }
  return events;
}

matrix stroke_of(char c) {
  const spool_key key = spool_key_for(static_cast<uint8_t>(c));
  matrix m(8, 0xFF);
  if (key.column > 7) return m;
  m[key.column] &= static_cast<uint8_t>(~(1u << key.bit));
  if (key.shift) m[7] &= ~(1u << 4);
  return m;
}

// Feeds the events in the given layout, PER_FRAME of them before each frame end, then runs frames
// until the queue is empty. The text the scans saw: a character for each matrix other than all up
// or SHIFT alone held over two frames or more ('?' for one the machine types nothing with).
std::string typed(bool pi, const std::vector<host_event>& events, size_t per_frame) {
  keyboard_mode = pi;
  select_keyboard_table();
  key_queue_clear();
  ClearPorts();
  std::vector<matrix> frames;
  for (size_t i = 0; i < events.size() || key_queue_count; ++i) {
    if (i < events.size()) {
      events[i].press ? key_queue_press(events[i].keyval, events[i].code) : key_queue_release(events[i].keyval, events[i].code);
      if ((i + 1) % per_frame && i + 1 < events.size()) continue;
    }
    frames.emplace_back(keyboard_map, keyboard_map + 8);  // what this frame's scans see
    key_queue_frame_end();
  }
  frames.emplace_back(keyboard_map, keyboard_map + 8);
  std::string text;
  for (size_t f = 1; f < frames.size(); ++f) {
    if (frames[f] != frames[f - 1] || (f > 1 && frames[f - 2] == frames[f])) continue;
    matrix keys = frames[f];
    keys[7] |= 1u << 4;
    if (keys == matrix(8, 0xFF)) continue;
    char c = 1;
    while (c > 0 && stroke_of(c) != frames[f]) ++c;
    text += c > 0 ? c : '?';
  }
  EXPECT_EQ(frames.back(), matrix(8, 0xFF)) << "a key stayed down";
  return text;
}

}  // namespace

TEST(KeyQueue, TypingFasterThanTheFramesLosesNothingInEitherLayout) {
  const std::string line = "20 FOR I=1 TO 5:PRINT I;I*I:NEXT I\n";
  // 25 keys a second at 50 frames a second, or every event before one frame end (a busy host).
  EXPECT_EQ(typed(true, host_typing(line), 2), line);
  EXPECT_EQ(typed(true, host_typing(line, true, 3), 1000), line);
  // NATIVE maps by position: the host's Shift+; and Shift+8 are the machine's SHIFT+; and SHIFT+8.
  EXPECT_EQ(typed(false, host_typing(line, true, 3), 1000), "20 FOR I=1 TO 5@PRINT I;I(I@NEXT I\n");
  // PI keys that put SHIFT down themselves, or hold the host's Shift up (':' with Shift held,
  // then X and '*', which need it again), next to others.
  EXPECT_EQ(typed(true, host_typing("'A#1@2:X*3\"'\n", true), 5), "'A#1@2:X*3\"'\n");
}

TEST(KeyQueue, AFloodLosesPressesAtTheEndButNeverARelease) {
  // Shift held before the flood and let go after it; more taps between than fit.
  std::vector<host_event> events = {{true, SHIFT_L, SHIFT_CODE}};
  for (size_t tap = 0; tap < KEY_QUEUE_SIZE; ++tap) {
    const uint32_t key = tap % 2 ? 'C' : 'B';
    events.push_back({true, key, static_cast<uint16_t>(key)});
    events.push_back({false, key, static_cast<uint16_t>(key)});
  }
  events.push_back({false, SHIFT_L, SHIFT_CODE});
  const std::string text = typed(false, events, events.size());
  EXPECT_GT(text.size(), KEY_QUEUE_SIZE / 2 - 10);
  std::string taps;
  while (taps.size() < text.size()) taps += "BC";
  EXPECT_EQ(text, taps.substr(0, text.size())) << "only taps at the end may be missing";
}
