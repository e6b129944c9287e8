// Switching the Micro Expander on and off: its ROM in the cartridge pages, the 32K RAM it
// brings, and the CH376 record that exists only while it is plugged in.
#include <cstring>
#include <string>

#include "ch376/ch376.h"
#include "core/host.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/roms.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"
#include "z80/z80.h"

uint8_t microex_saved_ram_size = 0;
uint32_t microex_saved_memtop = 0;

namespace {

constexpr uint8_t microex_ram_size = 3;         // the expansion carries 32K of RAM
constexpr uint32_t expansion_rom_sizes[2] = {8192, 16384};  // one or both cartridge pages
constexpr uint32_t error_no_ch376_record = 8;

// Reads "aqubasic.rom" and maps it as the cartridge. An unusable file is named in the error
// box and leaves the memory map as it was.
bool install_expansion_rom() {
  std::string path = ROMSDir + "aqubasic.rom";
  current_filename = path;
  if (!aqua_read_file()) {
    Aqua_Error(0, 0, path + ": cannot be read" + (load_error.empty() ? "" : " (" + load_error + ")"));
    return false;
  }
  if (file.size != expansion_rom_sizes[0] && file.size != expansion_rom_sizes[1]) {
    Aqua_Error(0, 0, path + " has " + std::to_string(file.size) + " bytes instead of 8192 or 16384");
    return false;
  }
  if (!aqua_get_file()) {
    Aqua_Error(0, 0, path + ": cannot be mapped" + (load_error.empty() ? "" : " (" + load_error + ")"));
    return false;
  }
  return true;
}

void create_device() {
  if (!ch376_create()) Aqua_Error(0, error_no_ch376_record, "the USB controller cannot be created");
}

void unload_MicroEx() {
  if (ram) std::memset(ram, 0, 0x10000);
  ram_size = microex_saved_ram_size;
  memtop = microex_saved_memtop;
  current_filename.clear();
  // A failed reload that keeps the user's old images leaves the map alone; it must still
  // lose the expansion ROM. (The free ROMs, when they step in, come with a rebuilt map.)
  if (Load_ROM() != 0 && !builtin_roms_active) Rebuild_Mem();
  ch376_destroy();
  Reset_Z80();
}

}  // namespace

bool load_MicroEx() {
  if (!install_expansion_rom()) return false;
  Reset_Z80();
  microex_saved_ram_size = ram_size;
  microex_saved_memtop = memtop;
  create_device();
  ram_size = microex_ram_size;
  memtop = max_memtop[microex_ram_size];
  return true;
}

void select_MicroEx() {
  pause_audio();
  tape_recorder_finish();  // the machine restarts
  drop_pending_cartridge();
  per_MicroEx = !per_MicroEx;
  if (per_MicroEx) {
    if (load_MicroEx()) {
      ClearPorts();
    } else {
      per_MicroEx = false;
    }
  } else {
    unload_MicroEx();
  }
  host_request_repaint();
  resume_audio();
}

bool set_micro_expander(bool on) {
  if (per_MicroEx != on) select_MicroEx();
  return per_MicroEx == on;
}

// HardReset keeps the audio paused around this.
void microex_hard_reset() {
  drop_pending_cartridge();
  Reset_Z80();
  Rebuild_Mem();
  install_expansion_rom();
  create_device();
  memtop = max_memtop[microex_ram_size];
  ClearPorts();
  host_request_repaint();
}
