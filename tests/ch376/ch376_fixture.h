// A temporary program directory for the CH376 tests:
//   <top>/prog/usb   the served directory
//   <top>/o          a sibling full of canary files that nothing may touch
// and helpers that drive ports 0x40/0x41 the way a Z80 program does.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ch376/ch376.h"
#include "ch376/ch376_state.h"
#include "core/roms.h"

namespace fs = std::filesystem;

// Everything below a directory: relative path -> (size, mtime ns, content for regular files).
struct TreeSnapshot {
  std::map<std::string, std::string> entries;
  bool operator==(const TreeSnapshot&) const = default;
};

inline TreeSnapshot snapshot_tree(const fs::path& top) {
  TreeSnapshot s;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
    struct stat st;
    lstat(it->path().c_str(), &st);
    std::string key = fs::relative(it->path(), top).string();
    std::string value = std::to_string(st.st_mode) + ":" + std::to_string(st.st_size) + ":" +
                        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISREG(st.st_mode)) {
      std::ifstream in(it->path(), std::ios::binary);
      value += ":" + std::string(std::istreambuf_iterator<char>(in), {});
    }
    s.entries[key] = value;
  }
  return s;
}

inline void write_host_file(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> read_host_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Bytes 0..n-1 of a pattern that does not repeat every 256 bytes, so a misplaced chunk shows.
inline std::vector<uint8_t> sample_bytes(size_t n, uint32_t seed = 1) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

class Ch376Test : public ::testing::Test {
 protected:
  fs::path top, prog, usb, outside;
  TreeSnapshot outside_before;

  void SetUp() override {
    char pattern[] = "/tmp/vantorel-ch376-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top = pattern;
    prog = top / "prog";
    usb = prog / "usb";
    outside = top / "o";
    fs::create_directories(usb);
    fs::create_directories(outside / "deep");
    write_host_file(outside / "c.txt", {'c', 'a', 'n', 'a', 'r', 'y'});
    write_host_file(outside / "deep" / "d.txt", {'d', 'e', 'e', 'p'});
    write_host_file(top / "t.txt", {'t', 'o', 'p'});
    outside_before = snapshot_tree(outside);
    program_dir = prog.string();
    usb_dir = program_dir + "/usb/";
    ROMSDir = program_dir + "/roms/";
    ASSERT_TRUE(ch376_create());
  }

  void TearDown() override {
    ch376_destroy();
    // Nothing the emulated program did may have reached outside the usb directory.
    EXPECT_TRUE(snapshot_tree(outside) == outside_before) << "the sibling directory changed";
    std::vector<std::string> top_level;
    for (auto& e : fs::directory_iterator(top)) top_level.push_back(e.path().filename().string());
    std::sort(top_level.begin(), top_level.end());
    EXPECT_EQ(top_level, (std::vector<std::string>{"o", "prog", "t.txt"}));
    EXPECT_EQ(read_host_file(top / "t.txt"), (std::vector<uint8_t>{'t', 'o', 'p'}));
    std::error_code ec;
    fs::permissions(top, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(top, ec);
  }

  // Port 0x41 / 0x40 as the CPU sees them.
  void command(uint8_t c) { ch376_write_command_port(c); }
  void data_out(uint8_t v) { ch376_write_data_port(v); }
  uint8_t data_in() { return ch376_read_data_port(); }
  uint8_t get_status() {
    command(GET_STATUS);
    return data_in();
  }
  void set_name(const std::string& name) {
    command(SET_FILE_NAME);
    for (char c : name) data_out(static_cast<uint8_t>(c));
    data_out(0);
  }
  uint8_t mount() {
    command(SET_USB_MODE);
    data_out(6);
    command(DISK_MOUNT);
    return get_status();
  }
  uint8_t name_command(uint8_t cmd, const std::string& name) {
    set_name(name);
    command(cmd);
    return get_status();
  }
  // RD_USB_DATA0: the length byte, then that many bytes.
  std::vector<uint8_t> read_result() {
    command(RD_USB_DATA0);
    uint8_t n = data_in();
    std::vector<uint8_t> v;
    for (int i = 0; i < n; ++i) v.push_back(data_in());
    return v;
  }
  // A whole BYTE_READ transfer; chunk_sizes gets the length of every chunk announced by 0x1D.
  std::vector<uint8_t> byte_read(uint16_t count, std::vector<int>* chunk_sizes = nullptr) {
    command(BYTE_READ);
    data_out(static_cast<uint8_t>(count));
    data_out(static_cast<uint8_t>(count >> 8));
    std::vector<uint8_t> all;
    for (int guard = 0; guard < 1000 && get_status() == USB_INT_DISK_READ; ++guard) {
      std::vector<uint8_t> chunk = read_result();
      if (chunk_sizes) chunk_sizes->push_back(static_cast<int>(chunk.size()));
      all.insert(all.end(), chunk.begin(), chunk.end());
      command(BYTE_RD_GO);
    }
    return all;
  }
  // A whole BYTE_WRITE transfer; requests gets every length that WR_REQ_DATA asked for.
  uint8_t byte_write(const std::vector<uint8_t>& bytes, std::vector<int>* requests = nullptr) {
    command(BYTE_WRITE);
    data_out(static_cast<uint8_t>(bytes.size()));
    data_out(static_cast<uint8_t>(bytes.size() >> 8));
    size_t sent = 0;
    for (int guard = 0; guard < 1000 && get_status() == USB_INT_DISK_WRITE; ++guard) {
      command(WR_REQ_DATA);
      uint8_t n = data_in();
      if (requests) requests->push_back(n);
      for (int i = 0; i < n && sent < bytes.size(); ++i) data_out(bytes[sent++]);
      if (get_status() != CMD_RET_SUCCESS) return 0xEE;
      command(BYTE_WR_GO);
    }
    return get_status();
  }
  std::string root() const { return fs::canonical(usb).string(); }
  // The device saved as a state section and rebuilt from it: "" when it loads back, else why not.
  std::string state_refusal() {
    StateWriter w;
    ch376_write_state(w);
    StateReader r(w.bytes.data(), w.bytes.size());
    Ch376Saved saved;
    std::string message = "refused by the reader";
    CH376* rebuilt = ch376_read_state(r, saved) ? ch376_rebuild(saved, message) : nullptr;
    if (!rebuilt) return message;
    ch376_discard(rebuilt);
    return "";
  }
};
