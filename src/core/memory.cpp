// Memory map: the page table, the RAM array and the RAM expansion sizes.
#include "core/memory.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/ports.h"
#include "debug/run_control.h"

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
uint32_t cart_base = 0x10000;
uint8_t cart_view_key = 0;
bool power_on_ram_random = false;
uint32_t power_on_ram_seed = 0x2F6B4A1D;

namespace {
// The cartridge as stored, and as the CPU sees it through the exclusive-or on the cartridge
// port's data lines. Reads go straight through the page table to the view, so the scrambler
// costs nothing per access: the view is made again only when the key changes.
const uint8_t* cart_stored = nullptr;
uint32_t cart_size = 0;
uint8_t cart_view[0x4000];
constexpr uint32_t NO_CARTRIDGE = 0x10000;

void make_cart_view(uint8_t key) {
  for (uint32_t i = 0; i < cart_size; ++i) cart_view[i] = static_cast<uint8_t>(cart_stored[i] ^ key);
  cart_view_key = key;
}
}  // namespace

const uint32_t max_memtop[5] = {0x3FFF, 0x4FFF, 0x7FFF, 0xBFFF, 0xFFFF};
const char* const ram_name[5] = {" 0K RAM ", " 4K RAM ", " 16K RAM ", " 32K RAM ", " 64K RAM "};
const char* const model_name[2] = {"Aquarius I", "Aquarius II"};

bool is_ram_top(uint32_t top) {
  return std::find(std::begin(max_memtop), std::end(max_memtop), top) != std::end(max_memtop);
}

static void point_pages_at_blank() {
  for (uint8_t*& page : Page_RAM) page = blank_page;
  cart_base = NO_CARTRIDGE;
}

static void point_pages_at_ram() {
  Page_RAM[0] = AQUA_ROM;
  for (int i = 1; i < 8; ++i) Page_RAM[i] = ram + i * 0x2000;
  cart_stored = nullptr;
  cart_size = 0;
  cart_base = NO_CARTRIDGE;
}

void memory_allocate() {
  if (!ram) ram = new uint8_t[0x10000];
  std::memset(ram, 0, 0x10000);
  // Until the ROMs are in, page 0 shows the (still empty) ROM image and the rest plain RAM.
  point_pages_at_ram();
}

void map_cartridge(const uint8_t* image, uint32_t size) {
  cart_stored = image;
  cart_size = size > sizeof cart_view ? static_cast<uint32_t>(sizeof cart_view) : size;
  make_cart_view(PORTxxFF);
  if (cart_size > 0x2000) {
    Page_RAM[6] = cart_view;
    Page_RAM[7] = cart_view + 0x2000;
    cart_base = 0xC000;
  } else {
    if (cart_base == 0xC000 && ram) Page_RAM[6] = ram + 0xC000;
    Page_RAM[7] = cart_view;
    cart_base = 0xE000;
  }
}

void unmap_cartridge() {
  if (!ram) return;
  Page_RAM[6] = ram + 0xC000;
  Page_RAM[7] = ram + 0xE000;
  cart_stored = nullptr;
  cart_size = 0;
  cart_base = NO_CARTRIDGE;
}

void cartridge_key_written(uint8_t key) {
  if (cart_base != NO_CARTRIDGE && key != cart_view_key) make_cart_view(key);
}

void memory_free() {
  point_pages_at_blank();
  delete[] ram;
  ram = nullptr;
}

// Dynamic RAM comes up holding whatever its cells settled to; a program that works only on
// cleared RAM fails on the machine. The noise is a seeded sequence, so a run can be repeated.
static void fill_ram_with_noise() {
  uint32_t x = power_on_ram_seed ? power_on_ram_seed : 1;
  for (uint32_t a = 0x3000; a <= memtop && a <= 0xFFFF; ++a) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    ram[a] = static_cast<uint8_t>(x >> 24);
  }
  power_on_ram_seed = x;
}

void Rebuild_Mem() {
  if (!ram) memory_allocate();
  std::memset(ram, 0, 0x10000);
  if (power_on_ram_random) fill_ram_with_noise();
  // The Aquarius II's extension ROM lives in RAM: programs may overwrite it.
  if (model == 1) std::memcpy(ram + 0x2000, EXT_ROM, sizeof EXT_ROM);
  point_pages_at_ram();
  note_power_on();
}
