// STUB
#include "core/roms.h"
std::string program_dir, ROMSDir, rom_dir, usb_dir, current_rom, current_char;
uint8_t rom_mode = 1;
uint8_t CHAR_ROM[2048];
bool builtin_roms_active;
const char* const rom_type[2] = {"SERIES 1", "SERIES 2"};
void select_rom_names() {}
void Initialise_Emulator() {}
int Load_ROM() { return 1; }
void HardReset() {}
void SoftReset() {}
int Aqua_Error(uint8_t, uint32_t, const std::string&) { return 1; }
void patch_cassette_routine() {}
