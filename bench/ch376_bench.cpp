// USB storage: how fast an emulated program moves file data and listings through the
// CH376's ports (port-function calls per second of host time, the emulated CPU left out).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench.h"
#include "ch376/ch376.h"
#include "core/roms.h"

namespace {

uint8_t status_now() {
  ch376_write_command_port(GET_STATUS);
  return ch376_read_data_port();
}

void set_name(const char* name) {
  ch376_write_command_port(SET_FILE_NAME);
  for (const char* p = name;; ++p) {
    ch376_write_data_port(static_cast<uint8_t>(*p));
    if (!*p) break;
  }
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ch376_bench() {
  char pattern[] = "/tmp/vantorel-bench-usb-XXXXXX";
  if (!mkdtemp(pattern)) return;
  std::filesystem::path top = pattern;
  std::filesystem::create_directories(top / "usb");
  {
    std::ofstream out(top / "usb" / "DATA.BIN", std::ios::binary);
    std::vector<char> bytes(65535, 'x');
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  for (int i = 0; i < 200; ++i) std::ofstream(top / "usb" / ("F" + std::to_string(i) + ".TXT")) << i;
  std::string saved_usb_dir = usb_dir;
  usb_dir = top.string() + "//usb//";
  ch376_create();
  ch376_write_command_port(SET_USB_MODE);
  ch376_write_data_port(6);
  ch376_write_command_port(DISK_MOUNT);

  // Reading: 65535 bytes per transfer, every byte through the data port.
  uint64_t bytes = 0;
  auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < 40; ++pass) {
    set_name("/DATA.BIN");
    ch376_write_command_port(FILE_OPEN);
    ch376_write_command_port(BYTE_READ);
    ch376_write_data_port(0xFF);
    ch376_write_data_port(0xFF);
    while (status_now() == USB_INT_DISK_READ) {
      ch376_write_command_port(RD_USB_DATA0);
      uint8_t n = ch376_read_data_port();
      for (int i = 0; i < n; ++i) (void)ch376_read_data_port();
      bytes += n;
      ch376_write_command_port(BYTE_RD_GO);
    }
  }
  double read_seconds = seconds_since(start);

  // Listing: a 200-file directory, entry by entry.
  uint64_t entries = 0;
  start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < 20; ++pass) {
    set_name("/*");
    ch376_write_command_port(FILE_OPEN);
    while (status_now() == USB_INT_DISK_READ) {
      ++entries;
      ch376_write_command_port(FILE_ENUM_GO);
    }
  }
  double list_seconds = seconds_since(start);

  ch376_destroy();
  usb_dir = saved_usb_dir;
  std::filesystem::remove_all(top);
  std::printf("ch376_read_bytes_per_second=%.0f\n", bytes / read_seconds);
  std::printf("ch376_listing_entries_per_second=%.0f\n", entries / list_seconds);
}

BenchmarkRegistrar registrar("ch376", ch376_bench);

}  // namespace
