// STUB
#include "loading/loader.h"
const file_type_entry file_type[15] = {};
const file_type_entry* file_type_ptr;
std::string current_filename;
loaded_file file;
uint8_t* aqua_cart;
bool caq_loaded;
std::string load_error;
uint8_t check_file(const std::string&) { return 1; }
bool aqua_read_file() { return false; }
bool aqua_get_file() { return false; }
void release_file() {}
void load_file_begin() {}
uint8_t menu_load_path(const std::string&) { return 1; }
void load_file_end() {}
uint8_t do_load_file(const std::string&) { return 1; }
bool load_usb_file(const std::string&) { return false; }
