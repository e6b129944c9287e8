// vantorel-extra.ini beside vantorel.ini: the settings that came after the fourteen lines, one
// "key=value" a line, so that vantorel.ini keeps the layout other tools read.
#pragma once
#include <string>
#include <vector>

extern bool cursor_controller;   // the cursor keys are hand controller 1 ("Cursor Keys as Hand Controller")
extern bool integer_scaling;     // the picture grows in whole multiples only ("Integer Scaling")
extern bool keypad_controller;   // the keypad is hand controller 1 ("Keypad as Hand Controller")
extern bool micro_expander_on;   // the Micro Expander was on at the last quit
extern bool sound_enabled;       // "Sound Enabled" of the Sound dialog, as at the last quit
extern bool unwritten_read_break;  // "Break on Reading Unwritten RAM" (Operation menu)
extern std::vector<std::string> recent_files;  // files loaded, newest first, at most RECENT_FILES_MAX

constexpr size_t RECENT_FILES_MAX = 8;

// Path of the file: the directory of vantorel.ini + "/vantorel-extra.ini".
std::string extra_settings_path();
// Reads the file as vantorel.ini is read: a missing file means every default, a damaged or
// missing value its own default, an unknown key is skipped.
void load_extra_settings();
// Replaces the file in one step (unless settings_saving is off); says on standard error when it
// could not.
void save_extra_settings();
// Puts path first in recent_files (once), dropping the oldest beyond RECENT_FILES_MAX. A path
// the file could not hold (empty, or with a line break) is not kept.
void remember_recent_file(const std::string& path);
// Drops the entries whose files are gone; returns what is left.
const std::vector<std::string>& present_recent_files();
