// The ED group: 16-bit arithmetic with carry, I/O through (C), the interrupt controls, the
// refresh and vector registers, RRD/RLD and the block instructions. Codes the Z80 leaves
// undefined are 8-T-state no-operations; FC, FD and FE are this machine's own.
#include <utility>

#include "z80/alu.h"
#include "z80/z80_ops.h"

namespace {
using namespace z80alu;

constexpr bool is_block(int op) { return op >= 0xA0 && op <= 0xBF && (op & 0x04) == 0; }

// The undocumented bits 5 and 3 of the LD and CP block steps come from bits 1 and 3 of n.
inline uint8_t block_bits(uint8_t n) { return static_cast<uint8_t>((n & FLAG_3) | ((n << 4) & FLAG_5)); }

// INI/IND/OUTI/OUTD: the flags come from the byte moved and k, its sum with the next C or L.
inline void io_block_flags(uint8_t byte, unsigned k) {
  F() = static_cast<uint8_t>(bits_table[z80.bc.b.h] | ((byte & 0x80) ? FLAG_N : 0) |
                             (k > 0xFF ? (FLAG_H | FLAG_C) : 0) | parity_table[(k & 7) ^ z80.bc.b.h]);
}

// A repeating step re-executes the instruction in the next call: pc goes back to the ED byte.
inline bool repeat_step() {
  t_state += 5;
  z80.pc = static_cast<uint16_t>(z80.pc - 2);
  return true;
}

template <int OP>
void block_op() {
  constexpr int kind = OP & 3;                  // LD, CP, IN, OUT
  constexpr bool decrement = (OP & 0x08) != 0;  // the D forms
  constexpr bool repeating = (OP & 0x10) != 0;  // the R forms
  constexpr int step = decrement ? -1 : 1;
  t_state += 16;
  uint16_t& hl = z80.hl.w;
  if constexpr (kind == 0) {
    const uint8_t byte = z80bus::read(hl);
    z80bus::write(z80.de.w, byte);
    hl = static_cast<uint16_t>(hl + step);
    z80.de.w = static_cast<uint16_t>(z80.de.w + step);
    --z80.bc.w;
    F() = static_cast<uint8_t>((F() & (FLAG_S | FLAG_Z | FLAG_C)) | block_bits(static_cast<uint8_t>(byte + A())) |
                               (z80.bc.w ? FLAG_PV : 0));
    if (repeating && z80.bc.w && repeat_step()) z80.memptr = static_cast<uint16_t>(z80.pc + 1);
  } else if constexpr (kind == 1) {
    const uint8_t byte = z80bus::read(hl);
    const uint8_t d = static_cast<uint8_t>(A() - byte);
    hl = static_cast<uint16_t>(hl + step);
    --z80.bc.w;
    z80.memptr = static_cast<uint16_t>(z80.memptr + step);
    const uint8_t half = hcs_table[lookup8(A(), byte, d) & 7];
    F() = static_cast<uint8_t>((F() & FLAG_C) | FLAG_N | (d & FLAG_S) | (d ? 0 : FLAG_Z) | half |
                               (z80.bc.w ? FLAG_PV : 0) | block_bits(static_cast<uint8_t>(d - (half ? 1 : 0))));
    if (repeating && z80.bc.w && d && repeat_step()) z80.memptr = static_cast<uint16_t>(z80.pc + 1);
  } else if constexpr (kind == 2) {
    z80.memptr = static_cast<uint16_t>(z80.bc.w + step);
    const uint8_t byte = z80bus::in(z80.bc.w);
    z80bus::write(hl, byte);
    hl = static_cast<uint16_t>(hl + step);
    --z80.bc.b.h;
    io_block_flags(byte, byte + static_cast<uint8_t>(z80.bc.b.l + step));
    if (repeating && z80.bc.b.h) repeat_step();
  } else {
    const uint8_t byte = z80bus::read(hl);
    --z80.bc.b.h;
    z80.memptr = static_cast<uint16_t>(z80.bc.w + step);
    z80bus::out(z80.bc.w, byte);
    hl = static_cast<uint16_t>(hl + step);
    io_block_flags(byte, byte + z80.hl.b.l);
    if (repeating && z80.bc.b.h) repeat_step();
  }
  modify_flag = 1;
}

template <int P>
inline uint16_t& pair_sp() {
  if constexpr (P == 0) return z80.bc.w;
  if constexpr (P == 1) return z80.de.w;
  if constexpr (P == 2) return z80.hl.w;
  if constexpr (P == 3) return z80.sp;
}

inline void load_a_special(uint8_t value) {
  A() = value;
  F() = static_cast<uint8_t>((F() & FLAG_C) | bits_table[value] | (z80.iff2 ? FLAG_PV : 0));
}

template <int OP>
void ed_op() {
  constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;
  if constexpr (is_block(OP)) {
    block_op<OP>();
  } else if constexpr (OP == 0xFC) {
    // The machine's own code: set carry with the SCF shape of F, free of charge.
    F() = static_cast<uint8_t>((F() & (FLAG_S | FLAG_Z | FLAG_PV)) | (A() & (FLAG_5 | FLAG_3)) | FLAG_C);
  } else if constexpr (OP == 0xFD || OP == 0xFE) {
    // Free no-operations of this machine.
  } else if constexpr (x != 1 || OP == 0x77 || OP == 0x7F) {
    t_state += 8;  // undefined: both bytes consumed, nothing else happens
  } else if constexpr (z == 0) {
    t_state += 12;
    const uint8_t value = z80bus::in(z80.bc.w);
    z80.memptr = static_cast<uint16_t>(z80.bc.w + 1);
    F() = static_cast<uint8_t>((F() & FLAG_C) | bitsp_table[value]);
    if constexpr (y != 6) reg8<y>() = value;
    modify_flag = 1;
  } else if constexpr (z == 1) {
    t_state += 12;
    uint8_t value = 0;
    if constexpr (y != 6) value = reg8<y>();
    z80bus::out(z80.bc.w, value);
    z80.memptr = static_cast<uint16_t>(z80.bc.w + 1);
    modify_flag = 0;
  } else if constexpr (z == 2) {
    t_state += 15;
    if constexpr (q == 0) z80.hl.w = sbc16(z80.hl.w, pair_sp<p>());
    else z80.hl.w = adc16(z80.hl.w, pair_sp<p>());
    modify_flag = 1;
  } else if constexpr (z == 3) {
    t_state += 20;
    const uint16_t address = imm16();
    if constexpr (q == 0) write16(address, pair_sp<p>());
    else pair_sp<p>() = read16(address);
    z80.memptr = static_cast<uint16_t>(address + 1);
    modify_flag = 0;
  } else if constexpr (z == 4) {
    t_state += 8;
    const uint8_t value = A();
    A() = 0;
    sub8(value, 0);
    modify_flag = 1;
  } else if constexpr (z == 5) {
    t_state += 14;
    z80.iff1 = z80.iff2;
    z80.pc = pop();
    z80.memptr = z80.pc;
    modify_flag = 0;
  } else if constexpr (z == 6) {
    t_state += 8;
    z80.im = (y & 3) < 2 ? 0 : (y & 3) - 1;
    modify_flag = 0;
  } else {
    if constexpr (y == 0 || y == 1 || y == 2 || y == 3) t_state += 9;
    else t_state += 18;
    if constexpr (y == 0) {
      z80.i = A();
    } else if constexpr (y == 1) {
      z80.r = z80.r7 = A();
    } else if constexpr (y == 2) {
      load_a_special(z80.i);
    } else if constexpr (y == 3) {
      load_a_special(static_cast<uint8_t>((z80.r7 & 0x80) | (z80.r & 0x7F)));
    } else {
      const uint8_t v = z80bus::read(z80.hl.w), a = A();
      uint8_t memory;
      if constexpr (y == 4) {  // RRD
        memory = static_cast<uint8_t>((a << 4) | (v >> 4));
        A() = static_cast<uint8_t>((a & 0xF0) | (v & 0x0F));
      } else {  // RLD
        memory = static_cast<uint8_t>((v << 4) | (a & 0x0F));
        A() = static_cast<uint8_t>((a & 0xF0) | (v >> 4));
      }
      z80bus::write(z80.hl.w, memory);
      z80.memptr = static_cast<uint16_t>(z80.hl.w + 1);
      F() = static_cast<uint8_t>((F() & FLAG_C) | bitsp_table[A()]);
    }
    modify_flag = y >= 2;
  }
}

struct EdEntries {
  template <int OP>
  static constexpr Z80Handler entry() { return &ed_op<OP>; }
};

}  // namespace

Z80_BUS_BEGIN
const Z80Table ed_ops = build_table<Z80Table, EdEntries>();

void prefix_ed() { run_prefixed(ed_ops); }
Z80_BUS_END
