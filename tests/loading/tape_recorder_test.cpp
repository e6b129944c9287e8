// The tape recorder: what it names a recording, how it never replaces a file, and a reset or
// a state load ending a recording.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/save_state.h"
#include "loading_fixture.h"

using namespace loading_test;

namespace {

std::vector<uint8_t> recording(const std::string& name) {
  std::vector<uint8_t> t(12, 0xFF);
  t.push_back(0x00);
  t.insert(t.end(), name.begin(), name.end());
  return t;
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(LoadingTest, RecordingsAreNamedAfterTheirTapeName) {
  auto name_of = [](const std::vector<uint8_t>& b) { return tape_file_name(b.data(), static_cast<uint32_t>(b.size())); };
  EXPECT_EQ(name_of(recording("hello ")), "HELLO");
  EXPECT_EQ(name_of(recording(std::string(" -b.9\0", 6))), "__B_9");
  EXPECT_EQ(name_of(recording(std::string("  \0   ", 6))), "TAPE");
  EXPECT_EQ(name_of(recording("SHORT")), "TAPE");
  EXPECT_EQ(name_of({0x12, 0x00, 'A', 'B', 'C', 'D', 'E', 'F'}), "TAPE");
}

TEST_F(LoadingTest, SavedTapesNeverReplaceAFileAndAResetEndsARecording) {
  const std::string tapes = program_dir + "/tapes";
  std::filesystem::create_directories(tapes);
  write_text(tapes, "HELLO.caq", "keep");
  const std::vector<uint8_t> tape = recording("HELLO ");
  for (uint8_t b : tape) tape_record_byte(b);
  SoftReset();
  EXPECT_EQ(tape_record_length, 0u);
  EXPECT_EQ(contents(tapes + "/HELLO.caq"), "keep");
  EXPECT_EQ(contents(tapes + "/HELLO-2.caq"), std::string(tape.begin(), tape.end()));
  // Nothing else is left behind, no temporary file either.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tapes), std::filesystem::directory_iterator()), 2);
  // A state loaded in the middle of a recording keeps it as a reset does.
  const std::vector<uint8_t> state = encode_state();
  const std::vector<uint8_t> later = recording("LATER ");
  for (uint8_t b : later) tape_record_byte(b);
  std::string message;
  ASSERT_EQ(decode_state(state.data(), state.size(), false, message), state_result::ok) << message;
  EXPECT_EQ(contents(tapes + "/LATER.caq"), std::string(later.begin(), later.end()));
  EXPECT_EQ(tape_record_length, 0u);
  std::filesystem::remove_all(tapes);

  std::string error;
  EXPECT_EQ(tape_save_file(dir_ + "/missing", "HELLO", tape.data(), 3, error), "");
  EXPECT_EQ(error, dir_ + "/missing/HELLO.caq: " + std::strerror(ENOENT));
}
