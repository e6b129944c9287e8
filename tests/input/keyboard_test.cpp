// The keyboard matrix and the two host key tables, checked against the machine's key layout
// as the hardware documentation tabulates it (transcribed here, not taken from the program).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/config.h"
#include "input/host_keys.h"
#include "input/keyboard.h"

namespace {

// One row of the documented layout: matrix column and bit, and the host keys that reach it.
struct documented_key {
  int column, bit;
  std::vector<int> native_keys, pi_keys;
};

const std::vector<documented_key> symbol_rows = {
    {0, 0, {'+', '='}, {'+', '='}},
    {0, 1, {0x08, ']', '}', 0xFF}, {0x08, '\\', 0xFF}},
    {0, 2, {'\'', '@', '~'}, {'*', ':'}},
    {0, 3, {0x0D}, {0x0D}},
    {0, 4, {':', ';'}, {';', '@'}},
    {0, 5, {'.', '>'}, {'.', '>'}},
    {1, 0, {'-', '_'}, {'-', '_'}},
    {1, 1, {'[', '{'}, {'/', '^'}},
    {1, 2, {')', '0'}, {'0', '?'}},
    {1, 5, {',', '<'}, {',', '<'}},
    {2, 0, {'(', '9'}, {')', '9'}},
    {3, 0, {'*', '8'}, {'(', '8'}},
    {3, 2, {'&', '7'}, {'\'', '7'}},
    {4, 0, {'6', '^'}, {'&', '6'}},
    {5, 0, {'%', '5'}, {'%', '5'}},
    {5, 2, {'$', '4'}, {'$', '4'}},
    {6, 0, {'3', 0xA3}, {'#', '3'}},
    {6, 4, {' '}, {' '}},
    {7, 0, {'"', '2'}, {'"', '2'}},
    {7, 2, {'!', '1'}, {'!', '1'}},
    {7, 4, {0xE1, 0xE2}, {0xE1, 0xE2}},
    {7, 5, {0xE3, 0xE4}, {0xE3, 0xE4}},
};

// The letters of the matrix picture, column by column, bits 0 to 5 ('.' = not a letter).
const char* const letter_matrix[8] = {
    "......", "...PL.", ".OKMNJ", ".I.UHB", ".YGVCF", ".T.RDX", ".ESZ.A", ".W.Q..",
};

struct expected_entry {
  int column, bit;
};

std::map<int, expected_entry> expected_table(bool pi) {
  std::map<int, expected_entry> table;
  for (int column = 0; column < 8; ++column)
    for (int bit = 0; bit < 6; ++bit) {
      char letter = letter_matrix[column][bit];
      if (letter == '.') continue;
      table[letter] = {column, bit};
      table[letter - 'A' + 'a'] = {column, bit};
    }
  for (const documented_key& row : symbol_rows)
    for (int key : pi ? row.pi_keys : row.native_keys) table[key] = {row.column, row.bit};
  return table;
}

void check_table(const keyboard_entry* table, bool pi) {
  const std::map<int, expected_entry> expected = expected_table(pi);
  ASSERT_EQ(expected.size(), pi ? 95u : 97u);  // 52 letters + 43 or 45 symbol keys
  for (int index = 0; index < 256; ++index) {
    SCOPED_TRACE(std::string(pi ? "PI" : "NATIVE") + " index " + std::to_string(index));
    const keyboard_entry& entry = table[index];
    auto found = expected.find(index);
    if (found == expected.end()) {
      EXPECT_EQ(entry.column, 0xFF);
      EXPECT_EQ(entry.press_mask, 0xFF);
      EXPECT_EQ(entry.release_mask, 0xFF);
      EXPECT_EQ(entry.key_char, 0x00);
      continue;
    }
    EXPECT_EQ(entry.column, found->second.column);
    EXPECT_EQ(entry.release_mask, 1 << found->second.bit);
    EXPECT_EQ(entry.press_mask, static_cast<uint8_t>(~(1 << found->second.bit)));
  }
}

void release_everything() { std::memset(keyboard_map, 0xFF, sizeof keyboard_map); }

void use_layout(bool pi) {
  keyboard_mode = pi;
  select_keyboard_table();
  release_everything();
}

// GDK key values: Latin-1 characters are their own code, the function keys 0xFFxx.
constexpr uint32_t GDK_SHIFT_L = 0xFFE1, GDK_BACKSPACE = 0xFF08, GDK_RETURN = 0xFF0D, GDK_DELETE = 0xFFFF;
constexpr uint32_t GDK_LEFT = 0xFF51, GDK_UP = 0xFF52, GDK_RIGHT = 0xFF53, GDK_DOWN = 0xFF54;

bool held(int column, int bit) { return !(keyboard_map[column] & (1 << bit)); }

}  // namespace

TEST(KeyboardTables, EveryIndexOfBothLayoutsMatchesTheDocumentedLayout) {
  check_table(native_keyboard_read, false);
  check_table(pi_keyboard_read, true);
}

TEST(KeyboardMatrix, ScanAndsTheColumnsWhoseSelectBitIsLow) {
  use_layout(false);
  const uint8_t state[8] = {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xFF, 0xDE};
  std::memcpy(keyboard_map, state, 8);
  for (int select = 0; select < 256; ++select) {
    uint8_t expected = 0xFF;
    for (int column = 0; column < 8; ++column)
      if (((select >> column) & 1) == 0) expected &= state[column];
    EXPECT_EQ(keyboard_scan(static_cast<uint8_t>(select)), expected) << "select " << select;
  }
  EXPECT_EQ(keyboard_scan(0xFF), 0xFF);
  EXPECT_EQ(keyboard_scan(0xFE), 0xFE);
  EXPECT_EQ(keyboard_scan(0x7F), 0xDE);
  EXPECT_EQ(keyboard_scan(0x00), 0xFE & 0xFD & 0xFB & 0xF7 & 0xEF & 0xDF & 0xDE);
}

TEST(KeyboardMatrix, PressAndReleaseThroughTheNativeTable) {
  use_layout(false);
  // Host Shift+9 on a layout where it gives '(': SHIFT and the 9 key (the machine's ')').
  keyboard_press(GDK_SHIFT_L);
  keyboard_press('(');
  EXPECT_TRUE(held(7, 4));
  EXPECT_TRUE(held(2, 0));
  keyboard_release('(');
  keyboard_release(GDK_SHIFT_L);
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF) << column;

  keyboard_press(GDK_RETURN);
  keyboard_press(GDK_BACKSPACE);
  keyboard_press('a');
  EXPECT_EQ(keyboard_map[0], 0xFF & ~0x08 & ~0x02);
  EXPECT_EQ(keyboard_map[6], 0xFF & ~0x20);
  // Auto-repeat presses again without a release: the same bit, nothing else.
  keyboard_press('a');
  EXPECT_EQ(keyboard_map[6], 0xFF & ~0x20);
  keyboard_release(GDK_RETURN);
  keyboard_release(GDK_BACKSPACE);
  EXPECT_EQ(keyboard_map[0], 0xFF);
  keyboard_release('A');  // the release arrives upper-case when Shift went down in between
  EXPECT_EQ(keyboard_map[6], 0xFF);
  keyboard_press(GDK_DELETE);
  EXPECT_TRUE(held(0, 1));
  keyboard_release(GDK_DELETE);

  // Unmapped keys change nothing on press or release.
  for (uint32_t key : {0xFFBFu, 0xFFC1u, 0xFFC9u, static_cast<uint32_t>('|'), static_cast<uint32_t>('`')}) {
    keyboard_press(key);
    keyboard_release(key);
  }
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF) << column;
}

TEST(KeyboardMatrix, CursorKeysShareTheLowByteOfQRST) {
  use_layout(false);
  const struct {
    uint32_t key;
    int column, bit;
  } cursor[] = {{GDK_LEFT, 7, 3}, {GDK_UP, 5, 3}, {GDK_RIGHT, 6, 2}, {GDK_DOWN, 5, 1}};
  for (const auto& c : cursor) {
    keyboard_press(c.key);
    EXPECT_TRUE(held(c.column, c.bit)) << std::hex << c.key;
    keyboard_release(c.key);
    EXPECT_EQ(keyboard_map[c.column], 0xFF) << std::hex << c.key;
  }
}

TEST(KeyboardMatrix, PiLayoutSuppliesAndSuppressesShift) {
  use_layout(true);
  // Host Shift+9 gives '(': the machine's '(' is SHIFT+8.
  keyboard_press(GDK_SHIFT_L);
  keyboard_press('(');
  EXPECT_TRUE(held(7, 4));
  EXPECT_TRUE(held(3, 0));
  EXPECT_FALSE(held(2, 0));
  keyboard_release('(');
  keyboard_release(GDK_SHIFT_L);

  // Host Shift+; gives ':': the machine's ':' is unshifted, so column 7 reads all up.
  release_everything();
  keyboard_press(GDK_SHIFT_L);
  keyboard_press(':');
  EXPECT_TRUE(held(0, 2));
  EXPECT_EQ(keyboard_map[7], 0xFF);
  keyboard_release(':');
  EXPECT_FALSE(held(0, 2));

  // '#', apostrophe and '@' press SHIFT with their key.
  release_everything();
  keyboard_press('#');
  EXPECT_TRUE(held(6, 0));
  EXPECT_TRUE(held(7, 4));
  keyboard_release('#');
  EXPECT_EQ(keyboard_map[6], 0xFF);
  EXPECT_EQ(keyboard_map[7], 0xFF);

  keyboard_press('\'');
  EXPECT_TRUE(held(7, 4));
  EXPECT_TRUE(held(3, 2));
  keyboard_press(';');  // the apostrophe's release also lets go of ';'
  keyboard_release('\'');
  EXPECT_EQ(keyboard_map[7], 0xFF);
  EXPECT_EQ(keyboard_map[3], 0xFF);
  EXPECT_EQ(keyboard_map[0], 0xFF);

  keyboard_press('@');
  EXPECT_TRUE(held(7, 4));
  EXPECT_TRUE(held(0, 4));
  keyboard_map[0] &= ~0x04;  // ':' down as well
  keyboard_release('@');
  EXPECT_EQ(keyboard_map[0], 0xFF);
  EXPECT_EQ(keyboard_map[7], 0xFF);

  // ';' releases ':' too.
  keyboard_press(':');
  keyboard_press(';');
  keyboard_release(';');
  EXPECT_EQ(keyboard_map[0], 0xFF);

  // Shift+/ gives '?' (the 0 key); Shift let go first, so the release comes as '/'.
  release_everything();
  keyboard_press(GDK_SHIFT_L);
  keyboard_press('?');
  EXPECT_TRUE(held(1, 2));
  keyboard_release(GDK_SHIFT_L);
  keyboard_release('/');
  EXPECT_EQ(keyboard_map[1], 0xFF);
  EXPECT_EQ(keyboard_map[7], 0xFF);
}

// Taps faster than the frames, the same key twice in a row among them: each reaches the matrix
// alone, held for the frames the ROM needs, with a frame up between. (The real X events, the
// focus loss, the keys the machine lacks and the keypad are driven in tests/ui/end_to_end.sh.)
TEST(HostKeys, QuickTapsAreEachHeldTwoFramesAndTappedApart) {
  use_layout(false);
  release_all_host_keys();
  constexpr uint16_t KC_A = 38, KC_S = 39;
  for (int tap = 0; tap < 20; ++tap) {
    host_key_down(tap % 4 < 2 ? KC_A : KC_S, tap % 4 < 2 ? 'a' : 's');
    host_key_up(tap % 4 < 2 ? KC_A : KC_S);
  }
  int presses = 0, frames_down = 0, shortest = 99;
  for (int frame = 0; frame < 100; ++frame) {
    const bool down = held(6, 5) || held(6, 2);
    EXPECT_FALSE(held(6, 5) && held(6, 2)) << "two taps at once in frame " << frame;
    frames_down += down;
    host_keys_frame();
    if (down && !held(6, 5) && !held(6, 2)) {
      ++presses;
      shortest = std::min(shortest, frames_down);
      frames_down = 0;
    }
  }
  EXPECT_EQ(presses, 20);
  EXPECT_GE(shortest, MIN_HOLD_FRAMES);
}
