// Memory map: the page table, the RAM array and the RAM expansion sizes.
#include "core/memory.h"

#include <cstring>

uint8_t* ram = nullptr;
// The CPU fetches opcodes through the page table without any check, so a page must always
// point somewhere readable: before the first ROM load and after shutdown it is this one.
static uint8_t blank_page[0x2000];
uint8_t* Page_RAM[8] = {blank_page, blank_page, blank_page, blank_page,
                        blank_page, blank_page, blank_page, blank_page};
uint32_t memtop = 0x3FFF;
uint8_t ram_size = 0;
uint8_t model = 0;
uint8_t AQUA_ROM[8192];
uint8_t EXT_ROM[4096];

const uint32_t max_memtop[5] = {0x3FFF, 0x5FFF, 0x7FFF, 0xBFFF, 0xFFFF};
const char* const ram_name[5] = {" 0K RAM ", " 4K RAM ", " 16K RAM ", " 32K RAM ", " 64K RAM "};
const char* const model_name[2] = {"Aquarius I", "Aquarius II"};

static void point_pages_at_blank() {
  for (uint8_t*& page : Page_RAM) page = blank_page;
}

void memory_allocate() {
  if (!ram) ram = new uint8_t[0x10000];
  std::memset(ram, 0, 0x10000);
  // Until the ROMs are in, page 0 shows the (still empty) ROM image and the rest plain RAM.
  Page_RAM[0] = AQUA_ROM;
  for (int i = 1; i < 8; ++i) Page_RAM[i] = ram + i * 0x2000;
}

void memory_free() {
  point_pages_at_blank();
  delete[] ram;
  ram = nullptr;
}

void Rebuild_Mem() {
  if (!ram) memory_allocate();
  std::memset(ram, 0, 0x10000);
  // The Aquarius II's extension ROM lives in RAM: programs may overwrite it.
  if (model == 1) std::memcpy(ram + 0x2000, EXT_ROM, sizeof EXT_ROM);
  Page_RAM[0] = AQUA_ROM;
  for (int i = 1; i < 8; ++i) Page_RAM[i] = ram + i * 0x2000;
}
