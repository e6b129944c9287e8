// vantorel-extra.ini: named settings, each line "key=value", in any order.
#include "core/extra_settings.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "core/config.h"
#include "core/host_file.h"
#include "core/memory.h"

bool cursor_controller = false;
bool integer_scaling = true;
bool keypad_controller = false;
bool micro_expander_on = false;
bool sound_enabled = true;
std::vector<std::string> recent_files;

namespace {

// An on/off setting: any number but 0 is on, as in vantorel.ini.
struct flag_entry {
  const char* key;
  bool* value;
  bool fallback;
};

// Every whole multiple of the picture shows each emulated pixel at the same size, so that is
// what a new user gets.
constexpr flag_entry flags[] = {
    {"cursor_controller", &cursor_controller, false},
    {"integer_scaling", &integer_scaling, true},
    {"keypad_controller", &keypad_controller, false},
    {"micro_expander", &micro_expander_on, false},
    {"power_on_ram_random", &power_on_ram_random, false},
    {"sound", &sound_enabled, true},
};

// Each recent file is a line of its own, "recent=PATH", newest first.
constexpr const char* RECENT_KEY = "recent";

}  // namespace

std::string extra_settings_path() {
  const std::string main_path = config_path();
  const size_t slash = main_path.rfind('/');
  return (slash == std::string::npos ? std::string(".") : main_path.substr(0, slash)) + "/vantorel-extra.ini";
}

void load_extra_settings() {
  for (const flag_entry& flag : flags) *flag.value = flag.fallback;
  recent_files.clear();
  constexpr uint64_t longest_file = 64 * 1024;
  std::vector<uint8_t> content;
  uint64_t size = 0;
  host_file_status status;
  if (!read_host_file(extra_settings_path(), longest_file, content, size, status)) return;
  std::istringstream in(std::string(content.begin(), content.end()));
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    if (key == RECENT_KEY) {
      if (recent_files.size() < RECENT_FILES_MAX && equals + 1 < line.size()) recent_files.push_back(line.substr(equals + 1));
      continue;
    }
    // The value is read by the vantorel.ini line rule, so both files mean the same by a number.
    std::istringstream value_line(line);
    int32_t value = 0;
    const bool ok = load_config_getline(value_line, value);
    for (const flag_entry& flag : flags)
      if (key == flag.key) *flag.value = ok ? value != 0 : flag.fallback;
  }
}

void save_extra_settings() {
  if (!settings_saving) return;
  std::string text;
  for (const flag_entry& flag : flags) text += std::string(flag.key) + "=" + (*flag.value ? "1" : "0") + "\n";
  for (const std::string& path : recent_files) text += std::string(RECENT_KEY) + "=" + path + "\n";
  std::string error;
  if (!save_file(extra_settings_path(), text, error))
    std::fprintf(stderr, "vantorel: the settings were not saved: %s\n", error.c_str());
}

void remember_recent_file(const std::string& path) {
  if (path.empty() || path.find_first_of("\n\r") != std::string::npos) return;
  std::erase(recent_files, path);
  recent_files.insert(recent_files.begin(), path);
  if (recent_files.size() > RECENT_FILES_MAX) recent_files.resize(RECENT_FILES_MAX);
}

const std::vector<std::string>& present_recent_files() {
  std::erase_if(recent_files, [](const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) != 0;
  });
  return recent_files;
}
