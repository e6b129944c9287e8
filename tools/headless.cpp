// vantorel-headless: the whole machine with no window and no audio device, driven from the
// command line. Used by scripts, tests and people who test Aquarius software.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ch376/ch376.h"
#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "sound/audio_out.h"
#include "tools/headless_host.h"
#include "video/raster.h"
#include "z80/z80.h"

namespace {

struct Options {
  std::string dir;
  long frames = 100;
  bool screen_text = false;
  std::string screenshot;
  std::string audio;
  std::vector<std::string> loads;
  std::string type_text;
  bool have_type = false;
  bool autoload = false;
  long soft_reset_after = -1;
  bool microex = false;
  int timing = 0;    // 0: as configured, 1 PAL, 2 NTSC
  int ram = -1;      // -1: as configured
  int model = -1;
  int series = -1;
  std::vector<std::pair<unsigned, unsigned>> dumps;  // address, length
};

void usage() {
  std::fprintf(stderr,
      "usage: vantorel-headless [options]\n"
      "  --dir DIR               program directory holding roms/, usb/ and vantorel.ini\n"
      "  --frames N              frames to run (default 100)\n"
      "  --pal | --ntsc          timing standard (default: as configured)\n"
      "  --model 0|1             Aquarius I or II (default: as configured)\n"
      "  --series 1|2            ROM series (default: as configured)\n"
      "  --ram 0..4              RAM expansion 0K/4K/16K/32K/64K (default: as configured)\n"
      "  --load FILE             load a file as a dropped file (cartridge, cassette, text)\n"
      "  --type TEXT             type TEXT as pasted text\n"
      "  --autoload              start a loaded cassette automatically\n"
      "  --soft-reset-after N    soft reset after N frames (starts a mapped cartridge)\n"
      "  --microex               switch the Micro Expander on after start-up\n"
      "  --audio FILE.wav        record every sample the machine makes\n"
      "  --screen-text           print the 40x25 screen as text at the end\n"
      "  --screenshot FILE.ppm   write the 352x232 picture at the end\n"
      "  --dump ADDR:LEN         print LEN bytes of memory from ADDR (hex) at the end\n");
}

// A command-line number must be a whole decimal number and nothing else.
template <typename T>
bool whole_number(const char* text, T& out) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != 0 || errno == ERANGE || value < std::numeric_limits<T>::min() ||
      value > std::numeric_limits<T>::max()) {
    std::fprintf(stderr, "vantorel-headless: %s is not a number\n", text);
    return false;
  }
  out = static_cast<T>(value);
  return true;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vantorel-headless: %s needs a value\n", what);
        return nullptr;
      }
      return argv[++i];
    };
    const char* v = nullptr;
    if (a == "--dir") { if (!(v = next("--dir"))) return false; o.dir = v; }
    else if (a == "--frames") { if (!(v = next("--frames")) || !whole_number(v, o.frames)) return false; }
    else if (a == "--pal") o.timing = 1;
    else if (a == "--ntsc") o.timing = 2;
    else if (a == "--model") { if (!(v = next("--model")) || !whole_number(v, o.model)) return false; }
    else if (a == "--series") { if (!(v = next("--series")) || !whole_number(v, o.series)) return false; }
    else if (a == "--ram") { if (!(v = next("--ram")) || !whole_number(v, o.ram)) return false; }
    else if (a == "--load") { if (!(v = next("--load"))) return false; o.loads.push_back(v); }
    else if (a == "--type") { if (!(v = next("--type"))) return false; o.type_text = v; o.have_type = true; }
    else if (a == "--autoload") o.autoload = true;
    else if (a == "--soft-reset-after") { if (!(v = next("--soft-reset-after"))) return false; if (!whole_number(v, o.soft_reset_after)) return false; }
    else if (a == "--microex") o.microex = true;
    else if (a == "--audio") { if (!(v = next("--audio"))) return false; o.audio = v; }
    else if (a == "--screen-text") o.screen_text = true;
    else if (a == "--screenshot") { if (!(v = next("--screenshot"))) return false; o.screenshot = v; }
    else if (a == "--dump") {
      if (!(v = next("--dump"))) return false;
      unsigned addr = 0, len = 0;
      if (std::sscanf(v, "%x:%x", &addr, &len) != 2) { std::fprintf(stderr, "vantorel-headless: --dump wants ADDR:LEN in hex\n"); return false; }
      o.dumps.emplace_back(addr & 0xFFFF, len);
    } else if (a == "--help" || a == "-h") { usage(); std::exit(0); }
    else { std::fprintf(stderr, "vantorel-headless: unknown option %s\n", a.c_str()); usage(); return false; }
  }
  if (o.ram < -1 || o.ram > 4 || (o.model != -1 && o.model != 0 && o.model != 1) ||
      (o.series != -1 && o.series != 1 && o.series != 2) || o.frames < 0) {
    std::fprintf(stderr, "vantorel-headless: value out of range\n");
    return false;
  }
  return true;
}

void print_screen_text() {
  for (int row = 0; row < 25; ++row) {
    char line[41];
    for (int col = 0; col < 40; ++col) {
      uint8_t c = ram[0x3000 + 40 * row + col];
      line[col] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : ' ';
    }
    line[40] = 0;
    std::printf("%s\n", line);
  }
}

bool write_screenshot(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%u %u\n255\n", display_width, display_height);
  for (uint32_t i = 0; i < display_width * display_height; ++i) {
    uint32_t p = display_buffer[i];
    uint8_t rgb[3] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
    std::fwrite(rgb, 1, 3, f);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) return 2;
  // File names on the command line mean what they mean where the runner was started, not
  // inside --dir.
  if (!o.dir.empty()) {
    char* here = getcwd(nullptr, 0);
    if (here) {
      auto anchor = [&](std::string& path) {
        if (!path.empty() && path[0] != '/') path = std::string(here) + "/" + path;
      };
      for (std::string& path : o.loads) anchor(path);
      anchor(o.audio);
      anchor(o.screenshot);
      std::free(here);
    }
  }
  if (!o.dir.empty() && chdir(o.dir.c_str()) != 0) {
    std::fprintf(stderr, "vantorel-headless: cannot enter %s\n", o.dir.c_str());
    return 2;
  }

  Initialise_Emulator();
  bool reload = false;
  if (o.timing) set_timing(static_cast<uint8_t>(o.timing - 1));
  if (o.model >= 0 && o.model != model) { model = static_cast<uint8_t>(o.model); reload = true; }
  if (o.series > 0 && o.series - 1 != rom_mode) {
    rom_mode = static_cast<uint8_t>(o.series - 1);
    select_rom_names();
    reload = true;
  }
  if (reload) { Load_ROM(); Reset_Z80(); }
  if (o.ram >= 0) { ram_size = static_cast<uint8_t>(o.ram); memtop = max_memtop[ram_size]; }
  if (o.autoload) caq_autoload = true;
  if (!o.audio.empty()) {
    if (!headless_audio_open(o.audio)) {
      std::fprintf(stderr, "vantorel-headless: cannot write %s\n", o.audio.c_str());
      return 2;
    }
    resume_audio();
  }
  if (o.microex) select_MicroEx();

  for (const std::string& path : o.loads) {
    if (do_load_file(path) != 0) {
      std::fprintf(stderr, "vantorel-headless: %s was not loaded%s%s\n", path.c_str(),
                   load_error.empty() ? "" : ": ", load_error.c_str());
    }
  }
  if (o.have_type) aqua_arch_get_spool_file(o.type_text.c_str());

  for (long frame = 0; frame < o.frames; ++frame) {
    if (frame == o.soft_reset_after) SoftReset();
    one_Z80_frame();
    headless_audio_drain();
  }
  if (!o.audio.empty()) headless_audio_close();

  if (o.screen_text) print_screen_text();
  for (auto [addr, len] : o.dumps) {
    for (unsigned k = 0; k < len; ++k) {
      std::printf("%02X%s", ReadByte(static_cast<uint16_t>(addr + k)), (k % 16 == 15 || k + 1 == len) ? "\n" : " ");
    }
  }
  if (!o.screenshot.empty() && !write_screenshot(o.screenshot)) {
    std::fprintf(stderr, "vantorel-headless: cannot write %s\n", o.screenshot.c_str());
    return 2;
  }
  return 0;
}
