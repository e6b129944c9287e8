// A scratch directory for one test, removed with everything in it afterwards.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct ScratchDir {
  std::string path;
  ScratchDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "vantorel-test-XXXXXX").string();
    path = mkdtemp(templ.data()) ? templ : "";
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  void write(const std::string& name, const std::vector<unsigned char>& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void write_text(const std::string& name, const std::string& text) const {
    write(name, std::vector<unsigned char>(text.begin(), text.end()));
  }
  std::string read_text(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
};

// size bytes whose values depend on position and seed, so that images are told apart.
inline std::vector<unsigned char> pattern(size_t size, unsigned seed) {
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 7 + seed * 31 + (i >> 8)) & 0xFF);
  return bytes;
}
