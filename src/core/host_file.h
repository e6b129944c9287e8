// Reading the user's files without ever blocking on them: only regular files are opened, the
// open itself cannot wait (a FIFO or a device never stalls the machine), and no read goes on
// for longer than its caller allows.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

struct host_file_status {
  bool missing = false;   // nothing of that name (or a path through a non-directory)
  std::string why;        // the reason it cannot be read; empty when it can
};

// Opens path for reading if it is a regular file: the type is checked before the open (so a
// FIFO is never opened) and again on the descriptor. Returns the descriptor, with st filled
// in, or -1 with status.why set ("not a regular file", or the system's reason).
int open_regular_file(const std::string& path, struct stat& st, host_file_status& status);
// Reads at most limit bytes from fd into out (replacing its content). False with why set on
// a read error. Does not close fd.
bool read_at_most(int fd, uint64_t limit, std::vector<uint8_t>& out, std::string& why);
// Both steps: the first limit bytes of the regular file at path. size receives the file's
// whole size (it may exceed what was read).
bool read_host_file(const std::string& path, uint64_t limit, std::vector<uint8_t>& out,
                    uint64_t& size, host_file_status& status);

// Makes dir unless it exists; false with error set (the path and the reason).
bool make_directory(const std::string& dir, std::string& error);
// Writes bytes to dir/NAME.EXT, or NAME-2.EXT, NAME-3.EXT ... when taken, through a temporary
// file that is renamed only once it is complete: an existing file is never replaced. Returns
// the file name chosen, or an empty string with error set (the path and the reason).
std::string save_new_file(const std::string& dir, const std::string& name, const std::string& extension,
                          const uint8_t* bytes, size_t length, std::string& error);
