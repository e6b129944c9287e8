// The cassette stream on port 0xFC and the key spooler that types text into the matrix.
#pragma once
#include <cstdint>
#include <string>

extern uint8_t* aqua_caq;           // cassette image bytes; null when no stream
extern uint32_t caq_byte_count;     // bytes in the stream
extern uint32_t caq_count;          // index of the next byte

extern uint8_t* aqua_txt;           // text being typed (private copy)
extern uint32_t spool_len;          // characters still to type
extern uint32_t spool_count;        // index of the next character
extern bool spool_file;             // a spool is active
extern uint8_t spool_speed;         // frames per key stroke
extern uint8_t flipFlop;            // position within the current stroke
extern uint8_t temp_sound;          // snd_sound when the spool started

uint8_t get_caq_byte();
// Inserts the cassette from file (or, re-armed by the CPU trap, from the loader's own copy).
void aqua_get_caq_file();
// Starts typing text[0..len) with the given stroke length and speed flag.
void spool_start(const uint8_t* text, uint32_t len, uint8_t stroke, uint8_t speed_flag);
// Types a NUL-terminated host text followed by the end marker 0x7F (stroke 6, unthrottled).
void aqua_arch_get_spool_file(const char* text);
void read_spool_file();
// The frame step's spool cadence.
void spool_cadence();
void select_autoload();
// Writes the 6-byte byte-read patch into the system ROM image.
void patch_caq_rom();
