// STUB
#include "core/config.h"
uint8_t draw_size = 1;
bool keyboard_mode, caq_autoload, exit_msg = true;
int32_t windowpos_X = 200, windowpos_Y = 200;
uint8_t opt_draw_size, opt_timing_type, opt_keyboard_mode, opt_model, opt_rom_mode,
    opt_snd_stereo, opt_snd_aysound, opt_ram_size, opt_caq_autoload, opt_exit_msg;
uint8_t tmp_draw_size, tmp_timing_type, tmp_keyboard_mode, tmp_model, tmp_rom_mode,
    tmp_snd_stereo, tmp_snd_aysound, tmp_ram_size, tmp_caq_autoload, tmp_exit_msg;
std::string config_path() { return ""; }
void load_config() {}
bool load_config_getline(std::istream&, int32_t&) { return false; }
void save_config() {}
