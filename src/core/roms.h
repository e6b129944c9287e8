// ROM images, start-up, the two resets, the machine's reconfigurations and the error reporter.
#pragma once
#include <cstdint>
#include <string>

extern std::string program_dir;     // working directory at start-up
extern std::string ROMSDir;         // program_dir + "/roms/"
extern std::string rom_dir;         // copy of ROMSDir used when loading ROMs
extern std::string usb_dir;         // program_dir + "/usb/"
extern std::string current_rom;     // "aquariusS1.rom" or "aquariusS2.rom"
extern std::string current_char;    // "charS1.rom" or "charS2.rom"
extern uint8_t rom_mode;            // 0 = SERIES 1, 1 = SERIES 2
extern uint8_t CHAR_ROM[2048];      // character generator: 256 glyphs x 8 rows, bit 7 leftmost
extern bool builtin_roms_active;    // the machine runs our free ROMs because the user's were unusable

extern const char* const rom_type[2];  // "SERIES 1", "SERIES 2"

// What a host may decide at start-up, between reading vantorel.ini and loading the ROMs.
struct StartupChoices {
  void (*apply_settings)() = nullptr;  // overrides the settings just read (model, series, RAM...)
  bool builtin_fallback = true;        // boot the free ROMs when the user's are unusable
};

// Sets current_rom and current_char from rom_mode.
void select_rom_names();
// The start-up sequence. 0, or 1 when the user's ROMs could not be loaded: the free ROMs
// then run, or, without builtin_fallback, nothing is mapped and the CPU must not be started.
int Initialise_Emulator(const StartupChoices& choices = {});
// Loads the system, character and (model 1) extension ROMs, rebuilds the map, patches the
// cassette byte routine. 0 on success. 1 on failure, after one error message naming every
// missing, unreadable or mis-sized file; then nothing is half replaced: with the user's images
// in force they stay, memory is not rebuilt, and model, rom_mode and the file names go back
// to those of the images in force (menus should show the choice from them afterwards);
// otherwise the built-in ROMs are booted (builtin_roms_active) with a fresh map and the
// list of missing files at 0x3F00 for them to show.
int Load_ROM();
// A model or series switch: loads the ROM files the new choice needs. When they fail, the
// error is shown and nothing changes: the running images, memory, model and series stay.
int switch_roms(uint8_t old_model, uint8_t old_rom_mode);
// A save state of another model or series: reads the ROM files that choice needs, by the same
// rules as a switch to it, into a staging area; nothing in force changes. False, with why
// naming every file at fault, when they cannot all be loaded.
bool stage_roms_for(uint8_t new_model, uint8_t new_series, std::string& why);
// The images stage_roms_for read, as they will run (the cassette routine patched).
struct StagedRoms {
  const uint8_t* system;      // 8192 bytes
  const uint8_t* characters;  // 2048 bytes
  const uint8_t* extension;   // 4096 bytes, meaningful for model 1 only
};
StagedRoms staged_roms();
// Puts the staged images in force with their model and series, memory rebuilt, as a
// successful switch does.
void commit_staged_roms(uint8_t new_model, uint8_t new_series);
void HardReset();
void SoftReset();

// The machine's reconfigurations, shared by the desktop's menus and dialogs, the headless runner,
// the state loader and the debugger. The caller brackets them with pause_audio/resume_audio.
// The RAM expansion: memtop follows, RAM keeps its contents, a recording in progress ends, the
// CPU restarts.
void set_ram_size(uint8_t size);
// Switches to new_model (0 Aquarius I, 1 Aquarius II) or to new_series (0 SERIES 1, 1 SERIES 2)
// with the ROM files it needs: 0 when done (memory rebuilt, the CPU restarts); 1 after the error
// box, with the running machine as it was.
int switch_model(uint8_t new_model);
int switch_series(uint8_t new_series);
// Shows "%02X - " formatted with kind, followed by the reason (or, without one, a sentence for
// the numbered code), with the audio paused meanwhile; returns 1.
int Aqua_Error(uint8_t kind, uint32_t code, const std::string& reason = "");
// Writes the six-byte cassette patch at 0x1B4E of the system ROM image.
void patch_cassette_routine();
