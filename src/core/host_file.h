// The user's files: reading them without ever blocking on them (only regular files are opened,
// the open itself cannot wait, no read goes on for longer than its caller allows), and the one
// way the program saves a file.
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

// The one writer of everything the program saves (settings, states, screenshots, tapes, the
// runner's outputs). A symbolic link is written through to the file it names (a dangling one
// names the file to make); a device, a FIFO or a directory is refused, and so is a read-only
// file. The bytes go to a temporary file beside the target, named by TEMPORARY_MARK, which
// takes the place of the target only once it is complete and on disk: a full disk, a failed
// write or a kill never leaves half a file. Where no file can be made beside it (a directory
// the user may not write) an existing file is rewritten in place instead. A replaced file keeps
// its permissions; a new one gets those the umask allows. Errors read "PATH: reason".
constexpr const char* TEMPORARY_MARK = ".vantorel-tmp-";  // ".NAME.vantorel-tmp-XXXXXX"

// A file being saved, written piece by piece (a recording) and put in place by finish_saved_file.
struct saved_file {
  int fd = -1;
  std::string path;       // as given, for messages
  std::string target;     // the file that is replaced: path, or what its link names
  std::string temporary;  // the file written; empty when the target is rewritten in place
};
bool start_saved_file(saved_file& file, const std::string& path, std::string& error);
bool write_saved_file(saved_file& file, const uint8_t* bytes, size_t length, std::string& error);
// Writes over bytes already written at offset (a header completed at the end).
bool rewrite_saved_file(saved_file& file, uint64_t offset, const uint8_t* bytes, size_t length, std::string& error);
bool finish_saved_file(saved_file& file, std::string& error);
// Drops what was written; the target stays as it was (unless it was being rewritten in place).
void abandon_saved_file(saved_file& file);
// All of it at once.
bool save_file(const std::string& path, const uint8_t* bytes, size_t length, std::string& error);
bool save_file(const std::string& path, const std::string& text, std::string& error);
// Writes bytes to dir/NAME.EXT, or NAME-2.EXT, NAME-3.EXT ... when taken, through a temporary
// file that is renamed only once it is complete: an existing file is never replaced. Returns
// the file name chosen, or an empty string with error set (the path and the reason).
std::string save_new_file(const std::string& dir, const std::string& name, const std::string& extension,
                          const uint8_t* bytes, size_t length, std::string& error);
// Removes from dir the temporary files that saves cut short by a kill left behind: regular files
// named by TEMPORARY_MARK. Nothing else is touched (the former vantorel.ini.XXXXXX names cannot be
// told from a user's vantorel.ini.backup). Returns how many were removed.
int remove_stale_temporaries(const std::string& dir);
