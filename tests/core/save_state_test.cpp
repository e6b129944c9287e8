// The save-state reader against a real state (Micro Expander on) with one field at a time put
// just outside what the machine can reach (refused naming the section, nothing changed) or on
// the edge of it (loaded), and with sections a later version may add.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "ch376/ch376.h"
#include "core/roms.h"
#include "core/save_state.h"
#include "scratch_dir.h"

namespace {

class SaveState : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string saved_cwd = std::filesystem::current_path().string();
  std::vector<uint8_t> state;
  std::string message;

  void SetUp() override {
    dir.write("roms/aqubasic.rom", pattern(8192, 9));
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    Initialise_Emulator();  // the free ROMs step in
    select_MicroEx();
    state = encode_state();
  }
  void TearDown() override {
    ch376_destroy();
    per_MicroEx = false;
    (void)chdir(saved_cwd.c_str());
  }
  size_t body_of(const char* tag) {
    size_t at = 12;
    while (at + 8 < state.size() && std::memcmp(&state[at], tag, 4))
      at += 8 + (state[at + 4] | state[at + 5] << 8 | state[at + 6] << 16 | state[at + 7] << 24);
    return at + 8;
  }
  state_result load(const std::vector<uint8_t>& s) { return decode_state(s.data(), s.size(), false, message); }
};

TEST_F(SaveState, EveryFieldOutsideItsRangeIsRefusedNamingItsSection) {
  // Offsets within the section's body as the layout puts them; last: refused or on the edge.
  const struct { const char* tag; size_t at; int width; uint32_t value; bool refused; } cases[] = {
      {"CPU ", 4, 1, 2, 1}, {"CPU ", 6, 1, 3, 1}, {"CPU ", 32, 1, 2, 1}, {"CPU ", 33, 4, 71590 + 23, 1},
      {"CPU ", 33, 4, 71590 + 22, 0}, {"CPU ", 37, 4, 71590, 1}, {"CPU ", 41, 4, 24, 1}, {"CPU ", 45, 4, 1, 1},
      {"MACH", 0, 1, 3, 1}, {"MACH", 1, 1, 2, 1}, {"MACH", 2, 1, 2, 1}, {"MACH", 3, 1, 5, 1},
      {"MACH", 4, 4, 0x4000, 1}, {"MACH", 4, 4, 0xFFFF, 0}, {"MACH", 8, 1, 2, 1},
      {"PORT", 4, 1, 2, 1}, {"PORT", 5, 1, 2, 1}, {"PORT", 6, 1, 0x7F, 1}, {"PORT", 6, 1, 0xC0, 0},
      {"AY  ", 1, 1, 0x10, 1}, {"AY  ", 15, 1, 0xFE, 1}, {"AY  ", 16, 1, 2, 1}, {"AY  ", 17, 1, 16, 1},
      {"AY  ", 18, 1, 1, 1}, {"AY  ", 19, 1, 32, 1}, {"AY  ", 20, 1, 4, 1}, {"AY  ", 21, 1, 2, 1},
      {"AY  ", 22, 1, 2, 1}, {"AY  ", 25, 2, 1, 1}, {"AY  ", 31, 2, 0x1000, 1}, {"AY  ", 31, 2, 0x0FFF, 0},
      {"AY  ", 39, 4, 0, 1}, {"AY  ", 39, 4, 1u << 17, 1}, {"AY  ", 47, 1, 2, 1},  // noise generator
      {"AY  ", 55, 4, 15, 1}, {"AY  ", 59, 4, 0xFF000051, 1}, {"AY  ", 63, 4, 0xFFFFFFFF, 1},  // clocks
      {"AY  ", 63, 4, 82, 1}, {"AY  ", 63, 4, 81, 0}, {"AY  ", 67, 4, 17, 1}, {"AY  ", 67, 4, 0xFFFFFFF0, 1},
      {"AY  ", 67, 4, 16, 0}, {"SCLK", 0, 4, 44100, 1}, {"SCLK", 0, 4, 44099, 0}, {"VID ", 0, 4, 0x123456, 1}, {"VID ", 0, 4, 0xF0F0F0, 0},
      {"TAPE", 0, 1, 2, 1}, {"TAPE", 2, 4, 17, 1}, {"SPOL", 0, 1, 2, 1}, {"SPOL", 1, 1, 1, 1},
      {"SPOL", 1, 1, 7, 1}, {"SPOL", 2, 1, 0, 1}, {"SPOL", 2, 1, 3, 1}, {"SPOL", 3, 1, 2, 1},
      {"SPOL", 4, 1, 2, 1}, {"SPOL", 5, 1, 2, 1}, {"SPOL", 10, 2, 11, 1}, {"SPOL", 12, 2, 251, 1},
      {"SPOL", 12, 2, 250, 0}, {"TREC", 0, 4, 1, 1}, {"TREC", 4, 1, 1, 1},
      {"USB ", 0, 1, 0x02, 1}, {"USB ", 1, 1, 0x13, 1}, {"USB ", 2, 1, 0x01, 1}, {"USB ", 3, 1, 5, 1},
      {"USB ", 261, 1, 2, 1}, {"USB ", 276, 1, 1, 1}, {"USB ", 277, 1, 2, 1}, {"USB ", 280, 1, 1, 1},
      {"USB ", 297, 1, 5, 1}, {"USB ", 298, 4, 0x4000, 1}, {"USB ", 302, 1, 2, 1}, {"USB ", 303, 4, 0x1234, 1},
      {"PRNT", 0, 4, 0, 1}, {"PRNT", 0, 4, 3001, 1}, {"PRNT", 4, 1, 41, 1}, {"PRNT", 5, 1, 41, 1}, {"PRNT", 5, 1, 40, 0},
      {"PRNT", 14, 1, 2, 1}, {"PRNT", 15, 1, 3, 1}, {"PRNT", 24, 1, 11, 1}, {"PRNT", 24, 1, 10, 0}, {"PRNT", 26, 4, 2319, 1},
      {"PRNT", 30, 4, 3481, 1}, {"PRNT", 30, 4, 3480, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " +" + std::to_string(c.at) + " = " + std::to_string(c.value));
    std::vector<uint8_t> edited = state;
    for (int i = 0; i < c.width; ++i) edited[body_of(c.tag) + c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
    if (c.refused) {
      EXPECT_EQ(load(edited), state_result::refused);
      EXPECT_EQ(message, std::string("the save state is damaged (section ") + c.tag + ")");
      EXPECT_TRUE(encode_state() == state) << "the machine changed";
    } else {
      EXPECT_EQ(load(edited), state_result::ok) << message;
      ASSERT_EQ(load(state), state_result::ok) << message;
    }
  }
}

// A section of a later version is skipped wherever it stands; a known one twice, or one
// running past the end, is refused.
TEST_F(SaveState, UnknownSectionsAreSkipped) {
  const std::vector<uint8_t> later = {'N', 'E', 'W', 0x01, 3, 0, 0, 0, 0xFF, 0x1B, 0x0A};
  std::vector<uint8_t> at_end = state, at_start = state, twice = state, cut = state;
  at_end.insert(at_end.end(), later.begin(), later.end());
  at_start.insert(at_start.begin() + 12, later.begin(), later.end());
  twice.insert(twice.end(), state.begin() + body_of("PORT") - 8, state.begin() + body_of("PORT") + 14);
  cut.insert(cut.end(), later.begin(), later.end() - 1);
  EXPECT_EQ(load(at_end), state_result::ok) << message;
  EXPECT_EQ(load(at_start), state_result::ok) << message;
  EXPECT_EQ(load(twice), state_result::refused);
  EXPECT_EQ(message, "the save state is damaged (section PORT)");
  EXPECT_EQ(load(cut), state_result::refused);
  EXPECT_EQ(message, "the save state is truncated");
  // States saved before the sample clock's fraction was kept (no SCLK section) still load.
  std::vector<uint8_t> without_fraction = state;
  without_fraction.erase(without_fraction.begin() + body_of("SCLK") - 8, without_fraction.begin() + body_of("SCLK") + 4);
  EXPECT_EQ(load(without_fraction), state_result::ok) << message;
  // Nor do those saved before the printer (no PRNT section).
  std::vector<uint8_t> without_printer = state;
  without_printer.erase(without_printer.begin() + body_of("PRNT") - 8, without_printer.begin() + body_of("PRNT") + 42);
  EXPECT_EQ(load(without_printer), state_result::ok) << message;
}

}  // namespace
