// The program directory: where roms/, usb/, the settings and what the program saves live, which
// one a start picks, and the lock that keeps two programs from saving settings over each other.
#pragma once
#include <string>

// The directory the save-state chooser and the quick state use, below the program directory.
constexpr const char* STATE_DIR = "states";
// The lock file in the program directory; it stays there, empty, between runs.
constexpr const char* LOCK_FILE = ".vantorel.lock";

struct program_dir_choice {
  std::string dir;      // where to run
  std::string problem;  // why the data directory could not be used; empty when all went well
};

// Where roms/, usb/ and vantorel.ini live: the given directory (--dir); else the current
// directory when it holds roms/ or vantorel.ini; else the user's data directory
// $XDG_DATA_HOME/vantorel (a value that is not an absolute path is ignored, as the XDG rule
// says), by default $HOME/.local/share/vantorel, made with roms/ and usb/ on the first start.
// When that cannot be made, problem says why and the next one is taken: the default, and at
// last the current directory. xdg_data_home and home are the environment's (null when unset).
program_dir_choice choose_program_directory(const std::string& given, const char* xdg_data_home, const char* home);

// Locks dir for this process (flock on LOCK_FILE, held until the descriptor closes, so also
// released when the process is killed). Returns the descriptor; -1 when another process holds
// the lock (held_elsewhere set) or when no lock file can be opened there (a directory the user
// may not write, where nothing is saved anyway).
int lock_program_directory(const std::string& dir, bool& held_elsewhere);

// At start-up, in the current directory: takes its lock for the life of the process. Holding it,
// this program alone removes the temporary files that saves cut short by a kill left there and
// in states/, screenshots/ and tapes/. When another program holds it, the settings are not
// saved at the end (settings_saving is cleared) and the returned message says so; it is empty
// otherwise.
std::string claim_program_directory();
