// STUB: to be replaced by the memory map implementation.
#include "core/memory.h"
uint8_t* ram = nullptr;
static uint8_t blank_page[0x2000];
uint8_t* Page_RAM[8] = {blank_page, blank_page, blank_page, blank_page, blank_page, blank_page, blank_page, blank_page};
uint32_t memtop = 0x3FFF;
uint8_t ram_size = 0;
uint8_t model = 0;
uint8_t AQUA_ROM[8192];
uint8_t EXT_ROM[4096];
const uint32_t max_memtop[5] = {0x3FFF, 0x5FFF, 0x7FFF, 0xBFFF, 0xFFFF};
const char* const ram_name[5] = {" 0K RAM ", " 4K RAM ", " 16K RAM ", " 32K RAM ", " 64K RAM "};
const char* const model_name[2] = {"Aquarius I", "Aquarius II"};
void memory_allocate() {}
void memory_free() {}
void Rebuild_Mem() {}
