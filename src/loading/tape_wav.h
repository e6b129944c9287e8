// Tapes as sound: a cassette image written as the signal the machine's tape writer makes, to be
// played into a real machine's cassette input, and recordings of that signal read back into
// the bytes of a cassette image.
//
// The signal (as the system ROM's writer at 0x1B8A makes it on port 0xFC bit 0): every byte is
// a start bit (0), eight data bits from the most significant, and two stop bits (1); every bit
// is two full square cycles, of half-cycles of TAPE_HALF_ONE T-states for a 1 and
// TAPE_HALF_ZERO for a 0. An image holds exactly the bytes sent, leaders and sync bytes included.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t TAPE_HALF_ONE = 1050;    // T-states: a cycle of about 0.59 ms, 1.7 kHz
constexpr uint32_t TAPE_HALF_ZERO = 2075;   // T-states: a cycle of about 1.16 ms, 860 Hz
constexpr uint32_t TAPE_WAV_RATE = 44100;   // samples a second of a written tape
constexpr uint32_t TAPE_WAV_SILENCE = TAPE_WAV_RATE / 2;  // samples of silence before and after
// Sample rates a recording may have.
constexpr uint32_t TAPE_WAV_LOWEST_RATE = 8000, TAPE_WAV_HIGHEST_RATE = 192000;

// Writes bytes[0..length) as a 44,100 Hz 16-bit mono WAV file at path (through the one writer).
// False with error set ("PATH: reason") when it cannot be written or would pass the 4 GiB of a WAV.
bool write_tape_wav(const std::string& path, const uint8_t* bytes, uint32_t length, std::string& error);
// The bytes of the tape recorded in the WAV file at path: PCM of 8, 16, 24 or 32 bits or 32-bit
// float, any number of channels up to 8 (each one and their mix are tried), TAPE_WAV_LOWEST_RATE
// to TAPE_WAV_HIGHEST_RATE. The signal may be up to a quarter off speed, inverted, offset and
// noisy. False with error set (the reason, without the path) when the file cannot be read, is
// no WAV file the reader takes, or holds no tape signal.
bool read_tape_wav(const std::string& path, std::vector<uint8_t>& tape, std::string& error);
// File → Export Tape as WAV… and --export-wav: the tape in the file at tape_path (a cassette
// image, or a recording of one, by its extension) written to wav_path. False with error set.
bool export_tape_wav(const std::string& tape_path, const std::string& wav_path, std::string& error);
