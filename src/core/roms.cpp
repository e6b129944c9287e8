// ROM images, start-up, the two resets and the error reporter.
#include "core/roms.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ch376/ch376.h"
#include "core/config.h"
#include "core/frame.h"
#include "core/host.h"
#include "core/host_file.h"
#include "core/memory.h"
#include "core/ports.h"
#include "debug/run_control.h"
#include "input/keyboard.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"
#include "z80/z80.h"

extern const unsigned char firmware_sysrom[];
extern const unsigned firmware_sysrom_size;
extern const unsigned char firmware_charrom[];
extern const unsigned firmware_charrom_size;

std::string program_dir, ROMSDir, rom_dir, usb_dir, current_rom, current_char;
uint8_t rom_mode = 1;
uint8_t CHAR_ROM[2048];
bool builtin_roms_active;

const char* const rom_type[2] = {"SERIES 1", "SERIES 2"};

namespace {

constexpr uint32_t system_rom_size = sizeof AQUA_ROM;
constexpr uint32_t char_rom_size = sizeof CHAR_ROM;
constexpr uint32_t ext_rom_size = sizeof EXT_ROM;
constexpr uint16_t cassette_patch_address = 0x1B4E;
// LD C,0xFC; IN A,(C); EXX; RET: the ROM's tape byte routine becomes one read of port 0xFC.
constexpr uint8_t cassette_patch[6] = {0x0E, 0xFC, 0xED, 0x78, 0xD9, 0xC9};

constexpr size_t notice_limit = 200;      // bytes at 0x3F02, the terminating NUL included
constexpr size_t notice_line_limit = 38;  // the built-in ROM shows them on a 40-column screen

// A new set of images is read here in full before any of it replaces the images in force,
// so that a failed reload leaves the running machine exactly as it was.
uint8_t staged_system[system_rom_size];
uint8_t staged_char[char_rom_size];
uint8_t staged_ext[ext_rom_size];

// What is in force when the user's images are: a failed reload goes back to these settings.
bool user_roms_in_force = false;
uint8_t loaded_model, loaded_rom_mode;

enum class RomFault { none, missing, unreadable, wrong_size };

struct RomProblem {
  std::string name;
  RomFault fault;
  long long actual_size;
  uint32_t expected_size;
  uint32_t code;
  std::string why;  // the system's reason when it cannot be read
};

RomFault read_rom_file(const std::string& path, uint8_t* dest, uint32_t size, long long& actual, std::string& why) {
  struct stat st;
  host_file_status status;
  actual = -1;
  const int fd = open_regular_file(path, st, status);
  why = status.why;
  if (fd < 0) return status.missing ? RomFault::missing : RomFault::unreadable;
  actual = static_cast<long long>(st.st_size);
  std::vector<uint8_t> content;
  const bool read_ok = actual == static_cast<long long>(size) && read_at_most(fd, size, content, status.why);
  close(fd);
  why = status.why;
  if (actual != static_cast<long long>(size)) return RomFault::wrong_size;
  if (!read_ok || content.size() != size) return RomFault::unreadable;
  std::memcpy(dest, content.data(), size);
  return RomFault::none;
}

void stage(std::vector<RomProblem>& problems, const std::string& name, uint8_t* dest,
           uint32_t size, uint32_t code) {
  for (const RomProblem& p : problems)
    if (p.name == name) return;  // series 2 on model 1 names the same file twice
  long long actual = -1;
  std::string why;
  const RomFault fault = read_rom_file(rom_dir + name, dest, size, actual, why);
  if (fault != RomFault::none) problems.push_back({name, fault, actual, size, code, why});
}

std::string problem_sentence(const RomProblem& p) {
  std::string text = "ROM file " + rom_dir + p.name;
  switch (p.fault) {
    case RomFault::missing: return text + " was not found";
    case RomFault::unreadable: return text + " cannot be read" + (p.why.empty() ? "" : " (" + p.why + ")");
    case RomFault::wrong_size:
      return text + " has " + std::to_string(p.actual_size) +
             (p.actual_size == 1 ? " byte" : " bytes") + " instead of " +
             std::to_string(p.expected_size);
    case RomFault::none: break;
  }
  return text;
}

// One short line per problem for the built-in ROM's screen.
std::string problem_line(const RomProblem& p) {
  std::string line = p.name + ": ";
  switch (p.fault) {
    case RomFault::missing: line += "not found"; break;
    case RomFault::unreadable: line += "cannot be read"; break;
    case RomFault::wrong_size: {
      std::string detail = std::to_string(p.actual_size) + " bytes, needs " +
                           std::to_string(p.expected_size);
      line += line.size() + detail.size() <= notice_line_limit ? detail : "wrong size";
      break;
    }
    case RomFault::none: break;
  }
  return line.substr(0, notice_line_limit);
}

// The roms directory as the user would write it, in plain ASCII, cut from the left to fit.
// Under the home directory it starts with "~/", which keeps the data directory's path whole.
std::string directory_line() {
  std::string path = rom_dir;
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  if (home.size() > 1 && path.compare(0, home.size() + 1, home + "/") == 0) path = "~" + path.substr(home.size());
  std::string dir;
  for (char c : path) {
    if (c == '/' && !dir.empty() && dir.back() == '/') continue;
    const unsigned char u = static_cast<unsigned char>(c);
    dir += (u >= 0x20 && u < 0x7F) ? c : '?';
  }
  if (dir.size() > notice_line_limit) dir = "..." + dir.substr(dir.size() - (notice_line_limit - 3));
  return dir;
}

// The built-in ROM looks for 'M','!' at 0x3F00 and shows the text that follows.
void write_missing_rom_notice(const std::vector<RomProblem>& problems) {
  const std::string dir = directory_line();
  std::string text;
  for (const RomProblem& p : problems) {
    const std::string line = problem_line(p) + "\n";
    if (text.size() + line.size() + dir.size() + 1 > notice_limit) break;
    text += line;
  }
  text += dir;
  uint8_t* notice = ram + 0x3F00;
  notice[0] = 'M';
  notice[1] = '!';
  std::memcpy(notice + 2, text.data(), text.size());
  notice[2 + text.size()] = 0;
  mark_ram_written(0x3F00, static_cast<uint32_t>(3 + text.size()));
}

void copy_firmware(uint8_t* dest, size_t dest_size, const unsigned char* src, size_t src_size) {
  std::memset(dest, 0xFF, dest_size);
  std::memcpy(dest, src, src_size < dest_size ? src_size : dest_size);
}

void install_builtin_roms(const std::vector<RomProblem>& problems) {
  copy_firmware(AQUA_ROM, sizeof AQUA_ROM, firmware_sysrom, firmware_sysrom_size);
  copy_firmware(CHAR_ROM, sizeof CHAR_ROM, firmware_charrom, firmware_charrom_size);
  std::memset(EXT_ROM, 0, sizeof EXT_ROM);
  builtin_roms_active = true;
  user_roms_in_force = false;
  Rebuild_Mem();
  patch_cassette_routine();
  write_missing_rom_notice(problems);
}

const char* code_description(uint32_t code) {
  switch (code) {
    case 2: return "the extension ROM extbasic.rom cannot be opened";
    case 3: return "the extension ROM extbasic.rom is not 4096 bytes long";
    case 8: return "the USB controller cannot be set up: out of memory";
    case 0x16: return "this file is not of a type that can be loaded";
    default: return "the operation failed";
  }
}

}  // namespace

void select_rom_names() {
  if (rom_mode == 1) {
    current_rom = "aquariusS2.rom";
    current_char = "charS2.rom";
  } else {
    current_rom = "aquariusS1.rom";
    current_char = "charS1.rom";
  }
}

void patch_cassette_routine() {
  std::memcpy(AQUA_ROM + cassette_patch_address, cassette_patch, sizeof cassette_patch);
}

namespace {

// Reads every image the choice needs into the staging buffers, patched as they will run; the
// images in force are not touched. Every file is examined, so that one message names
// everything that needs fixing.
std::vector<RomProblem> stage_images(uint8_t for_model, const std::string& system_name, const std::string& char_name) {
  std::vector<RomProblem> problems;
  stage(problems, system_name, staged_system, system_rom_size, 0);
  stage(problems, char_name, staged_char, char_rom_size, 0);
  if (for_model == 1) {
    // The Aquarius II always runs the series 2 system ROM; the series only picks its
    // character set, though the series system ROM must still be present.
    stage(problems, "aquariusS2.rom", staged_system, system_rom_size, 0);
    stage(problems, "extbasic.rom", staged_ext, ext_rom_size, 0);
    if (!problems.empty() && problems.back().name == "extbasic.rom")
      problems.back().code = problems.back().fault == RomFault::wrong_size ? 3 : 2;
  }
  if (problems.empty()) std::memcpy(staged_system + cassette_patch_address, cassette_patch, sizeof cassette_patch);
  return problems;
}

std::string problems_text(const std::vector<RomProblem>& problems) {
  std::string text;
  for (const RomProblem& p : problems) text += (text.empty() ? "" : "\n") + problem_sentence(p);
  return text;
}

// Puts the staged images in force for the model and series in model and rom_mode.
void install_staged_images() {
  std::memcpy(AQUA_ROM, staged_system, sizeof AQUA_ROM);
  std::memcpy(CHAR_ROM, staged_char, sizeof CHAR_ROM);
  if (model == 1) std::memcpy(EXT_ROM, staged_ext, sizeof EXT_ROM);
  builtin_roms_active = false;
  user_roms_in_force = true;
  loaded_model = model;
  loaded_rom_mode = rom_mode;
  Rebuild_Mem();
  patch_cassette_routine();
}

int load_roms(bool builtin_fallback) {
  const std::vector<RomProblem> problems = stage_images(model, current_rom, current_char);
  if (problems.empty()) {
    install_staged_images();
    return 0;
  }

  Aqua_Error(0, problems.front().code, problems_text(problems));

  if (user_roms_in_force) {
    // The images in force stay, and so do the model and series they belong to.
    model = loaded_model;
    rom_mode = loaded_rom_mode;
    select_rom_names();
  } else if (builtin_fallback) {
    // Never run without a system ROM: the free ROMs tell the user what is missing.
    install_builtin_roms(problems);
  }
  return 1;
}

}  // namespace

int Load_ROM() { return load_roms(true); }

int switch_roms(uint8_t old_model, uint8_t old_rom_mode) {
  // The free ROMs, when they run, stay as they are too: they are not reinstalled over a session.
  const bool free_roms_running = builtin_roms_active;
  if (load_roms(!free_roms_running) == 0) return 0;
  if (free_roms_running) {
    model = old_model;
    rom_mode = old_rom_mode;
    select_rom_names();
  }
  return 1;
}

bool stage_roms_for(uint8_t new_model, uint8_t new_series, std::string& why) {
  const char* const series_name = new_series == 1 ? "S2" : "S1";
  const std::vector<RomProblem> problems = stage_images(new_model, std::string("aquarius") + series_name + ".rom",
                                                        std::string("char") + series_name + ".rom");
  why = problems_text(problems);
  return problems.empty();
}

StagedRoms staged_roms() { return {staged_system, staged_char, staged_ext}; }

void commit_staged_roms(uint8_t new_model, uint8_t new_series) {
  model = new_model;
  rom_mode = new_series;
  select_rom_names();
  install_staged_images();
}

int Initialise_Emulator(const StartupChoices& choices) {
  memory_allocate();
  user_roms_in_force = false;
  builtin_roms_active = false;
  quit_requested = false;
  frame_count = 0;
  speed = 0;

  char cwd[PATH_MAX];
  program_dir = getcwd(cwd, sizeof cwd) ? cwd : ".";
  // At the root of the file system the directory already ends in its slash.
  const std::string base = program_dir == "/" ? std::string() : program_dir;
  ROMSDir = base + "/roms/";
  rom_dir = ROMSDir;
  usb_dir = base + "/usb/";

  load_config();
  if (choices.apply_settings) choices.apply_settings();
  select_keyboard_table();
  select_rom_names();
  memtop = max_memtop[ram_size < 5 ? ram_size : 0];

  host_initialise();  // window with the timing tables, audio device, joysticks
  const int result = load_roms(choices.builtin_fallback);
  Reset_Z80();
  ClearPorts();
  return result;
}

// A reset ends a recording in progress: what the ROM wrote so far is saved first.
void HardReset() {
  tape_recorder_finish();
  pause_audio();
  if (per_MicroEx) {
    microex_hard_reset();
  } else {
    Load_ROM();
    ClearPorts();
    Reset_Z80();
  }
  resume_audio();
}

void set_ram_size(uint8_t size) {
  ram_size = size < 5 ? size : 4;
  memtop = max_memtop[ram_size];
  tape_recorder_finish();
  Reset_Z80();
  host_request_repaint();
}

int switch_model(uint8_t new_model) {
  const uint8_t old_model = model;
  model = new_model ? 1 : 0;
  if (switch_roms(old_model, rom_mode) != 0) return 1;
  tape_recorder_finish();
  Reset_Z80();
  return 0;
}

int switch_series(uint8_t new_series) {
  const uint8_t old_rom_mode = rom_mode;
  rom_mode = new_series ? 1 : 0;
  select_rom_names();
  if (switch_roms(model, old_rom_mode) != 0) return 1;
  tape_recorder_finish();
  Reset_Z80();
  return 0;
}

void SoftReset() {
  tape_recorder_finish();
  pause_audio();
  ClearPorts();
  start_pending_cartridge();
  z80.pc = 0;
  resume_audio();
}

int Aqua_Error(uint8_t kind, uint32_t code, const std::string& reason) {
  pause_audio();
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%02X - ", kind);
  host_show_error(prefix + (reason.empty() ? std::string(code_description(code)) : reason));
  resume_audio();
  return 1;
}
