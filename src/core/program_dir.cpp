// Choosing the program directory at start-up, and holding it against a second program.
#include "core/program_dir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <vector>

#include "core/config.h"
#include "core/host_file.h"
#include "loading/tape_recorder.h"
#include "video/screenshot.h"

namespace {

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Makes dir with roms/ and usb/; false with why set.
bool make_data_directory(const std::string& dir, std::string& why) {
  std::error_code failure;
  for (const char* sub : {"/roms", "/usb"}) {
    std::filesystem::create_directories(dir + sub, failure);
    if (failure) {
      why = failure.message();
      return false;
    }
  }
  return true;
}

std::string current_directory() {
  char here[PATH_MAX];
  return getcwd(here, sizeof here) ? here : ".";
}

// The lock of this process's own program directory: open for as long as the process runs.
int held_lock = -1;

}  // namespace

program_dir_choice choose_program_directory(const std::string& given, const char* xdg_data_home, const char* home) {
  if (!given.empty()) return {given, ""};
  if (exists("roms") || exists("vantorel.ini")) return {".", ""};
  struct candidate {
    std::string dir, source;
  };
  std::vector<candidate> candidates;
  if (xdg_data_home && xdg_data_home[0] == '/')
    candidates.push_back({std::string(xdg_data_home) + "/vantorel", " (from XDG_DATA_HOME)"});
  if (home && home[0]) candidates.push_back({std::string(home) + "/.local/share/vantorel", ""});
  program_dir_choice choice{".", ""};
  for (const candidate& c : candidates) {
    std::string why;
    if (make_data_directory(c.dir, why)) {
      choice.dir = c.dir;
      break;
    }
    choice.problem += "The data directory " + c.dir + c.source + " cannot be made: " + why + ". ";
  }
  if (!choice.problem.empty())
    choice.problem += "Using " + (choice.dir == "." ? "the current directory " + current_directory() : choice.dir) + " instead.";
  return choice;
}

int lock_program_directory(const std::string& dir, bool& held_elsewhere) {
  held_elsewhere = false;
  const int fd = open((dir + "/" + LOCK_FILE).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    held_elsewhere = errno == EWOULDBLOCK;
    close(fd);
    return -1;
  }
  return fd;
}

std::string claim_program_directory() {
  bool held_elsewhere = false;
  const int fd = lock_program_directory(".", held_elsewhere);
  if (held_elsewhere) {
    settings_saving = false;
    return "Another Vantorel is running in " + current_directory() + ": this one will not save its settings when it ends.";
  }
  if (fd < 0) return "";
  held_lock = fd;
  // Another program may be saving into these right now unless this one holds the lock.
  for (const char* dir : {".", STATE_DIR, SCREENSHOT_DIR, TAPE_DIR}) remove_stale_temporaries(dir);
  return "";
}
