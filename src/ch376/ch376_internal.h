// Helpers shared by the CH376 model's files (command port, file commands, host names).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "ch376/ch376.h"

// Ends a command: status for the command-port read, int_status for GET_STATUS.
inline void ch376_finish(uint8_t status, uint8_t int_status) {
  ch376->status = status;
  ch376->int_status = int_status;
}

// One of the commands the model serves (all others abort and leave the current one).
bool ch376_is_known_command(uint8_t code);
// Closes the running enumeration, if any.
void ch376_close_enumeration();
// Closes the open file, if any.
void ch376_close_file();

// The directory names resolve against: current_dir, or the root while it is still empty.
const std::string& ch376_base_dir();
// True when the canonical path p is the root or lies below it.
bool ch376_inside_root(const std::string& p);
// Canonical form of an existing path (realpath); false when it has none.
bool ch376_canonical(const std::string& path, std::string& out);
// Resolves a directory entry itself, without following a symbolic link in its last component:
// the canonical parent (inside the mount) plus the last component, each matched ignoring case
// as ch376_confined_path does. Used to erase.
bool ch376_confined_entry(const std::string& name, std::string& out);
// Opens an existing, owner-writable regular file for update; null otherwise.
FILE* ch376_open_for_update(const std::string& canonical_path);
// Opens an existing regular file: for update, or for reading only when it lacks owner-write
// permission (the stick's read-only attribute). Null when it is no regular file.
FILE* ch376_open_existing(const std::string& canonical_path);
// The entry at path exists without owner-write permission: read-only on the stick.
bool ch376_read_only(const std::string& path);
// A name a FAT directory and the host can both hold: an 8.3 form, a non-empty name part, only
// printable ASCII and none of the characters FAT forbids in names.
bool ch376_has_short_form(const std::string& name);
// Creates or truncates a regular file for reading and writing; null when the path is taken by
// something else or by a read-only file.
FILE* ch376_create_file(const std::string& confined_path);

// Starts an enumeration of the current directory with the name as pattern, and takes its first step.
void ch376_start_enumeration(const std::string& name);
// One enumeration step: true with the 32-byte entry in buffer, false when the listing has ended.
bool ch376_enumeration_step();

// File commands started by a command-port write.
void ch376_file_open();
void ch376_file_create();
void ch376_file_erase();
void ch376_dir_create();
void ch376_file_enum_go();
void ch376_seek();
void ch376_write_chunk();
void ch376_get_file_size(uint8_t parameter);
