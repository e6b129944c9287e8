// The settings file: its exact layout, positional reading, bad values and the safe rewrite.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <filesystem>

#include "core/config.h"
#include "core/extra_settings.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "scratch_dir.h"
#include "sound/audio_out.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  ScratchDir dir;
  void SetUp() override { program_dir = dir.path; }
  // Writes a file whose twelve value lines carry these values (key text as the program writes it).
  void write_values(const std::vector<std::string>& values) {
    static const char* keys[12] = {"opt_draw_size=", "opt_timing_type=", "opt_keyboard_mode=",
                                   "opt_model=", "opt_rom_mode=", "opt_snd_stereo=",
                                   "opt_snd_aysound=", "opt_ram_size=", "opt_caq_autoload=",
                                   "opt_windowpos_x=", "opt_windowpos_y=", "opt_exit_msg="};
    std::string text;
    for (size_t i = 0; i < values.size(); ++i) text += std::string(keys[i]) + values[i] + "\n";
    dir.write_text("vantorel.ini", text + "[End]\n");
  }
  void set_defaults() {
    draw_size = 1; timing_type = 1; keyboard_mode = false; model = 0; rom_mode = 1;
    snd_stereo = 1; snd_aysound = 0; ram_size = 0; caq_autoload = false;
    windowpos_X = 200; windowpos_Y = 200; exit_msg = true;
  }
  std::string save_capturing_stdout() {
    ::testing::internal::CaptureStdout();
    save_config();
    return ::testing::internal::GetCapturedStdout();
  }
};

const char* const fresh_file =
    "opt_draw_size=1\n"
    "opt_timing_type=1\n"
    "opt_keyboard_mode=0\n"
    "opt_model=0\n"
    "opt_rom_mode=1\n"
    "opt_snd_stereo=1\n"
    "opt_snd_aysound=0\n"
    "opt_ram_size=0\n"
    "opt_caq_autoload=0\n"
    "opt_windowpos_x=200\n"
    "opt_windowpos_y=200\n"
    "opt_exit_msg=1\n"
    "[End]\n"
    "-----Nothing Below This Line-----\n";

TEST_F(Settings, FreshFileHasTheFourteenLines) {
  set_defaults();
  EXPECT_EQ(save_capturing_stdout(), "200 - 200\n");
  EXPECT_EQ(dir.read_text("vantorel.ini"), fresh_file);
  // Missing file: every default.
  set_defaults();
  draw_size = 2; model = 1; ram_size = 3; windowpos_X = -5;
  std::filesystem::remove(dir.file("vantorel.ini"));
  load_config();
  EXPECT_EQ(draw_size, 1); EXPECT_EQ(model, 0); EXPECT_EQ(ram_size, 0); EXPECT_EQ(windowpos_X, 200);
  EXPECT_EQ(rom_mode, 1); EXPECT_EQ(snd_stereo, 1); EXPECT_TRUE(exit_msg);
}

// The extra settings live in their own file of named lines; vantorel.ini keeps its fourteen.
TEST_F(Settings, ExtraSettingsAreNamedLinesBesideTheMainFile) {
  integer_scaling = false;
  load_extra_settings();  // no file: the default
  EXPECT_TRUE(integer_scaling);
  for (const auto& [text, expected] : std::vector<std::pair<std::string, bool>>{
           {"integer_scaling=0\n", false}, {"integer_scaling=7", true}, {"integer_scaling=off\n", true},
           {"integer_scaling=\n", true},   {"zoom=3\ninteger_scaling= 0\n", false}, {"integer_scaling\n", true}}) {
    dir.write_text("vantorel-extra.ini", text);
    integer_scaling = !expected;
    load_extra_settings();
    EXPECT_EQ(integer_scaling, expected) << text;
  }
  // Recent files: one line each, newest first, eight at most; a path that cannot be one line is
  // not kept, one loaded again moves to the top.
  for (int n = 0; n < 10; ++n) remember_recent_file("/files/" + std::to_string(n) + ".caq");
  remember_recent_file("/files/5.caq");
  remember_recent_file("/files/bad\nname.caq");
  integer_scaling = false;
  keypad_controller = cursor_controller = true;
  save_extra_settings();
  EXPECT_EQ(dir.read_text("vantorel-extra.ini"),
            "cursor_controller=1\ninteger_scaling=0\nkeypad_controller=1\nmicro_expander=0\npower_on_ram_random=0\nsound=1\n"
            "recent=/files/5.caq\n"
            "recent=/files/9.caq\nrecent=/files/8.caq\nrecent=/files/7.caq\nrecent=/files/6.caq\n"
            "recent=/files/4.caq\nrecent=/files/3.caq\nrecent=/files/2.caq\n");
  recent_files.clear();
  keypad_controller = cursor_controller = false;
  load_extra_settings();
  EXPECT_TRUE(keypad_controller && cursor_controller);
  ASSERT_EQ(recent_files.size(), 8u);
  EXPECT_EQ(recent_files[1], "/files/9.caq");
  EXPECT_TRUE(present_recent_files().empty()) << "files that are gone are dropped";
  keypad_controller = cursor_controller = false;
  EXPECT_FALSE(std::filesystem::exists(dir.file("vantorel.ini")));
}

TEST_F(Settings, EverySettingSurvivesARoundTrip) {
  draw_size = 2; timing_type = 2; keyboard_mode = true; model = 1; rom_mode = 0;
  snd_stereo = 0; snd_aysound = 1; ram_size = 4; caq_autoload = true;
  windowpos_X = -40; windowpos_Y = 1500; exit_msg = false;
  EXPECT_EQ(save_capturing_stdout(), "-40 - 1500\n");
  set_defaults();
  load_config();
  EXPECT_EQ(draw_size, 2); EXPECT_EQ(timing_type, 2); EXPECT_TRUE(keyboard_mode);
  EXPECT_EQ(model, 1); EXPECT_EQ(rom_mode, 0); EXPECT_EQ(snd_stereo, 0); EXPECT_EQ(snd_aysound, 1);
  EXPECT_EQ(ram_size, 4); EXPECT_TRUE(caq_autoload); EXPECT_EQ(windowpos_X, -40);
  EXPECT_EQ(windowpos_Y, 1500); EXPECT_FALSE(exit_msg);
  EXPECT_EQ(opt_ram_size, 4);
  EXPECT_EQ(tmp_model, 1);
}

// Start-up reads the file, then sets the sound up: Stereo and AY Sound off stay off through the
// run and are written back so.
TEST_F(Settings, SoundSetUpKeepsStereoAndAySoundFromTheFile) {
  write_values({"1", "1", "0", "0", "1", "0", "0", "0", "0", "200", "200", "1"});
  load_config();
  ASSERT_EQ(sound_setup(), 0);
  EXPECT_EQ(snd_stereo, 0);
  EXPECT_EQ(snd_aysound, 0);
  save_capturing_stdout();
  snd_stereo = snd_aysound = 1;
  load_config();
  EXPECT_EQ(snd_stereo + snd_aysound, 0);
  sound_close();
}

TEST_F(Settings, LinesAreReadByPositionNotByKey) {
  // Wrong keys, no key, a bare number, a comment after the value, 258 out of range.
  dir.write_text("vantorel.ini",
                 "nonsense=2\n=258\nopt_model=1\n1\nopt_rom_mode=0 series one\n7\n"
                 "x=  -3\n  2\nk=1\nk=+12\nk=-34 left of the screen\nk=0\n[End]\nrubbish\n");
  set_defaults();
  load_config();
  EXPECT_EQ(draw_size, 2);
  EXPECT_EQ(timing_type, 1) << "258 is out of range: the default, not the low eight bits";
  EXPECT_TRUE(keyboard_mode);
  EXPECT_EQ(model, 1);
  EXPECT_EQ(rom_mode, 0);
  EXPECT_EQ(snd_stereo, 1) << "any non-zero number is on";
  EXPECT_EQ(snd_aysound, 1);
  EXPECT_EQ(ram_size, 2);
  EXPECT_TRUE(caq_autoload);
  EXPECT_EQ(windowpos_X, 12);
  EXPECT_EQ(windowpos_Y, -34);
  EXPECT_FALSE(exit_msg);
}

TEST_F(Settings, BadValuesFallBackToEachDefault) {
  write_values({"3", "0", "", "5", "abc", "", "x1", "9", "", "", "99999999999", "", });
  draw_size = 2; timing_type = 2; keyboard_mode = true; model = 1; rom_mode = 0; snd_stereo = 0;
  snd_aysound = 1; ram_size = 4; caq_autoload = true; windowpos_X = 1; windowpos_Y = 1; exit_msg = false;
  load_config();
  EXPECT_EQ(draw_size, 1) << "full screen reads back as the window at 100%";
  EXPECT_EQ(timing_type, 1);
  EXPECT_FALSE(keyboard_mode);
  EXPECT_EQ(model, 0);
  EXPECT_EQ(rom_mode, 1);
  EXPECT_EQ(snd_stereo, 1);
  EXPECT_EQ(snd_aysound, 1);
  EXPECT_EQ(ram_size, 0);
  EXPECT_FALSE(caq_autoload);
  EXPECT_EQ(windowpos_X, 200);
  EXPECT_EQ(windowpos_Y, 200) << "a number that does not fit is no number";
  EXPECT_TRUE(exit_msg);
  // Other out-of-range values, and a file that stops early.
  dir.write_text("vantorel.ini", "0\n3\n1\n2\n1\n0\n");
  load_config();
  EXPECT_EQ(draw_size, 1); EXPECT_EQ(timing_type, 1); EXPECT_TRUE(keyboard_mode); EXPECT_EQ(model, 0);
  EXPECT_EQ(snd_stereo, 0); EXPECT_EQ(ram_size, 0); EXPECT_EQ(windowpos_X, 200); EXPECT_TRUE(exit_msg);
  dir.write_text("vantorel.ini", std::string("\0\0\xff\xfe=\n", 6));
  load_config();
  EXPECT_EQ(draw_size, 1); EXPECT_EQ(timing_type, 1);
  // An enormous first line still counts as one line: the next value lands on line 2.
  dir.write_text("vantorel.ini", "k=2" + std::string(60000, ' ') + "x\n2\r\n1\n");
  load_config();
  EXPECT_EQ(draw_size, 2); EXPECT_EQ(timing_type, 2); EXPECT_TRUE(keyboard_mode);
  // Only the first 64 KiB of a file are read: the ROM series line after them is not seen.
  dir.write_text("vantorel.ini", "2\n2\n1\n1" + std::string(70000, '#') + "\n0\n");
  load_config();
  EXPECT_EQ(draw_size, 2); EXPECT_TRUE(keyboard_mode); EXPECT_EQ(model, 1); EXPECT_EQ(rom_mode, 1);
}

TEST_F(Settings, BigCoordinatesAreWrittenWhole) {
  set_defaults();
  windowpos_X = 123456789;
  windowpos_Y = -2000000000;
  EXPECT_EQ(save_capturing_stdout(), "123456789 - -2000000000\n");
  const std::string text = dir.read_text("vantorel.ini");
  EXPECT_NE(text.find("opt_windowpos_x=123456789\nopt_windowpos_y=-2000000000\nopt_exit_msg=1\n"), std::string::npos);
  windowpos_X = windowpos_Y = 0;
  load_config();
  EXPECT_EQ(windowpos_X, 123456789);
  EXPECT_EQ(windowpos_Y, -2000000000);
}

TEST_F(Settings, FileIsReplacedWholeAndNeverHalfWritten) {
  dir.write_text("vantorel.ini", "old settings\n");
  chmod(dir.file("vantorel.ini").c_str(), 0640);
  // A second name for the old file shows that the new one is a different file put in place.
  ASSERT_EQ(link(dir.file("vantorel.ini").c_str(), dir.file("old.ini").c_str()), 0);
  set_defaults();
  save_capturing_stdout();
  EXPECT_EQ(dir.read_text("vantorel.ini"), fresh_file);
  EXPECT_EQ(dir.read_text("old.ini"), "old settings\n");
  struct stat st;
  ASSERT_EQ(stat(dir.file("vantorel.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the file keeps its permissions";
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path)) { (void)e; ++entries; }
  EXPECT_EQ(entries, 2u) << "no temporary file is left behind";
  // A directory that cannot be written: nothing happens, and nothing crashes.
  program_dir = dir.path + "/missing";
  ::testing::internal::CaptureStdout();
  save_config();
  ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(std::filesystem::exists(dir.path + "/missing"));
}


// One value on one line, every other line empty (so at its default): what the setting becomes.
struct ValueCase {
  int line;            // 0-based value line
  const char* text;
  int32_t expected;
};

int32_t live_value(int line) {
  switch (line) {
    case 0: return draw_size;
    case 1: return timing_type;
    case 2: return keyboard_mode;
    case 3: return model;
    case 4: return rom_mode;
    case 5: return snd_stereo;
    case 6: return snd_aysound;
    case 7: return ram_size;
    case 8: return caq_autoload;
    case 9: return windowpos_X;
    case 10: return windowpos_Y;
    case 11: return exit_msg;
  }
  return -999;
}

TEST_F(Settings, EachOutOfRangeValueFallsBackAndEachGoodOneIsKept) {
  const ValueCase cases[] = {
      // Window size: 100% or 200%; full screen (3) comes back as the window at 100%.
      {0, "0", 1}, {0, "3", 1}, {0, "4", 1}, {0, "-1", 1}, {0, "2", 2}, {0, "258", 1}, {0, "259", 1},
      // Timing: PAL 1 or NTSC 2.
      {1, "0", 1}, {1, "3", 1}, {1, "255", 1}, {1, "2", 2}, {1, "258", 1}, {1, "-254", 1},
      // Model 0 or 1 only.
      {3, "2", 0}, {3, "-1", 0}, {3, "1", 1}, {3, "257", 0}, {3, "256", 0},
      // RAM size index 0 to 4.
      {7, "5", 0}, {7, "9", 0}, {7, "-1", 0}, {7, "4", 4}, {7, "260", 0}, {7, "3", 3},
      // Flags: any number but 0 is on.
      {2, "-5", 1}, {2, "0", 0}, {4, "0", 0}, {4, "2", 1}, {5, "0", 0}, {6, "9", 1}, {8, "100000", 1}, {11, "0", 0},
      // Window position: any int32; beyond it there is no number.
      {9, "-2147483648", INT32_MIN}, {9, "2147483647", INT32_MAX}, {9, "2147483648", 200}, {10, "-9999", -9999},
      {10, "-2147483649", 200},
  };
  for (const ValueCase& c : cases) {
    std::vector<std::string> values(12, "");
    values[static_cast<size_t>(c.line)] = c.text;
    write_values(values);
    // Live settings away from their defaults, so that a line that is not read shows.
    draw_size = 2; timing_type = 2; keyboard_mode = true; model = 1; rom_mode = 0; snd_stereo = 0;
    snd_aysound = 1; ram_size = 3; caq_autoload = true; windowpos_X = 7; windowpos_Y = 7; exit_msg = false;
    load_config();
    EXPECT_EQ(live_value(c.line), c.expected) << "line " << c.line + 1 << " = \"" << c.text << "\"";
    // The empty lines around it are at their defaults: 1, 1, 0, 0, 1, 1, 1, 0, 0, 200, 200, 1.
    const int32_t defaults[12] = {1, 1, 0, 0, 1, 1, 1, 0, 0, 200, 200, 1};
    for (int other = 0; other < 12; ++other) {
      if (other == c.line) continue;
      EXPECT_EQ(live_value(other), defaults[other]) << "line " << other + 1;
    }
  }
}

TEST_F(Settings, AnUnwritableProgramDirectoryGetsNothingAndNothingBreaks) {
  // A program directory that is a regular file: no file can be created below it, for root too.
  dir.write_text("not-a-dir", "precious\n");
  program_dir = dir.file("not-a-dir");
  set_defaults();
  const std::string printed = save_capturing_stdout();
  EXPECT_EQ(printed, "") << "nothing reports a save that did not happen";
  EXPECT_EQ(dir.read_text("not-a-dir"), "precious\n");
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path)) { (void)e; ++entries; }
  EXPECT_EQ(entries, 1u);
  // Reading from it gives the defaults.
  draw_size = 2; model = 1;
  load_config();
  EXPECT_EQ(draw_size, 1);
  EXPECT_EQ(model, 0);
  // A settings file that is a directory reads as missing and is not replaced.
  program_dir = dir.path;
  std::filesystem::create_directory(dir.file("vantorel.ini"));
  draw_size = 2;
  load_config();
  EXPECT_EQ(draw_size, 1);
  save_capturing_stdout();
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("vantorel.ini")));
}

// Saves in a child process that cannot write directory d: as root, the child becomes nobody (and
// d and its file are handed to nobody), so that the directory's permissions hold for it too.
bool save_where_the_directory_is_locked(const std::string& d) {
  const bool root = geteuid() == 0;
  chmod(std::filesystem::path(d).parent_path().c_str(), 0755);  // nobody must reach d
  if (root && (chown(d.c_str(), 65534, 65534) != 0 || chown((d + "/vantorel.ini").c_str(), 65534, 65534) != 0))
    return false;
  chmod(d.c_str(), 0555);
  const pid_t child = fork();
  if (child == 0) {
    if (root && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    program_dir = d;
    save_config();
    _exit(0);
  }
  int status = -1;
  waitpid(child, &status, 0);
  chmod(d.c_str(), 0755);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Settings, LinksReadOnlyFilesAndLockedDirectories) {
  set_defaults();
  // A link is written through to its target and stays a link; a dangling one creates its target.
  dir.write_text("real/settings.ini", "old\n");
  ASSERT_EQ(symlink("real/settings.ini", dir.file("vantorel.ini").c_str()), 0);
  save_capturing_stdout();
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("vantorel.ini")));
  EXPECT_EQ(dir.read_text("real/settings.ini"), fresh_file);
  std::filesystem::remove(dir.file("vantorel.ini"));
  ASSERT_EQ(symlink("new.ini", dir.file("vantorel.ini").c_str()), 0);
  save_capturing_stdout();
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("vantorel.ini")));
  EXPECT_EQ(dir.read_text("new.ini"), fresh_file);
  std::filesystem::remove(dir.file("vantorel.ini"));

  // A file the user made read-only is left alone, and standard error says so.
  dir.write_text("vantorel.ini", "mine\n");
  chmod(dir.file("vantorel.ini").c_str(), 0444);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(save_capturing_stdout(), "") << "no position line for a save that did not happen";
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("read-only"), std::string::npos) << said;
  EXPECT_EQ(dir.read_text("vantorel.ini"), "mine\n");

  // A writable file in a directory where no temporary file can be made is rewritten in place.
  dir.write_text("locked/vantorel.ini", std::string(2000, '#') + "\n");
  ASSERT_TRUE(save_where_the_directory_is_locked(dir.file("locked")));
  EXPECT_EQ(dir.read_text("locked/vantorel.ini"), fresh_file);
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.file("locked"))) { (void)e; ++entries; }
  EXPECT_EQ(entries, 1u);
}

}  // namespace
