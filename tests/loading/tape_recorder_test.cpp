// The tape recorder: what it names a recording, how it never replaces a file, and when a
// recording ends.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "loading_fixture.h"
#include "z80/z80.h"

using namespace loading_test;

namespace {

std::vector<uint8_t> recording(const std::string& name) {
  std::vector<uint8_t> t(12, 0xFF);
  t.push_back(0x00);
  t.insert(t.end(), name.begin(), name.end());
  return t;
}

std::string name_of(const std::vector<uint8_t>& bytes) {
  return tape_file_name(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

std::string slurp_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string slurp_bytes(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

void record(const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) tape_record_byte(b);
}

}  // namespace

TEST_F(LoadingTest, RecordingsAreNamedAfterTheirTapeName) {
  EXPECT_EQ(name_of(recording("hello ")), "HELLO");
  EXPECT_EQ(name_of(recording(std::string("A-b.9\0", 6))), "A_B_9");
  EXPECT_EQ(name_of(recording(std::string(" x \0 \0", 6))), "_X");
  EXPECT_EQ(name_of(recording("      ")), "TAPE");
  EXPECT_EQ(name_of(recording("SHORT")), "TAPE");                  // five name bytes only
  EXPECT_EQ(name_of({0x12, 0x00, 'A', 'B', 'C', 'D', 'E', 'F'}), "TAPE");  // no leader, no sync
  EXPECT_EQ(name_of({0x00, 'N', 'O', 'L', 'E', 'A', 'D'}), "NOLEAD");
  EXPECT_EQ(name_of({}), "TAPE");
}

TEST_F(LoadingTest, SavedTapesNeverReplaceAFile) {
  const std::vector<uint8_t> bytes = pattern_bytes(3000, 5);
  write_text(dir_, "HELLO.caq", "keep");
  write_text(dir_, "HELLO-2.caq", "keep too");
  std::string error;
  EXPECT_EQ(tape_save_file(dir_, "HELLO", bytes.data(), 3000, error), "HELLO-3.caq") << error;
  EXPECT_EQ(tape_save_file(dir_, "HELLO", bytes.data(), 3000, error), "HELLO-4.caq") << error;
  EXPECT_EQ(slurp_file(dir_ + "/HELLO.caq"), "keep");
  EXPECT_EQ(slurp_file(dir_ + "/HELLO-2.caq"), "keep too");
  EXPECT_EQ(slurp_file(dir_ + "/HELLO-3.caq"), std::string(bytes.begin(), bytes.end()));
  // Only the saved files are left: no temporary one.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 4);

  EXPECT_EQ(tape_save_file(dir_ + "/missing", "HELLO", bytes.data(), 3000, error), "");
  EXPECT_EQ(error, dir_ + "/missing/HELLO.caq: " + std::strerror(ENOENT));
}

TEST_F(LoadingTest, ARecordingEndsAfterAQuietSecondOrAReset) {
  const std::string tapes = program_dir + "/tapes";
  std::filesystem::remove_all(tapes);
  record(recording("QUIET1"));
  // 49 frames are less than a second of the 3.579545 MHz clock; by 52 the file is there.
  for (int i = 0; i < 49; ++i) one_Z80_frame();
  EXPECT_FALSE(std::filesystem::exists(tapes + "/QUIET1.caq"));
  EXPECT_GT(tape_record_length, 0u);
  for (int i = 0; i < 3; ++i) one_Z80_frame();
  EXPECT_EQ(slurp_file(tapes + "/QUIET1.caq"), slurp_bytes(recording("QUIET1")));
  EXPECT_EQ(tape_record_length, 0u);

  // A byte restarts the count; a soft reset saves at once.
  record(recording("RESET1"));
  for (int i = 0; i < 40; ++i) one_Z80_frame();
  tape_record_byte(0x42);
  for (int i = 0; i < 40; ++i) one_Z80_frame();
  EXPECT_FALSE(std::filesystem::exists(tapes + "/RESET1.caq"));
  SoftReset();
  std::vector<uint8_t> expected = recording("RESET1");
  expected.push_back(0x42);
  EXPECT_EQ(slurp_file(tapes + "/RESET1.caq"), slurp_bytes(expected));
  std::filesystem::remove_all(tapes);
}

TEST_F(LoadingTest, OnlyTheSystemRomsWriterIsTrapped) {
  // PUSH AF at 0x1B8A of the system ROM (the free ROM's writer) with a return address on the stack.
  z80.sp = 0x3900;
  ram[0x3900] = 0x34;
  ram[0x3901] = 0x12;
  z80.af.w = 0xA5C3;
  z80.pc = 0x1B8A;
  const uint32_t before = t_state;
  One_Z80_Instruction();
  EXPECT_EQ(z80.pc, 0x1234);
  EXPECT_EQ(z80.sp, 0x3902);
  EXPECT_EQ(t_state - before, 21u);
  ASSERT_EQ(tape_record_length, 1u);
  EXPECT_EQ(tape_record[0], 0xA5);

  // The same address in RAM (a page table without the ROM in page 0) is an ordinary PUSH AF.
  uint8_t* rom_page = Page_RAM[0];
  uint8_t page[8192] = {};
  page[0x1B8A] = 0xF5;
  Page_RAM[0] = page;
  z80.pc = 0x1B8A;
  z80.sp = 0x3900;
  One_Z80_Instruction();
  Page_RAM[0] = rom_page;
  EXPECT_EQ(z80.pc, 0x1B8B);
  EXPECT_EQ(z80.sp, 0x38FE);
  EXPECT_EQ(tape_record_length, 1u);
}
