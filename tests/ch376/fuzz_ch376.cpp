// libFuzzer harness: random byte sequences on ports 0x40/0x41 over a sandbox usb directory.
// Each input is a list of (operation, value) byte pairs; the operation's low two bits pick a
// command-port write, a data-port write, a command-port read or a data-port read. Bit 0 of the
// first byte mounts the stick first, so that the file commands are reached quickly. After each
// input the device is saved as a state section, read back and rebuilt: its own state refused,
// or rebuilt into a device that saves otherwise, aborts.
//
// The sandbox is $VANTOREL_FUZZ_DIR (default: a fresh directory under /tmp):
//   <sandbox>/prog/usb       served to the emulated program, seeded with files, a
//                            subdirectory, a cartridge and symbolic links leading out, some
//                            in lower or mixed case so that upper-case names reach them
//                            through the lookup that ignores case
//   <sandbox>/outside/...    canaries: after every input their state must be unchanged
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ch376/ch376.h"
#include "ch376/ch376_state.h"
#include "core/memory.h"
#include "core/roms.h"

namespace {

std::string sandbox;
struct stat watched_before[3];
const char* const watched_names[3] = {"", "/outside", "/outside/canary.txt"};

void write_file(const std::string& path, const std::string& content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

bool same_state(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mode == b.st_mode &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The usb directory's seed files, made afresh before every input: what one input created or
// removed must not change what the next one meets (the rate would fall as the directory
// filled, and a crash could not be replayed on its own). Remaking them costs more than most
// inputs, so it is done only when the last input changed something there.
const char* const seeded_names[] = {"", "/SUB", "/A.DAT", "/SUB/B.TXT", "/S.PT3", "/GAME.ROM",
                                    "/games", "/games/pac.rom", "/Mixed.Bas", "/mixed.bas"};
constexpr int seeded_count = sizeof seeded_names / sizeof seeded_names[0];
struct stat seeded_state[seeded_count];

bool usb_as_seeded() {
  const std::string usb = sandbox + "/prog/usb";
  for (int i = 0; i < seeded_count; ++i) {
    struct stat now;
    if (lstat((usb + seeded_names[i]).c_str(), &now) != 0 || !same_state(now, seeded_state[i])) return false;
  }
  return true;
}

// Every state the device reaches saves, loads back and goes on as the same device.
void save_and_reload() {
  StateWriter saved, again;
  ch376_write_state(saved);
  StateReader reader(saved.bytes.data(), saved.bytes.size());
  Ch376Saved read;
  std::string message = "the reader refuses it";
  CH376* rebuilt = ch376_read_state(reader, read) && reader.at_end() ? ch376_rebuild(read, message) : nullptr;
  if (rebuilt) {
    ch376_install(rebuilt, read);
    ch376_write_state(again);
    message = "it reloads into another device";
  }
  if (!rebuilt || again.bytes != saved.bytes) {
    std::fprintf(stderr, "fuzz_ch376: the device's own state does not load back: %s\n", message.c_str());
    std::abort();
  }
}

void seed_usb() {
  const std::string usb = sandbox + "/prog/usb";
  if (usb_as_seeded()) return;
  // The directory itself stays (its parent is watched); links are removed, never followed.
  mkdir(usb.c_str(), 0755);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(usb, ec)) std::filesystem::remove_all(entry.path(), ec);
  mkdir((usb + "/SUB").c_str(), 0755);
  write_file(usb + "/A.DAT", std::string(600, 'a'));
  write_file(usb + "/SUB/B.TXT", "b");
  write_file(usb + "/S.PT3", "pt3");
  std::string cart = "VANTCART" + std::string(8192 - 8, '\0');
  write_file(usb + "/GAME.ROM", cart);
  symlink((sandbox + "/outside").c_str(), (usb + "/LNK").c_str());
  symlink((sandbox + "/outside/canary.txt").c_str(), (usb + "/FL").c_str());
  symlink("../../outside/new.txt", (usb + "/DANG").c_str());
  mkdir((usb + "/games").c_str(), 0755);
  write_file(usb + "/games/pac.rom", cart);
  write_file(usb + "/Mixed.Bas", "10");
  write_file(usb + "/mixed.bas", "20");
  symlink((sandbox + "/outside").c_str(), (usb + "/games/out").c_str());
  for (int i = 0; i < seeded_count; ++i) lstat((usb + seeded_names[i]).c_str(), &seeded_state[i]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = std::getenv("VANTOREL_FUZZ_DIR");
  if (dir) {
    sandbox = dir;
  } else {
    char pattern[] = "/tmp/vantorel-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    sandbox = pattern;
  }
  std::string usb = sandbox + "/prog/usb";
  mkdir((sandbox + "/prog").c_str(), 0755);
  mkdir(usb.c_str(), 0755);
  mkdir((sandbox + "/outside").c_str(), 0755);
  struct stat st;
  if (stat((sandbox + "/outside/canary.txt").c_str(), &st) != 0) write_file(sandbox + "/outside/canary.txt", "canary");
  seed_usb();

  program_dir = sandbox + "/prog";
  usb_dir = program_dir + "/usb/";
  ROMSDir = program_dir + "/roms/";
  memory_allocate();
  microex_saved_memtop = memtop;  // as switching the expansion on records it
  for (int i = 0; i < 3; ++i) {
    if (lstat((sandbox + watched_names[i]).c_str(), &watched_before[i]) != 0) std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  seed_usb();
  if (!ch376_create()) return 0;
  if (size > 0 && (data[0] & 1)) {
    ch376_write_command_port(SET_USB_MODE);
    ch376_write_data_port(6);
    ch376_write_command_port(DISK_MOUNT);
  }
  for (size_t i = 0; i + 1 < size; i += 2) {
    uint8_t value = data[i + 1];
    switch (data[i] & 3) {
      case 0: ch376_write_command_port(value); break;
      case 1: ch376_write_data_port(value); break;
      case 2: (void)ch376_read_command_port(); break;
      default: (void)ch376_read_data_port(); break;
    }
  }
  save_and_reload();
  ch376_destroy();
  per_MicroEx = false;
  // Nothing outside the usb directory may have changed: not the sandbox's top level (no new
  // entries), not the outside directory, not the canary.
  for (int i = 0; i < 3; ++i) {
    struct stat now;
    if (lstat((sandbox + watched_names[i]).c_str(), &now) != 0 || !same_state(now, watched_before[i])) {
      std::fprintf(stderr, "fuzz_ch376: %s%s changed\n", sandbox.c_str(), watched_names[i]);
      std::abort();
    }
  }
  return 0;
}
