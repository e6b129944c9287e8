// vantorel-headless end to end: cassettes, typed text and cartridges on the built-in ROM, and
// bad files refused without harm.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <filesystem>

#include "scratch_files.h"
#include "tape_image.h"

extern char** environ;
extern const unsigned char firmware_load_cart8[];
extern const unsigned firmware_load_cart8_size;
extern const unsigned char firmware_load_cart16[];
extern const unsigned firmware_load_cart16_size;

using namespace loading_test;

namespace {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs vantorel-headless with these arguments (no shell: texts pass through untouched).
RunResult run_headless(const std::string& dir, std::vector<std::string> args) {
  std::string program = std::string(VANTOREL_BINARY_DIR) + "/vantorel-headless";
  args.insert(args.begin(), {program, "--dir", dir});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string out_path = dir + "/stdout.txt", err_path = dir + "/stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  RunResult r;
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  r.out = slurp(out_path);
  r.err = slurp(err_path);
  return r;
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

  RunResult typed = run_headless(dir_, {"--load", tape, "--type", "CLOAD\n", "--frames", "200", "--screen-text"});
  ASSERT_EQ(typed.status, 0) << typed.err;
  EXPECT_NE(typed.out.find(tape_line()), std::string::npos) << typed.out;

  // Inserted but never asked for: nothing is read.
  RunResult idle = run_headless(dir_, {"--load", tape, "--frames", "150", "--screen-text"});
  ASSERT_EQ(idle.status, 0);
  EXPECT_EQ(idle.out.find("TAPE PROGRAM RAN"), std::string::npos) << idle.out;
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
  RunResult r = run_headless(dir_, {"--load", dir_ + "/missing.caq", "--load", huge, "--load", empty, "--load",
                                    dir_ + "/odd.Rom", "--frames", "60", "--screen-text", "--dump", "E000:1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("missing.caq was not loaded: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("huge.rom was not loaded: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("empty.bin was not loaded: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("odd.Rom was not loaded"), std::string::npos) << r.err;
  // The built-in ROM came up as usual, with nothing mapped at 0xE000.
  EXPECT_NE(r.out.find("TYPE CLOAD TO READ A TAPE"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n00\n"), std::string::npos) << r.out;
}
