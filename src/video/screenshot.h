// Screenshots: the 352 x 232 picture as PNG, for the desktop's Save Screenshot and the headless
// runner's --screenshot alike. (Built apart from the machine library: it needs cairo.)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Where the desktop keeps screenshots, relative to program_dir.
constexpr const char* SCREENSHOT_DIR = "screenshots";

// The picture as it stands, encoded as PNG into png. False when cairo cannot encode it.
bool encode_screenshot(std::vector<uint8_t>& png);
// The picture as PNG at path, replacing it through the one writer (core/host_file.h). False
// with error set (the path and the reason).
bool write_screenshot_png(const std::string& path, std::string& error);
// The picture as a new file screenshots/STEM-YYYYMMDD-HHMMSS.png in program_dir (-2, -3 ...
// appended when the name is taken; nothing is overwritten). Returns the path relative to
// program_dir, or an empty string with error set.
std::string save_screenshot(const std::string& stem, std::string& error);
