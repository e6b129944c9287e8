// The Z80: register file, CPU-wide globals, flag tables, reset and the one-instruction step.
#pragma once
#include <cstdint>

// A register pair, addressable whole or as its high and low halves (little-endian host).
union RegisterPair {
  uint16_t w;
  struct {
    uint8_t l, h;
  } b;
};

struct Z80State {
  uint16_t pc;
  uint16_t sp;
  uint8_t iff1, iff2;   // interrupt flip-flops; iff2 is the copy LD A,I/R report and RETN restores
  uint8_t im;           // interrupt mode 0, 1, 2
  uint8_t r7;           // last value written by LD R,A; only bit 7 is used
  RegisterPair af, bc, de, hl, ix, iy;
  uint8_t r;            // refresh counter, all 8 bits counting
  uint8_t i;
  RegisterPair af_alt, bc_alt, de_alt, hl_alt;
  uint16_t memptr;      // internal address latch (WZ)
};

// Flag bits of F.
constexpr uint8_t FLAG_S = 0x80, FLAG_Z = 0x40, FLAG_5 = 0x20, FLAG_H = 0x10, FLAG_3 = 0x08,
                  FLAG_PV = 0x04, FLAG_N = 0x02, FLAG_C = 0x01;

extern Z80State z80;                 // the one CPU
extern uint8_t modify_flag;          // 1 when the last instruction wrote F (SCF/CCF read it)
extern uint8_t bits_table[256];      // S, 5, 3 of a value, Z for 0
extern uint8_t parity_table[256];    // P/V for even parity
extern uint8_t bitsp_table[256];     // bits_table | parity_table
extern const uint8_t hca_table[8], hcs_table[8], overflow_add_table[8], overflow_sub_table[8];

void Init_Tables();
// Power-on reset: tables, registers (HL = 0xFFFF, the rest 0), T-state counters, earbit.
void Reset_Z80();
// Executes one instruction (a dropped DD/FD prefix counts as one) and the common end.
void One_Z80_Instruction();
