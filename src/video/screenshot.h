// Screenshots: the 352 x 232 picture as PNG, for the desktop's Save Screenshot and the headless
// runner's --screenshot alike, and the printer's paper the same way. (Built apart from the machine library: it needs cairo.)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Where the desktop keeps screenshots, relative to program_dir.
constexpr const char* SCREENSHOT_DIR = "screenshots";

// The picture as it stands, encoded as PNG into png. False when cairo cannot encode it.
bool encode_screenshot(std::vector<uint8_t>& png);
// Any picture of 0x00RRGGBB pixels (width per row) as PNG; false when cairo cannot encode it.
bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& png);
// The printer's paper as PNG at path, through the one writer. False with error set.
bool write_paper_png(const std::string& path, std::string& error);
// The picture as PNG at path, replacing it through the one writer (core/host_file.h). False
// with error set (the path and the reason).
bool write_screenshot_png(const std::string& path, std::string& error);
// The picture as a new file screenshots/STEM-YYYYMMDD-HHMMSS.png in program_dir (-2, -3 ...
// appended when the name is taken; nothing is overwritten). Returns the path relative to
// program_dir, or an empty string with error set.
std::string save_screenshot(const std::string& stem, std::string& error);
