// The save-state reader against a real state with one field at a time moved just outside
// what the machine can reach (refused, naming the section, nothing changed) or onto the edge
// of it (loaded), and against the sections a later version may add.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "ch376/ch376.h"
#include "core/roms.h"
#include "core/save_state.h"
#include "scratch_dir.h"

namespace {

class SaveState : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string saved_cwd;
  std::vector<uint8_t> state;  // saved right after start-up with the Micro Expander on

  void SetUp() override {
    char cwd[4096];
    saved_cwd = getcwd(cwd, sizeof cwd) ? cwd : ".";
    dir.write("roms/aqubasic.rom", pattern(8192, 9));
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    Initialise_Emulator();  // the free ROMs step in
    select_MicroEx();
    ASSERT_TRUE(per_MicroEx);
    state = encode_state();
  }
  void TearDown() override {
    ch376_destroy();
    per_MicroEx = false;
    (void)chdir(saved_cwd.c_str());
  }
  // Where the body of a section starts.
  size_t body_of(const std::vector<uint8_t>& s, const char* tag) {
    for (size_t at = 12; at + 8 <= s.size(); at += 8 + (s[at + 4] | s[at + 5] << 8 | s[at + 6] << 16 | s[at + 7] << 24))
      if (!std::memcmp(&s[at], tag, 4)) return at + 8;
    ADD_FAILURE() << "no section " << tag;
    return 0;
  }
  state_result load(const std::vector<uint8_t>& s, std::string& message) {
    return decode_state(s.data(), s.size(), false, message);
  }
};

TEST_F(SaveState, EveryFieldOutsideItsRangeIsRefusedNamingItsSection) {
  // Field offsets within their section, as the state layout puts them.
  const struct {
    const char* tag;
    size_t offset;
    int width;
    uint32_t value;
    bool refused;
  } cases[] = {
      {"CPU ", 4, 1, 2, true},  {"CPU ", 6, 1, 3, true},  {"CPU ", 32, 1, 2, true},  // iff1, im, flags written
      {"CPU ", 33, 4, 71590 + 23, true}, {"CPU ", 33, 4, 71590 + 22, false},        // t-state
      {"CPU ", 37, 4, 71590, true}, {"CPU ", 41, 4, 24, true}, {"CPU ", 45, 4, 1, true},
      {"MACH", 0, 1, 3, true},  {"MACH", 1, 1, 2, true},  {"MACH", 2, 1, 2, true},  {"MACH", 3, 1, 5, true},
      {"MACH", 4, 4, 0x4000, true}, {"MACH", 4, 4, 0xFFFF, false}, {"MACH", 8, 1, 2, true},
      {"PORT", 4, 1, 2, true},  {"PORT", 5, 1, 2, true},  {"PORT", 6, 1, 0x7F, true}, {"PORT", 6, 1, 0xC0, false},
      {"AY  ", 1, 1, 0x10, true}, {"AY  ", 15, 1, 0xFE, true}, {"AY  ", 16, 1, 2, true},   // R1, R15, noise bit
      {"AY  ", 17, 1, 16, true}, {"AY  ", 18, 1, 1, true}, {"AY  ", 19, 1, 32, true},     // level, noise count
      {"AY  ", 20, 1, 4, true}, {"AY  ", 21, 1, 2, true}, {"AY  ", 22, 1, 2, true},       // envelope, tone
      {"AY  ", 25, 2, 1, true}, {"AY  ", 31, 2, 0x1000, true}, {"AY  ", 31, 2, 0x0FFF, false},
      {"AY  ", 39, 4, 0, true}, {"AY  ", 39, 4, 1u << 17, true}, {"AY  ", 47, 1, 2, true},  // noise generator
      {"AY  ", 55, 4, 15, true}, {"AY  ", 59, 4, 0xFF000051, true},                        // tick, sample period
      {"AY  ", 63, 4, 0xFFFFFFFF, true}, {"AY  ", 63, 4, 82, true}, {"AY  ", 63, 4, 81, false},
      {"AY  ", 67, 4, 17, true}, {"AY  ", 67, 4, 0xFFFFFFF0, true}, {"AY  ", 67, 4, 16, false},
      {"VID ", 0, 4, 0x123456, true}, {"VID ", 0, 4, 0xF0F0F0, false},
      {"TAPE", 0, 1, 2, true},  {"TAPE", 2, 4, 17, true},
      {"SPOL", 0, 1, 2, true},  {"SPOL", 1, 1, 1, true},  {"SPOL", 1, 1, 7, true},  {"SPOL", 2, 1, 0, true},
      {"SPOL", 2, 1, 3, true},  {"SPOL", 3, 1, 2, true},  {"SPOL", 4, 1, 2, true},  {"SPOL", 5, 1, 2, true},
      {"TREC", 0, 4, 1, true},  {"TREC", 4, 1, 1, true},
      {"USB ", 0, 1, 0x02, true}, {"USB ", 1, 1, 0x13, true}, {"USB ", 2, 1, 0x01, true}, {"USB ", 3, 1, 5, true},
      {"USB ", 261, 1, 2, true}, {"USB ", 276, 1, 1, true}, {"USB ", 277, 1, 2, true}, {"USB ", 280, 1, 1, true},
      {"USB ", 297, 1, 5, true}, {"USB ", 298, 4, 0x4000, true}, {"USB ", 302, 1, 2, true},
      {"USB ", 303, 4, 0x1234, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " +" + std::to_string(c.offset) + " = " + std::to_string(c.value));
    std::vector<uint8_t> edited = state;
    const size_t at = body_of(edited, c.tag) + c.offset;
    for (int i = 0; i < c.width; ++i) edited[at + i] = static_cast<uint8_t>(c.value >> (8 * i));
    std::string message;
    const state_result result = load(edited, message);
    if (c.refused) {
      EXPECT_EQ(result, state_result::refused);
      EXPECT_EQ(message, std::string("the save state is damaged (section ") + c.tag + ")");
      EXPECT_TRUE(encode_state() == state) << "the machine changed";
    } else {
      EXPECT_EQ(result, state_result::ok) << message;
      ASSERT_EQ(load(state, message), state_result::ok) << message;
    }
  }
}

// A section of a later version is skipped wherever it stands; a known one twice, or a section
// running past the end, is refused.
TEST_F(SaveState, UnknownSectionsAreSkipped) {
  const std::vector<uint8_t> later = {'N', 'E', 'W', 0x01, 3, 0, 0, 0, 0xFF, 0x1B, 0x0A};
  std::vector<uint8_t> at_end = state, at_start = state, twice = state, cut = state;
  at_end.insert(at_end.end(), later.begin(), later.end());
  at_start.insert(at_start.begin() + 12, later.begin(), later.end());
  const size_t ports = body_of(state, "PORT") - 8;
  twice.insert(twice.end(), state.begin() + ports, state.begin() + ports + 8 + 14);
  cut.insert(cut.end(), later.begin(), later.end() - 1);
  std::string message;
  EXPECT_EQ(load(at_end, message), state_result::ok) << message;
  EXPECT_EQ(load(at_start, message), state_result::ok) << message;
  EXPECT_EQ(load(twice, message), state_result::refused);
  EXPECT_EQ(message, "the save state is damaged (section PORT)");
  EXPECT_EQ(load(cut, message), state_result::refused);
  EXPECT_EQ(message, "the save state is truncated");
}

}  // namespace
