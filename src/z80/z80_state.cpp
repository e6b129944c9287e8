// The CPU's state, its flag tables, reset and the one-instruction step.
#include "z80/z80.h"

#include "core/frame.h"
#include "core/ports.h"
#include "z80/bus.h"
#include "z80/z80_ops.h"

Z80State z80;
uint8_t modify_flag;
uint8_t bits_table[256], parity_table[256], bitsp_table[256];

// Indexed by bit 3 (or 7) of the first operand, the second operand and the result in bits 0-2:
// those three bits determine the carry into (or borrow from) the next bit.
const uint8_t hca_table[8] = {0x00, 0x10, 0x10, 0x10, 0x00, 0x00, 0x00, 0x10};
const uint8_t hcs_table[8] = {0x00, 0x00, 0x10, 0x00, 0x10, 0x00, 0x10, 0x10};
const uint8_t overflow_add_table[8] = {0x00, 0x00, 0x00, 0x04, 0x04, 0x00, 0x00, 0x00};
const uint8_t overflow_sub_table[8] = {0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00};

void Init_Tables() {
  for (int v = 0; v < 256; ++v) {
    bits_table[v] = static_cast<uint8_t>((v & (FLAG_S | FLAG_5 | FLAG_3)) | (v == 0 ? FLAG_Z : 0));
    int ones = 0;
    for (int bit = 0; bit < 8; ++bit) ones += (v >> bit) & 1;
    parity_table[v] = (ones & 1) ? 0 : FLAG_PV;
    bitsp_table[v] = static_cast<uint8_t>(bits_table[v] | parity_table[v]);
  }
}

void Reset_Z80() {
  Init_Tables();
  z80.pc = z80.sp = 0;
  z80.iff1 = z80.iff2 = z80.im = z80.r7 = 0;
  z80.af.w = z80.bc.w = z80.de.w = z80.ix.w = z80.iy.w = 0;
  z80.r = z80.i = 0;
  z80.af_alt.w = z80.bc_alt.w = z80.de_alt.w = z80.hl_alt.w = 0;
  z80.hl.w = 0xFFFF;
  t_state = temp_t_state = screen_t_state = 0;
  earbit = 0;
}

void One_Z80_Instruction() { execute_instruction(); }
