// The key spooler: its character table, its frame cadence, and its starters.
#include <cstring>
#include <functional>
#include <utility>

#include "loading_fixture.h"
#include "spool_expect.h"

using namespace loading_test;

TEST_F(LoadingTest, CharacterTableFollowsTheKeyLegends) {
  auto keys = expected_keys();
  ASSERT_EQ(keys.size(), 89u);
  int typeable = 0;
  for (int c = 0; c < 256; ++c) {
    uint8_t byte = static_cast<uint8_t>(c);
    // Another key held beforehand (column 3 bit 5) shows whether a stroke leaves other bits alone.
    for (uint8_t& column : keyboard_map) column = 0xFF;
    keyboard_map[3] = 0xDF;
    ASSERT_TRUE(spool_start(&byte, 1, 2, 1));
    read_spool_file();
    std::vector<uint8_t> want = matrix_for(keys, byte);
    if (keys.count(byte)) {
      ++typeable;
      want[3] &= 0xDF;
    }
    EXPECT_EQ(current_matrix(), want) << "byte 0x" << std::hex << c;
    spool_key k = spool_key_for(byte);
    EXPECT_EQ(k.column != 0xFF, keys.count(byte) == 1) << c;
    read_spool_file();  // ends it
    ASSERT_FALSE(spool_file);
  }
  EXPECT_EQ(typeable, 89);
  // A capital A, a small b and a line feed: SHIFT with A, B alone, RETURN.
  EXPECT_EQ(matrix_for(keys, 'A')[7], 0xEF);
  EXPECT_EQ(matrix_for(keys, 'A')[6], 0xDF);
  EXPECT_EQ(matrix_for(keys, 'b')[3], 0xDF);
  EXPECT_EQ(matrix_for(keys, 'b')[7], 0xFF);
  EXPECT_EQ(matrix_for(keys, '\n')[0], 0xF7);
}

TEST_F(LoadingTest, PastedTextGetsTheEndMarker) {
  aqua_arch_get_spool_file("Run");
  ASSERT_TRUE(spool_file);
  EXPECT_EQ(spool_speed, 6);
  EXPECT_EQ(spool_len, 4u);
  EXPECT_EQ(speed, 1);
  EXPECT_EQ(0, std::memcmp(aqua_txt, "Run\x7F", 4));
  // A long paste (past any short-text buffer) is copied whole.
  std::string long_text(5000, 'q');
  long_text[4999] = 'z';
  aqua_arch_get_spool_file(long_text.c_str());
  EXPECT_EQ(spool_len, 5001u);
  EXPECT_EQ(aqua_txt[4999], 'z');
  EXPECT_EQ(aqua_txt[5000], 0x7F);
  // An empty clipboard gives no text: the running spool is not touched.
  aqua_arch_get_spool_file(nullptr);
  EXPECT_EQ(spool_len, 5001u);
}

namespace {

// Runs frame ends 1..last, the ROM reading the keyboard during frame e when scanned(e); returns
// the keys pressed, each with the frame end that pressed it. Checks the spool's speed and sound.
std::vector<std::pair<uint32_t, char>> autoload_presses(uint32_t last, const std::function<bool(uint32_t)>& scanned) {
  auto keys = expected_keys();
  std::vector<std::pair<uint32_t, char>> presses;
  for (uint32_t e = 1; e <= last && spool_file; ++e) {
    if (scanned(e)) keyboard_scan(0x00);
    frame_end();
    EXPECT_EQ(speed, 0);
    EXPECT_EQ(snd_sound, spool_file ? 0 : 1);
    for (char c : std::string("\ncloda"))
      if (current_matrix() == matrix_for(keys, static_cast<uint8_t>(c))) presses.push_back({e, c});
  }
  return presses;
}

}  // namespace

TEST_F(LoadingTest, AutoloadPassesThePowerOnScreenAndWaitsForTheKeyboard) {
  caq_autoload = true;
  speed = 1;
  snd_sound = 1;
  ASSERT_EQ(do_load_file(write_file(dir_, "prog.caq", {0xFF, 0x00})), 0);
  ASSERT_TRUE(spool_file);
  EXPECT_EQ(spool_speed, 2);
  // RETURN, then nothing while the ROM sets up (no keyboard read) or has read it in fewer than
  // ten frames in a row; then the word, RETURN for the command line and RETURN for "Press
  // RETURN key to start", one key every two frames, all unshifted. Read in frames 37..46, ten in
  // a row: the next stroke is the word's first key. A machine that never reads its keyboard (a
  // program that takes no keys) gets the command five seconds (250 frames) after
  // the RETURN.
  const struct { std::function<bool(uint32_t)> scanned; uint32_t first_after; } cases[] = {
      {[](uint32_t e) { return (e >= 31 && e <= 35) || e >= 37; }, 46}, {[](uint32_t) { return false; }, 2 + 250}};
  for (const auto& c : cases) {
    if (!spool_file) start_autoload();
    const auto presses = autoload_presses(400, c.scanned);
    const std::string typed = "\ncload\n\n";
    ASSERT_EQ(presses.size(), typed.size());
    EXPECT_EQ(presses[0].first, 2u);
    EXPECT_GT(presses[1].first, c.first_after);
    EXPECT_LE(presses[1].first, c.first_after + 2);
    for (size_t i = 0; i < typed.size(); ++i) {
      EXPECT_EQ(presses[i].second, typed[i]) << i;
      EXPECT_TRUE(i < 2 || presses[i].first == presses[i - 1].first + 2) << i;
    }
    EXPECT_FALSE(spool_file);
  }

  // Only the autoload types a carriage return as RETURN; in any other text it is an all-up stroke.
  const uint8_t cr = 0x0D;
  ASSERT_TRUE(spool_start(&cr, 1, 2, 1));
  read_spool_file();
  EXPECT_EQ(current_matrix(), std::vector<uint8_t>(8, 0xFF));
  read_spool_file();

  // Autoload off: inserting types nothing.
  caq_autoload = false;
  ASSERT_EQ(do_load_file(write_file(dir_, "prog2.caq", {0xFF})), 0);
  EXPECT_FALSE(spool_file);
  // The menu item flips the switch.
  select_autoload();
  EXPECT_TRUE(caq_autoload);
  select_autoload();
  EXPECT_FALSE(caq_autoload);
}

TEST_F(LoadingTest, NewSpoolReplacesARunningOne) {
  auto keys = expected_keys();
  snd_sound = 1;
  const uint8_t first[] = {'a', 'b', 'c', 'd'};
  ASSERT_TRUE(spool_start(first, 4, 6, 1));
  for (int e = 1; e <= 7; ++e) frame_end();  // 'a' went down at 6
  ASSERT_EQ(current_matrix(), matrix_for(keys, 'a'));
  const uint8_t second[] = {'x', 'y'};
  ASSERT_TRUE(spool_start(second, 2, 2, 1));
  EXPECT_EQ(spool_len, 2u);
  EXPECT_EQ(spool_count, 0u);
  // The new text runs its own lead-in: release at 1, x at 2, y at 4, end at 6.
  frame_end();
  EXPECT_EQ(current_matrix(), matrix_for(keys, 0));
  frame_end();
  EXPECT_EQ(current_matrix(), matrix_for(keys, 'x'));
  frame_end();
  frame_end();
  EXPECT_EQ(current_matrix(), matrix_for(keys, 'y'));
  frame_end();
  EXPECT_TRUE(spool_file);
  frame_end();
  EXPECT_FALSE(spool_file);
  // The sound comes back as it was before the first spool, not the muted state in between.
  EXPECT_EQ(snd_sound, 1);
  EXPECT_EQ(aqua_txt, nullptr);
}
