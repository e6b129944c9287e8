// STUB
#include "ch376/ch376.h"
CH376* ch376;
bool per_MicroEx;
uint8_t temp_model;
uint32_t temp_ramtop;
bool ch376_create() { return false; }
void ch376_destroy() {}
void ch376_write_command_port(uint8_t) {}
uint8_t ch376_read_command_port() { return 0xFF; }
uint8_t ch376_read_data_port() { return 0xFF; }
void ch376_write_data_port(uint8_t) {}
void trim_file_name(const char*, char* out) { out[0] = 0; }
char* normalize_file_name(const char*, char*) { return nullptr; }
FILE* system_file_open_existing(const std::string&, const std::string&) { return nullptr; }
void select_MicroEx() {}
bool load_MicroEx() { return false; }
void microex_hard_reset() {}
bool ch376_confined_path(const std::string&, std::string&) { return false; }
