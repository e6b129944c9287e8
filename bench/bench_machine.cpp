#include "bench_machine.h"

#include <unistd.h>

#include <fstream>

#include "core/roms.h"

extern const unsigned char firmware_sysrom[];
extern const unsigned firmware_sysrom_size;
extern const unsigned char firmware_charrom[];
extern const unsigned firmware_charrom_size;

namespace {

void write_file(const std::filesystem::path& path, const unsigned char* data, unsigned size) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data), size);
}

}  // namespace

BenchMachine::BenchMachine(const char* tag) {
  std::string templ = (std::filesystem::temp_directory_path() / (std::string(tag) + "-XXXXXX")).string();
  if (!mkdtemp(templ.data())) return;
  dir_ = templ;
  std::filesystem::create_directory(dir_ / "roms");
  write_file(dir_ / "roms" / "aquariusS2.rom", firmware_sysrom, firmware_sysrom_size);
  write_file(dir_ / "roms" / "charS2.rom", firmware_charrom, firmware_charrom_size);
  char cwd[4096];
  previous_dir_ = getcwd(cwd, sizeof cwd) ? cwd : ".";
  if (chdir(dir_.c_str()) != 0) return;
  Initialise_Emulator();
  ready_ = true;
}

BenchMachine::~BenchMachine() {
  if (!previous_dir_.empty()) (void)chdir(previous_dir_.c_str());
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}
