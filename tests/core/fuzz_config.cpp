// libFuzzer harness of the settings reader: any file content must give settings inside their
// ranges, and writing those settings and reading them back must give them again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "sound/audio_out.h"

namespace {

struct Snapshot {
  int draw, timing, keyboard, model_, rom, stereo, ay, ram, autoload, x, y, exit;
  bool operator==(const Snapshot&) const = default;
};

Snapshot take() {
  return {draw_size, timing_type, keyboard_mode, model, rom_mode, snd_stereo, snd_aysound,
          ram_size, caq_autoload, windowpos_X, windowpos_Y, exit_msg};
}

const std::string& scratch() {
  static const std::string dir = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "vantorel-fuzz-XXXXXX").string();
    if (!mkdtemp(templ.data())) std::abort();
    // save_config reports the window position on standard output each time.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return templ;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  program_dir = scratch();
  {
    std::ofstream out(config_path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  load_config();
  const Snapshot first = take();
  if (first.draw < 1 || first.draw > 2 || first.timing < 1 || first.timing > 2 || first.model_ > 1 ||
      first.ram > 4 || first.keyboard > 1 || first.rom > 1 || first.stereo > 1 || first.ay > 1 ||
      first.autoload > 1 || first.exit > 1)
    std::abort();
  save_config();
  load_config();
  if (!(take() == first)) std::abort();
  return 0;
}
