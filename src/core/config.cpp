// The settings file: twelve value lines in a fixed order and a two-line trailer. A line's
// meaning is its position; the key text before "=" is written for people, never compared.
#include "core/config.h"

#include <cstdio>
#include <istream>
#include <limits>
#include <sstream>
#include <vector>

#include "core/frame.h"
#include "core/host_file.h"
#include "core/memory.h"
#include "core/roms.h"
#include "sound/audio_out.h"

uint8_t draw_size = 1;
bool keyboard_mode = false, caq_autoload = false, exit_msg = true;
bool settings_saving = true;
int32_t windowpos_X = 200, windowpos_Y = 200;
uint8_t opt_draw_size, opt_timing_type, opt_keyboard_mode, opt_model, opt_rom_mode,
    opt_snd_stereo, opt_snd_aysound, opt_ram_size, opt_caq_autoload, opt_exit_msg;
uint8_t tmp_draw_size, tmp_timing_type, tmp_keyboard_mode, tmp_model, tmp_rom_mode,
    tmp_snd_stereo, tmp_snd_aysound, tmp_ram_size, tmp_caq_autoload, tmp_exit_msg;

namespace {

enum Line { DRAW_SIZE, TIMING, KEYBOARD, MODEL, ROM_MODE, STEREO, AYSOUND, RAM_SIZE,
            AUTOLOAD, WINDOW_X, WINDOW_Y, EXIT_MSG, VALUE_LINES };

constexpr const char* keys[VALUE_LINES] = {
    "opt_draw_size=", "opt_timing_type=", "opt_keyboard_mode=", "opt_model=",
    "opt_rom_mode=", "opt_snd_stereo=", "opt_snd_aysound=", "opt_ram_size=",
    "opt_caq_autoload=", "opt_windowpos_x=", "opt_windowpos_y=", "opt_exit_msg="};
// AY sound defaults to on: the machine's sound expansion is there unless the user turns it off.
constexpr int32_t defaults[VALUE_LINES] = {1, 1, 0, 0, 1, 1, 1, 0, 0, 200, 200, 1};

// A value is taken only when it is in its range: 258 is no timing, not NTSC's 2.
uint8_t byte_setting(bool ok, int32_t value, uint8_t low, uint8_t high, uint8_t fallback) {
  if (!ok || value < low || value > high) return fallback;
  return static_cast<uint8_t>(value);
}

uint8_t flag_setting(bool ok, int32_t value, uint8_t fallback) {
  return ok ? (value != 0) : fallback;
}

void copy_staged_into_live() {
  draw_size = opt_draw_size;
  timing_type = opt_timing_type;
  keyboard_mode = opt_keyboard_mode;
  model = opt_model;
  rom_mode = opt_rom_mode;
  snd_stereo = opt_snd_stereo;
  snd_aysound = opt_snd_aysound;
  ram_size = opt_ram_size;
  caq_autoload = opt_caq_autoload;
  exit_msg = opt_exit_msg;
}

void stage_settings(const bool ok[VALUE_LINES], const int32_t v[VALUE_LINES]) {
  const auto d = [](Line l) { return static_cast<uint8_t>(defaults[l]); };
  // Full screen is not a size to come back to: the window size it left is not stored.
  const bool full_screen = ok[DRAW_SIZE] && v[DRAW_SIZE] == 3;
  opt_draw_size = full_screen ? 1 : byte_setting(ok[DRAW_SIZE], v[DRAW_SIZE], 1, 2, d(DRAW_SIZE));
  opt_timing_type = byte_setting(ok[TIMING], v[TIMING], 1, 2, d(TIMING));
  opt_keyboard_mode = flag_setting(ok[KEYBOARD], v[KEYBOARD], d(KEYBOARD));
  opt_model = byte_setting(ok[MODEL], v[MODEL], 0, 1, d(MODEL));
  opt_rom_mode = flag_setting(ok[ROM_MODE], v[ROM_MODE], d(ROM_MODE));
  opt_snd_stereo = flag_setting(ok[STEREO], v[STEREO], d(STEREO));
  opt_snd_aysound = flag_setting(ok[AYSOUND], v[AYSOUND], d(AYSOUND));
  opt_ram_size = byte_setting(ok[RAM_SIZE], v[RAM_SIZE], 0, 4, d(RAM_SIZE));
  opt_caq_autoload = flag_setting(ok[AUTOLOAD], v[AUTOLOAD], d(AUTOLOAD));
  windowpos_X = ok[WINDOW_X] ? v[WINDOW_X] : defaults[WINDOW_X];
  windowpos_Y = ok[WINDOW_Y] ? v[WINDOW_Y] : defaults[WINDOW_Y];
  opt_exit_msg = flag_setting(ok[EXIT_MSG], v[EXIT_MSG], d(EXIT_MSG));
}

}  // namespace

std::string config_path() { return (program_dir.empty() ? std::string(".") : program_dir) + "/vantorel.ini"; }

bool load_config_getline(std::istream& in, int32_t& value) {
  // A settings line is a few bytes long; a huge one (a wrong file in its place) is cut
  // rather than read whole into memory.
  constexpr size_t longest_line = 256;
  std::string line;
  char c;
  bool read_any = false;
  while (in.get(c)) {
    read_any = true;
    if (c == '\n') break;
    if (line.size() == longest_line) {
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      break;
    }
    line += c;
  }
  if (!read_any) return false;
  const size_t equals = line.find('=');
  if (equals != std::string::npos) line.erase(0, equals + 1);
  std::istringstream number(line);
  int32_t parsed = 0;
  // Read as a stream reads an int: blanks skipped, a sign, digits; anything after ignored.
  // An empty, non-numeric or out-of-range value is no value at all.
  if (!(number >> parsed)) return false;
  value = parsed;
  return true;
}

void load_config() {
  bool ok[VALUE_LINES] = {};
  int32_t values[VALUE_LINES] = {};
  // Only a regular file is read, and only its first 64 KiB: a FIFO or a link to /dev/zero in
  // its place must not hold up the start.
  constexpr uint64_t longest_file = 64 * 1024;
  std::vector<uint8_t> content;
  uint64_t size = 0;
  host_file_status status;
  if (read_host_file(config_path(), longest_file, content, size, status)) {
    std::istringstream in(std::string(content.begin(), content.end()));
    for (int line = 0; line < VALUE_LINES; ++line) ok[line] = load_config_getline(in, values[line]);
    std::string end_marker;
    std::getline(in, end_marker);
  }
  stage_settings(ok, values);
  copy_staged_into_live();
}

void save_config() {
  if (!settings_saving) return;
  tmp_draw_size = draw_size;
  tmp_timing_type = timing_type;
  tmp_keyboard_mode = keyboard_mode;
  tmp_model = model;
  tmp_rom_mode = rom_mode;
  tmp_snd_stereo = snd_stereo;
  tmp_snd_aysound = snd_aysound;
  tmp_ram_size = ram_size;
  tmp_caq_autoload = caq_autoload;
  tmp_exit_msg = exit_msg;

  const int32_t values[VALUE_LINES] = {
      tmp_draw_size, tmp_timing_type, tmp_keyboard_mode, tmp_model, tmp_rom_mode,
      tmp_snd_stereo, tmp_snd_aysound, tmp_ram_size, tmp_caq_autoload,
      windowpos_X, windowpos_Y, tmp_exit_msg};
  std::string text;
  for (int line = 0; line < VALUE_LINES; ++line) text += keys[line] + std::to_string(values[line]) + "\n";
  text += "[End]\n-----Nothing Below This Line-----\n";

  // The one writer replaces the file in one step, through a link, and leaves a read-only file alone.
  std::string error;
  if (save_file(config_path(), text, error)) {
    std::printf("%d - %d\n", windowpos_X, windowpos_Y);
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "vantorel: the settings were not saved: %s\n", error.c_str());
  }
}
