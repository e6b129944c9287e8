// The program directory: which one a start picks, and the lock that lets one program alone save
// settings there and clear what killed saves left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/config.h"
#include "core/extra_settings.h"
#include "core/program_dir.h"
#include "core/roms.h"
#include "scratch_dir.h"

namespace {

namespace fs = std::filesystem;

// Runs in a fresh current directory (without roms/ or vantorel.ini), as a start from the menu.
class ProgramDirectory : public ::testing::Test {
 protected:
  ScratchDir scratch;
  fs::path was = fs::current_path();
  void SetUp() override {
    fs::create_directories(scratch.file("cwd"));
    fs::current_path(scratch.file("cwd"));
  }
  void TearDown() override {
    fs::current_path(was);
    settings_saving = true;
  }
};

TEST_F(ProgramDirectory, TheDataDirectoryFollowsTheXdgRuleAndSaysWhyItCannotBeMade) {
  const std::string home = scratch.file("home"), fallback = home + "/.local/share/vantorel", file = scratch.file("a-file");
  scratch.write_text("a-file", "x");
  const program_dir_choice good = choose_program_directory("", scratch.file("data").c_str(), home.c_str());
  EXPECT_EQ(good.dir, scratch.file("data/vantorel"));
  EXPECT_EQ(good.problem, "");
  EXPECT_TRUE(fs::is_directory(good.dir + "/roms") && fs::is_directory(good.dir + "/usb"));
  // Not an absolute path: ignored, as if unset, without a word.
  const program_dir_choice relative = choose_program_directory("", "data", home.c_str());
  EXPECT_EQ(relative.dir, fallback);
  EXPECT_EQ(relative.problem, "");
  EXPECT_FALSE(fs::exists("data"));
  // A file: the reason, and the default is used; when that fails too, the current directory.
  const program_dir_choice on_file = choose_program_directory("", file.c_str(), home.c_str());
  EXPECT_EQ(on_file.dir, fallback);
  EXPECT_EQ(on_file.problem, "The data directory " + file + "/vantorel (from XDG_DATA_HOME) cannot be made: "
                             "Not a directory. Using " + fallback + " instead.");
  const program_dir_choice none = choose_program_directory("", file.c_str(), file.c_str());
  EXPECT_EQ(none.dir, ".");
  EXPECT_NE(none.problem.find(file + "/.local/share/vantorel cannot be made: Not a directory. Using the current "
                              "directory " + scratch.file("cwd") + " instead."), std::string::npos) << none.problem;
}

TEST_F(ProgramDirectory, OneProgramHoldsTheDirectoryAndOnlyItClearsStaleTemporaries) {
  fs::current_path(scratch.path);
  const std::vector<std::string> stale = {".vantorel.ini.vantorel-tmp-Ab3dE9", "states/.quick.vst.vantorel-tmp-x1Y2z3",
                                          "screenshots/.a.png.vantorel-tmp-000000", "tapes/.T.caq.vantorel-tmp-qqqqqq"};
  const std::vector<std::string> kept = {"vantorel.ini.old", "vantorel.ini.Ab3dE9", ".a.vantorel-tmp-Ab3dE",
                                         "a.vantorel-tmp-Ab3dE9", "usb/.x.vantorel-tmp-Ab3dE9",
                                         "states/.b.vantorel-tmp-Ab3dE9.vst"};
  for (const std::string& name : stale) scratch.write_text(name, "half");
  for (const std::string& name : kept) scratch.write_text(name, "mine");
  fs::create_directories(scratch.file(".d.vantorel-tmp-Ab3dE9"));
  EXPECT_EQ(claim_program_directory(), "");
  for (const std::string& name : stale) EXPECT_FALSE(fs::exists(scratch.file(name))) << name;
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(scratch.file(name))) << name;
  EXPECT_TRUE(fs::exists(scratch.file(".d.vantorel-tmp-Ab3dE9")));
  EXPECT_TRUE(settings_saving);

  // A second program there: told, saves no settings, and leaves the first one's saves alone.
  bool held_elsewhere = false;
  EXPECT_EQ(lock_program_directory(scratch.path, held_elsewhere), -1);
  EXPECT_TRUE(held_elsewhere);
  scratch.write_text(stale[0], "being written");
  EXPECT_EQ(claim_program_directory(),
            "Another Vantorel is running in " + scratch.path + ": this one will not save its settings when it ends.");
  EXPECT_TRUE(fs::exists(scratch.file(stale[0])));
  program_dir = scratch.path;
  ::testing::internal::CaptureStdout();
  save_config();
  save_extra_settings();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(fs::exists(scratch.file("vantorel.ini")) || fs::exists(scratch.file("vantorel-extra.ini")));
}

}  // namespace
