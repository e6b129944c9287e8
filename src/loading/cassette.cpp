// STUB
#include "loading/cassette.h"
uint8_t* aqua_caq;
uint32_t caq_byte_count, caq_count;
uint8_t* aqua_txt;
uint32_t spool_len, spool_count;
bool spool_file;
uint8_t spool_speed, flipFlop, temp_sound;
uint8_t get_caq_byte() { return 0xFF; }
void aqua_get_caq_file() {}
void spool_start(const uint8_t*, uint32_t, uint8_t, uint8_t) {}
void aqua_arch_get_spool_file(const char*) {}
void read_spool_file() {}
void spool_cadence() {}
void select_autoload() {}
void patch_caq_rom() {}
