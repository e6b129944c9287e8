// Scratch directories and the files the loading tests hand to the loaders.
#pragma once
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace loading_test {

inline std::string make_scratch_dir() {
  char pattern[] = "/tmp/vantorel-loading-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "/tmp";
}

// A fuzz harness's own check: a broken promise aborts, which libFuzzer reports with the input.
inline void fuzz_require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// A private directory under $TMPDIR for a fuzz harness's files, removed when the harness ends.
inline std::string make_fuzz_dir(const char* tag) {
  static std::string dir;
  dir = (std::filesystem::temp_directory_path() / (std::string(tag) + "-XXXXXX")).string();
  if (!mkdtemp(dir.data())) std::abort();
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  });
  return dir;
}

inline std::string write_file(const std::string& dir, const std::string& name,
                              const std::vector<uint8_t>& bytes) {
  std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

inline std::string write_text(const std::string& dir, const std::string& name, const std::string& text) {
  return write_file(dir, name, std::vector<uint8_t>(text.begin(), text.end()));
}

// A recognisable image: byte i is a mix of its index, so misplaced or shifted copies show.
inline std::vector<uint8_t> pattern_bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13 + seed) & 0xFF);
  return v;
}

}  // namespace loading_test
