// What the key spooler should do, worked out from the machine's key legends and the stroke
// rule rather than from the spooler's own tables.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/frame.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "sound/audio_out.h"

namespace loading_test {

struct MatrixKey {
  int column;
  int bit;
  bool shift;
};

// The typeable characters, transcribed from the machine's key legends: each non-letter with
// its matrix position and whether SHIFT is needed; letters follow from the matrix layout.
inline std::map<uint8_t, MatrixKey> expected_keys() {
  std::map<uint8_t, MatrixKey> keys = {
      {'=', {0, 0, false}}, {'+', {0, 0, true}},  {'\\', {0, 1, true}}, {':', {0, 2, false}},
      {'*', {0, 2, true}},  {'\n', {0, 3, false}}, {';', {0, 4, false}}, {'@', {0, 4, true}},
      {'.', {0, 5, false}}, {'>', {0, 5, true}},  {'-', {1, 0, false}}, {'_', {1, 0, true}},
      {'/', {1, 1, false}}, {'^', {1, 1, true}},  {'0', {1, 2, false}}, {'?', {1, 2, true}},
      {',', {1, 5, false}}, {'<', {1, 5, true}},  {'9', {2, 0, false}}, {')', {2, 0, true}},
      {'8', {3, 0, false}}, {'(', {3, 0, true}},  {'7', {3, 2, false}}, {'\'', {3, 2, true}},
      {'6', {4, 0, false}}, {'&', {4, 0, true}},  {'5', {5, 0, false}}, {'%', {5, 0, true}},
      {'4', {5, 2, false}}, {'$', {5, 2, true}},  {'3', {6, 0, false}}, {'#', {6, 0, true}},
      {' ', {6, 4, false}}, {'2', {7, 0, false}}, {'"', {7, 0, true}},  {'1', {7, 2, false}},
      {'!', {7, 2, true}},
  };
  // Letter keys by column and bit (bits without a letter are '.').
  const char* letters[8] = {"......", "...pl.", ".okmnj", ".i.uhb", ".ygvcf", ".t.rdx", ".esz.a", ".w.q.."};
  for (int column = 0; column < 8; ++column) {
    for (int bit = 0; bit < 6; ++bit) {
      char c = letters[column][bit];
      if (c == '.') continue;
      keys[static_cast<uint8_t>(c)] = {column, bit, false};
      keys[static_cast<uint8_t>(c - 'a' + 'A')] = {column, bit, true};
    }
  }
  return keys;
}

// The matrix a lone stroke of character c leaves (from all keys up).
inline std::vector<uint8_t> matrix_for(const std::map<uint8_t, MatrixKey>& keys, uint8_t c) {
  std::vector<uint8_t> m(8, 0xFF);
  auto it = keys.find(c);
  if (it == keys.end()) return m;
  m[it->second.column] &= static_cast<uint8_t>(~(1 << it->second.bit));
  if (it->second.shift) m[7] &= static_cast<uint8_t>(~(1 << 4));
  return m;
}

inline std::vector<uint8_t> current_matrix() { return std::vector<uint8_t>(keyboard_map, keyboard_map + 8); }

// What the frame step does at every frame end.
inline void frame_end() {
  if (spool_file) spool_cadence();
}

// Checks a spool frame end by frame end against the stroke rule: with stroke k, frame end k-1
// releases everything, character i is pressed at k*i and released at k*i + k - 1, and the
// spool ends at k*(n+1). The matrix starts with RETURN held, as the text loaders leave it.
inline void check_cadence(const std::string& text, uint8_t stroke, uint8_t speed_flag,
                          const std::function<void()>& step = frame_end) {
  auto keys = expected_keys();
  std::vector<uint8_t> start(8, 0xFF);
  start[0] = 0xF7;
  std::memcpy(keyboard_map, start.data(), 8);
  snd_sound = 1;
  ASSERT_TRUE(spool_start(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                          stroke, speed_flag));
  const uint32_t n = static_cast<uint32_t>(text.size());
  const uint32_t k = stroke;
  const uint32_t last = k * (n + 1);
  for (uint32_t e = 1; e <= last + 3; ++e) {
    step();
    std::vector<uint8_t> want(8, 0xFF);
    if (e < k - 1) want = start;
    for (uint32_t i = 1; i <= n; ++i) {
      if (e >= k * i && e < k * i + k - 1) want = matrix_for(keys, static_cast<uint8_t>(text[i - 1]));
    }
    ASSERT_EQ(current_matrix(), want) << "stroke " << k << ", frame end " << e;
    ASSERT_EQ(spool_file, e < last) << "frame end " << e;
    // Sound is muted and the speed flag as chosen until the end, then sound back and speed off.
    ASSERT_EQ(snd_sound, e < last ? 0 : 1) << "frame end " << e;
    ASSERT_EQ(speed, e < last ? speed_flag : 0) << "frame end " << e;
  }
}

}  // namespace loading_test
