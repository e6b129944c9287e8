// The settings file vantorel.ini: fourteen positional lines, read at start-up, written at shutdown.
#pragma once
#include <cstdint>
#include <istream>
#include <string>

extern uint8_t draw_size;      // 1 = 100%, 2 = 200%, 3 = full screen (live setting)
extern bool keyboard_mode;     // 0 = NATIVE, 1 = PI
extern bool caq_autoload;      // start a loaded cassette automatically
extern int32_t windowpos_X, windowpos_Y;
extern bool exit_msg;          // carried through, consulted by nothing
extern bool settings_saving;   // the settings files are written at the end (not when another program keeps them)

extern uint8_t opt_draw_size, opt_timing_type, opt_keyboard_mode, opt_model, opt_rom_mode,
    opt_snd_stereo, opt_snd_aysound, opt_ram_size, opt_caq_autoload, opt_exit_msg;
extern uint8_t tmp_draw_size, tmp_timing_type, tmp_keyboard_mode, tmp_model, tmp_rom_mode,
    tmp_snd_stereo, tmp_snd_aysound, tmp_ram_size, tmp_caq_autoload, tmp_exit_msg;

// Path of the settings file: program_dir + "/vantorel.ini".
std::string config_path();
void load_config();
// Reads one line's value; false when the line holds no number (empty, missing or not numeric).
bool load_config_getline(std::istream& in, int32_t& value);
// Writes the file (unless settings_saving is off), and the window position on standard output.
void save_config();
