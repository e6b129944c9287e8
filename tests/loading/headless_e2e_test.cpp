// vantorel-headless end to end: cassettes, typed text and cartridges on the built-in ROM, and
// bad files refused without harm.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "headless_run.h"
#include "scratch_files.h"
#include "tape_image.h"
#include "test_cartridges.h"

using namespace loading_test;

namespace {

// Runs vantorel-headless on the program directory dir.
RunResult run_headless(const std::string& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {"--dir", dir});
  return run_headless_in(dir, std::move(args));
}

std::string hex_byte(uint8_t b) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

class HeadlessLoading : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = make_scratch_dir(); }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string dir_;
};

}  // namespace

TEST_F(HeadlessLoading, CassetteLoadsThroughTheRomsOwnLoader) {
  std::string tape = write_file(dir_, "demo.caq", tape_image("DEMO01"));
  RunResult autoload = run_headless(dir_, {"--load", tape, "--autoload", "--frames", "150", "--screen-text"});
  ASSERT_EQ(autoload.status, 0) << autoload.err;
  EXPECT_NE(autoload.out.find("LOADED DEMO01"), std::string::npos) << autoload.out;
  EXPECT_NE(autoload.out.find(tape_line()), std::string::npos) << autoload.out;

  RunResult typed = run_headless(dir_, {"--load", tape, "--type", "CLOAD\n\n", "--frames", "200", "--screen-text"});
  ASSERT_EQ(typed.status, 0) << typed.err;
  EXPECT_NE(typed.out.find(tape_line()), std::string::npos) << typed.out;

  // Inserted but never asked for: nothing is read.
  RunResult idle = run_headless(dir_, {"--load", tape, "--frames", "150", "--screen-text"});
  ASSERT_EQ(idle.status, 0);
  EXPECT_EQ(idle.out.find("TAPE PROGRAM RAN"), std::string::npos) << idle.out;
}

// The free ROM's CSAVE writes the block CLOAD read in the layout it was read in (12-byte
// leaders), so the recording of a tape without trailer is that tape again.
TEST_F(HeadlessLoading, CsaveRecordsTheLoadedTapeByteForByte) {
  const std::vector<uint8_t> original = tape_image("Save1 ", 0, 12);
  const std::string tape = write_file(dir_, "original.caq", original);
  const std::vector<std::string> save = {"--keys", "csave\n", "--frames", "5", "--keys", "\n", "--frames", "60"};
  std::vector<std::string> args = {"--load", tape, "--autoload", "--frames", "100"};
  args.insert(args.end(), save.begin(), save.end());
  args.insert(args.end(), save.begin(), save.end());
  const RunResult r = run_headless(dir_, args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Tape saved: tapes/SAVE1.caq\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Tape saved: tapes/SAVE1-2.caq\n"), std::string::npos) << r.err;
  const std::string expected(original.begin(), original.end());
  EXPECT_TRUE(slurp(dir_ + "/tapes/SAVE1.caq") == expected);
  EXPECT_TRUE(slurp(dir_ + "/tapes/SAVE1-2.caq") == expected);

  // Loaded back, the saved file puts the program into memory again (its first 16 bytes shown).
  std::string dump;
  for (unsigned i = 0; i < 16; ++i) dump += hex_byte(firmware_load_tape[i]) + (i == 15 ? "\n" : " ");
  const RunResult back = run_headless(dir_, {"--load", dir_ + "/tapes/SAVE1.caq", "--autoload", "--frames", "100",
                                             "--dump", "3900:10"});
  EXPECT_EQ(back.out, dump) << back.err;

  // A tapes/ that cannot be made: the reason on standard error, status 1 at the end of the
  // run, which ends the recording still going on.
  std::filesystem::remove_all(dir_ + "/tapes");
  write_file(dir_, "tapes", {});
  const RunResult blocked = run_headless(dir_, {"--load", tape, "--autoload", "--frames", "100", "--keys", "csave\n",
                                                "--frames", "5", "--keys", "\n", "--frames", "5"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("could not be saved: " + dir_ + "/tapes"), std::string::npos) << blocked.err;
  EXPECT_NE(blocked.err.find(std::strerror(ENOTDIR)), std::string::npos) << blocked.err;
}

TEST_F(HeadlessLoading, TextFileIsTyped) {
  std::string listing = write_text(dir_, "listing.txt", "HELLO WORLD\r\nsecond line 42\n");
  RunResult r = run_headless(dir_, {"--load", listing, "--frames", "200", "--screen-text"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("> HELLO WORLD"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("> SECOND LINE 42"), std::string::npos) << r.out;
}

TEST_F(HeadlessLoading, CartridgesStartAfterSoftReset) {
  std::string cart8 = write_file(dir_, "small.rom",
                                 std::vector<uint8_t>(firmware_load_cart8, firmware_load_cart8 + firmware_load_cart8_size));
  std::string cart16 = write_file(dir_, "big.BIN",
                                  std::vector<uint8_t>(firmware_load_cart16, firmware_load_cart16 + firmware_load_cart16_size));
  RunResult r8 = run_headless(dir_, {"--load", cart8, "--soft-reset-after", "20", "--frames", "60", "--screen-text",
                                     "--dump", "DFFF:3"});
  ASSERT_EQ(r8.status, 0) << r8.err;
  EXPECT_NE(r8.out.find("8K CARTRIDGE RUNNING"), std::string::npos) << r8.out;
  // 0xDFFF is RAM; the image starts at 0xE000 with its header.
  EXPECT_NE(r8.out.find("00 56 41"), std::string::npos) << r8.out;

  RunResult r16 = run_headless(dir_, {"--load", cart16, "--soft-reset-after", "20", "--frames", "60", "--screen-text",
                                      "--dump", "C000:2"});
  ASSERT_EQ(r16.status, 0) << r16.err;
  EXPECT_NE(r16.out.find("16K CARTRIDGE RUNNING"), std::string::npos) << r16.out;
  EXPECT_NE(r16.out.find("56 41"), std::string::npos) << r16.out;
}

TEST_F(HeadlessLoading, BadFilesAreRefusedAndTheMachineRuns) {
  std::string huge = write_file(dir_, "huge.rom", pattern_bytes(20000, 3));
  std::string empty = write_file(dir_, "empty.bin", {});
  // A recording of nothing: a second of silence.
  std::vector<uint8_t> silence = {'R', 'I', 'F', 'F', 0xAC, 0x58, 1, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                  1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0x88, 0x58, 1, 0};
  silence.resize(silence.size() + 88200);
  std::string quiet = write_file(dir_, "quiet.WAV", silence);
  RunResult r = run_headless(dir_, {"--load", dir_ + "/missing.caq", "--load", huge, "--load", empty, "--load",
                                    dir_ + "/odd.Rom", "--load", quiet, "--frames", "60", "--screen-text", "--dump", "E000:1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("missing.caq was not loaded: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("huge.rom was not loaded: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("empty.bin was not loaded: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("odd.Rom was not loaded"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("quiet.WAV was not loaded: no tape signal found\n"), std::string::npos) << r.err;
  // The built-in ROM came up as usual, with nothing mapped at 0xE000.
  EXPECT_NE(r.out.find("TYPE CLOAD TO READ A TAPE"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n00\n"), std::string::npos) << r.out;

  // Refused loads after a cassette leave it in: CLOAD still reads it.
  std::string tape = write_file(dir_, "demo.caq", tape_image("DEMO01"));
  RunResult kept = run_headless(dir_, {"--load", tape, "--load", dir_ + "/missing.caq", "--load", huge, "--load",
                                       dir_ + "/odd.Rom", "--load", quiet, "--type", "CLOAD\n\n", "--frames", "200",
                                       "--screen-text"});
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_NE(kept.out.find(tape_line()), std::string::npos) << kept.out;
}

// --export-wav alone converts without starting a machine; the recording then loads as the
// cassette did, and CLOAD runs the program.
TEST_F(HeadlessLoading, TapeExportedAsSoundLoadsBack) {
  const std::string tape = write_file(dir_, "demo.caq", tape_image("DEMO01"));
  const RunResult exported = run_headless(dir_, {"--export-wav", tape, "demo.wav"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out + exported.err, "");
  const RunResult loaded = run_headless(dir_, {"--load", dir_ + "/demo.wav", "--autoload", "--frames", "150", "--screen-text"});
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_NE(loaded.out.find("LOADED DEMO01"), std::string::npos) << loaded.out;
  EXPECT_NE(loaded.out.find(tape_line()), std::string::npos) << loaded.out;

  const RunResult missing = run_headless(dir_, {"--export-wav", "none.caq", "none.wav"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot export the tape: " + dir_ + "/none.caq: No such file"), std::string::npos)
      << missing.err;
}

// A tape is read once, as a real one: a second CLOAD finds its end, unless it was rewound;
// an ejected one is gone.
TEST_F(HeadlessLoading, RewindAndEjectTheCassette) {
  const std::string tape = write_file(dir_, "twice.caq", tape_image("TWICE1", 0));
  struct row {
    const char* between;  // action between the two CLOADs
    int loads;
    bool no_cassette;
  };
  for (const row& r : {row{nullptr, 1, true}, row{"--rewind-tape", 2, false}, row{"--eject-tape", 1, true}}) {
    std::vector<std::string> args = {"--load", tape, "--type", "CLOAD\n\n", "--frames", "200"};
    if (r.between) args.push_back(r.between);
    args.insert(args.end(), {"--type", "CLOAD\n\n", "--frames", "200", "--screen-text", "--eject-tape"});
    const RunResult run = run_headless(dir_, args);
    ASSERT_EQ(run.status, 0) << run.err;
    size_t loads = 0;
    for (size_t at = run.out.find("LOADED TWICE1"); at != std::string::npos; at = run.out.find("LOADED TWICE1", at + 1))
      ++loads;
    EXPECT_EQ(loads, static_cast<size_t>(r.loads)) << (r.between ? r.between : "nothing") << "\n" << run.out;
    EXPECT_EQ(run.out.find("NO CASSETTE") != std::string::npos, r.no_cassette) << run.out;
    // Ejecting what is not there says so.
    const bool ejected_before = r.between && std::string(r.between) == "--eject-tape";
    EXPECT_EQ(run.err.find("no cassette is inserted") != std::string::npos, ejected_before) << run.err;
  }
}
