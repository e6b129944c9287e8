// The cassette recorder: the bytes the system ROM sends to tape, written out as a .caq file.
//
// Every tape byte of the machine's ROMs (and of the free ROM) passes through one routine at
// 0x1B8A; the CPU hands each byte to tape_record_byte instead of letting the routine bit-bang
// it. Those bytes are exactly a cassette image, so a recording is saved as it stands.
#pragma once
#include <cstdint>
#include <string>

extern uint8_t tape_record[];             // the recording so far (allocated once, never freed)
extern uint32_t tape_record_length;       // bytes in tape_record
extern uint32_t tape_record_idle;         // T-states since the last tape byte, counted in whole frames
extern bool tape_record_overflow;         // bytes beyond TAPE_RECORD_MAX were dropped

// A 64K program makes a recording of well under 128K; larger ones are cut here.
constexpr uint32_t TAPE_RECORD_MAX = 1u << 20;
// Where and as what recordings are kept, relative to program_dir.
constexpr const char* TAPE_DIR = "tapes";

// The next byte of a recording (the CPU's trap at 0x1B8A).
void tape_record_byte(uint8_t value);
// Frame end: a recording that has gone one emulated second without a byte is saved.
void tape_recorder_frame(uint32_t frame_tstates);
// Saves a recording in progress, if any (resets, quit), and starts afresh.
void tape_recorder_finish();

// The file name a recording is saved under, without directory or ".caq": the six name bytes
// after the first leader and sync, trailing blanks and NULs dropped, letters in capitals,
// anything but A-Z and 0-9 as '_'. "TAPE" when that leaves nothing or there is no name.
std::string tape_file_name(const uint8_t* bytes, uint32_t length);
// Writes bytes to dir/NAME.caq, or NAME-2.caq, NAME-3.caq ... when taken, through a temporary
// file that is renamed only once it is complete; an existing file is never replaced. Returns
// the file name chosen, or an empty string with error set (the path and the reason).
std::string tape_save_file(const std::string& dir, const std::string& name, const uint8_t* bytes,
                           uint32_t length, std::string& error);
