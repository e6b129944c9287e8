// Memory map: eight 8K pages, page 0 the system ROM, pages 1-7 RAM or (6, 7) a cartridge.
#pragma once
#include <cstdint>

extern uint8_t* ram;                 // the 64K RAM array, indexed by Z80 address; null after shutdown
extern uint8_t* Page_RAM[8];         // page table: entry i serves i*0x2000 .. i*0x2000+0x1FFF
extern uint32_t memtop;              // highest address that behaves as present RAM
extern uint8_t ram_size;             // 0..4: the RAM expansion (index into max_memtop / ram_name)
extern uint8_t model;                // 0 = Aquarius I, 1 = Aquarius II
extern uint8_t AQUA_ROM[8192];       // system ROM image (page 0)
extern uint8_t EXT_ROM[4096];        // extension ROM image, copied to 0x2000 on model 1
extern uint32_t cart_base;           // lowest address of the mapped cartridge: 0xC000, 0xE000, or 0x10000 for none
extern uint8_t cart_view_key;        // the port 0xFF value the cartridge view was made with
extern bool power_on_ram_random;     // "Power-on RAM: random": RAM holds noise after a rebuild, as the chips do
extern uint32_t power_on_ram_seed;   // seed of the next random fill; each fill moves it on

extern const uint32_t max_memtop[5];   // RAM top per ram_size
extern const char* const ram_name[5];  // " 0K RAM " ... " 64K RAM "
extern const char* const model_name[2];

// True when top is the RAM top of one of the expansion sizes.
bool is_ram_top(uint32_t top);
// Allocates the zero-filled RAM array and points every page at a readable buffer.
void memory_allocate();
// Frees the RAM array (shutdown).
void memory_free();
// Clears RAM, copies the extension ROM for model 1, maps page 0 to the system ROM and
// pages 1-7 to RAM (unmapping any cartridge).
void Rebuild_Mem();
// Maps a cartridge image of 8192 bytes (page 7; page 6 stays as it was unless it showed the
// previous cartridge, which gives way to RAM) or 16384 bytes (pages 6 and 7). The image must
// stay valid while it is mapped: the CPU reads a copy of it passed through the scrambler.
void map_cartridge(const uint8_t* image, uint32_t size);
// Points pages 6 and 7 back at RAM.
void unmap_cartridge();
// Port 0xFF was written: the cartridge's data lines pass through an exclusive-or with the
// latch, so the view the CPU reads is made again with the new key.
void cartridge_key_written(uint8_t key);

// Reads below 0xC000 and above memtop see absent memory (0); the cartridge area always
// reads through its pages.
inline uint8_t ReadByte(uint16_t address) {
  if (address > memtop && address <= 0xBFFF) return 0;
  return Page_RAM[address >> 13][address & 0x1FFF];
}

// A mapped cartridge is ROM whatever memtop says.
inline bool writable(uint16_t address) { return address >= 0x2000 && address <= memtop && address < cart_base; }

inline void WriteByte(uint16_t address, uint8_t value) {
  if (!writable(address)) return;
  Page_RAM[address >> 13][address & 0x1FFF] = value;
}

// Opcode fetches go straight through the page table, with no memtop test.
inline uint8_t FetchOpcode(uint16_t address) { return Page_RAM[address >> 13][address & 0x1FFF]; }
