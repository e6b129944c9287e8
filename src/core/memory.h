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

extern const uint32_t max_memtop[5];   // RAM top per ram_size
extern const char* const ram_name[5];  // " 0K RAM " ... " 64K RAM "
extern const char* const model_name[2];

// Allocates the zero-filled RAM array and points every page at a readable buffer.
void memory_allocate();
// Frees the RAM array (shutdown).
void memory_free();
// Clears RAM, copies the extension ROM for model 1, maps page 0 to the system ROM and
// pages 1-7 to RAM (unmapping any cartridge).
void Rebuild_Mem();

// Reads below 0xC000 and above memtop see absent memory (0); the cartridge area always
// reads through its pages.
inline uint8_t ReadByte(uint16_t address) {
  if (address > memtop && address <= 0xBFFF) return 0;
  return Page_RAM[address >> 13][address & 0x1FFF];
}

inline void WriteByte(uint16_t address, uint8_t value) {
  if (address < 0x2000 || address > memtop) return;
  Page_RAM[address >> 13][address & 0x1FFF] = value;
}

// Opcode fetches go straight through the page table, with no memtop test.
inline uint8_t FetchOpcode(uint16_t address) { return Page_RAM[address >> 13][address & 0x1FFF]; }
