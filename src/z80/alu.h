// Register access and the shared flag rules. Every instruction that computes flags goes through
// one of these helpers, so each rule of the Z80's ALU is written once.
#pragma once
#include <cstdint>

#include "core/frame.h"
#include "z80/bus.h"
#include "z80/z80.h"

Z80_BUS_BEGIN
namespace z80alu {

inline uint8_t& A() { return z80.af.b.h; }
inline uint8_t& F() { return z80.af.b.l; }

// Register field of an opcode (B C D E H L - A). MODE 1/2 turn H and L into the halves of IX/IY.
template <int FIELD, int MODE = 0>
inline uint8_t& reg8() {
  static_assert(FIELD != 6, "field 6 is a memory operand");
  if constexpr (FIELD == 0) return z80.bc.b.h;
  if constexpr (FIELD == 1) return z80.bc.b.l;
  if constexpr (FIELD == 2) return z80.de.b.h;
  if constexpr (FIELD == 3) return z80.de.b.l;
  if constexpr (FIELD == 4) return MODE == 0 ? z80.hl.b.h : MODE == 1 ? z80.ix.b.h : z80.iy.b.h;
  if constexpr (FIELD == 5) return MODE == 0 ? z80.hl.b.l : MODE == 1 ? z80.ix.b.l : z80.iy.b.l;
  if constexpr (FIELD == 7) return z80.af.b.h;
}

// HL, or IX/IY when an index prefix is in force.
template <int MODE>
inline uint16_t& hl_reg() {
  if constexpr (MODE == 0) return z80.hl.w;
  if constexpr (MODE == 1) return z80.ix.w;
  if constexpr (MODE == 2) return z80.iy.w;
}

// Register pair field: BC DE HL SP (with AF in place of SP for PUSH and POP).
template <int P, int MODE, bool WITH_AF = false>
inline uint16_t& pair() {
  if constexpr (P == 0) return z80.bc.w;
  if constexpr (P == 1) return z80.de.w;
  if constexpr (P == 2) return hl_reg<MODE>();
  if constexpr (P == 3) {
    if constexpr (WITH_AF) return z80.af.w;
    else return z80.sp;
  }
}

// Immediates and displacements are operand reads; memory operands and the stack are data reads.
// On the machine both are the same read of the memory map.
inline uint8_t imm8() { return z80bus::read_operand(z80.pc++); }
inline uint16_t read16(uint16_t address) {
  uint8_t low = z80bus::read(address);
  return static_cast<uint16_t>(low | (z80bus::read(static_cast<uint16_t>(address + 1)) << 8));
}
inline void write16(uint16_t address, uint16_t value) {
  z80bus::write(address, static_cast<uint8_t>(value));
  z80bus::write(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
}
inline uint16_t operand16(uint16_t address) {
  uint8_t low = z80bus::read_operand(address);
  return static_cast<uint16_t>(low | (z80bus::read_operand(static_cast<uint16_t>(address + 1)) << 8));
}
inline uint16_t imm16() {
  uint16_t value = operand16(z80.pc);
  z80.pc = static_cast<uint16_t>(z80.pc + 2);
  return value;
}
inline void push(uint16_t value) {
  z80bus::write(--z80.sp, static_cast<uint8_t>(value >> 8));
  z80bus::write(--z80.sp, static_cast<uint8_t>(value));
}
inline uint16_t pop() {
  uint8_t low = z80bus::read(z80.sp++);
  return static_cast<uint16_t>(low | (z80bus::read(z80.sp++) << 8));
}

// Bits 3 of the two operands and the result in bits 0-2, bits 7 in bits 4-6.
inline uint8_t lookup8(uint8_t a, uint8_t v, uint8_t r) {
  return static_cast<uint8_t>(((a & 0x88) >> 3) | ((v & 0x88) >> 2) | ((r & 0x88) >> 1));
}
// The same for 16-bit arithmetic: bits 11 and 15 stand in for 3 and 7.
inline uint8_t lookup16(uint16_t a, uint16_t v, uint16_t r) {
  return static_cast<uint8_t>(((a & 0x8800) >> 11) | ((v & 0x8800) >> 10) | ((r & 0x8800) >> 9));
}

inline void add8(uint8_t v, uint8_t carry) {
  unsigned sum = A() + v + carry;
  uint8_t r = static_cast<uint8_t>(sum);
  uint8_t look = lookup8(A(), v, r);
  F() = static_cast<uint8_t>(bits_table[r] | ((sum >> 8) & FLAG_C) | hca_table[look & 7] |
                             overflow_add_table[look >> 4]);
  A() = r;
}

// A - v - carry with the subtraction flags; returns the difference, leaves A alone.
inline uint8_t sub8_flags(uint8_t v, uint8_t carry) {
  unsigned diff = static_cast<unsigned>(A()) - v - carry;
  uint8_t r = static_cast<uint8_t>(diff);
  uint8_t look = lookup8(A(), v, r);
  F() = static_cast<uint8_t>(bits_table[r] | ((diff >> 8) & FLAG_C) | FLAG_N | hcs_table[look & 7] |
                             overflow_sub_table[look >> 4]);
  return r;
}
inline void sub8(uint8_t v, uint8_t carry) { A() = sub8_flags(v, carry); }

// CP takes bits 5 and 3 from the operand, not from the difference.
inline void cp8(uint8_t v) {
  sub8_flags(v, 0);
  F() = static_cast<uint8_t>((F() & ~(FLAG_5 | FLAG_3)) | (v & (FLAG_5 | FLAG_3)));
}

inline void and8(uint8_t v) {
  A() &= v;
  F() = static_cast<uint8_t>(bitsp_table[A()] | FLAG_H);
}
inline void xor8(uint8_t v) {
  A() ^= v;
  F() = bitsp_table[A()];
}
inline void or8(uint8_t v) {
  A() |= v;
  F() = bitsp_table[A()];
}

// The eight ALU operations in opcode order (bits 5-3): ADD ADC SUB SBC AND XOR OR CP.
inline void alu8(int operation, uint8_t v) {
  switch (operation) {
    case 0: add8(v, 0); break;
    case 1: add8(v, F() & FLAG_C); break;
    case 2: sub8(v, 0); break;
    case 3: sub8(v, F() & FLAG_C); break;
    case 4: and8(v); break;
    case 5: xor8(v); break;
    case 6: or8(v); break;
    default: cp8(v); break;
  }
}

inline uint8_t inc8(uint8_t v) {
  uint8_t r = static_cast<uint8_t>(v + 1);
  F() = static_cast<uint8_t>((F() & FLAG_C) | bits_table[r] | (v == 0x7F ? FLAG_PV : 0) |
                             ((v & 0x0F) == 0x0F ? FLAG_H : 0));
  return r;
}
inline uint8_t dec8(uint8_t v) {
  uint8_t r = static_cast<uint8_t>(v - 1);
  F() = static_cast<uint8_t>((F() & FLAG_C) | bits_table[r] | FLAG_N | (v == 0x80 ? FLAG_PV : 0) |
                             ((v & 0x0F) == 0 ? FLAG_H : 0));
  return r;
}

inline uint16_t add16(uint16_t a, uint16_t v) {
  unsigned sum = a + v;
  uint16_t r = static_cast<uint16_t>(sum);
  F() = static_cast<uint8_t>((F() & (FLAG_S | FLAG_Z | FLAG_PV)) | ((sum >> 16) & FLAG_C) |
                             ((r >> 8) & (FLAG_5 | FLAG_3)) | hca_table[lookup16(a, v, r) & 7]);
  return r;
}
inline uint16_t adc16(uint16_t a, uint16_t v) {
  unsigned sum = a + v + (F() & FLAG_C);
  uint16_t r = static_cast<uint16_t>(sum);
  uint8_t look = lookup16(a, v, r);
  F() = static_cast<uint8_t>(((sum >> 16) & FLAG_C) | ((r >> 8) & (FLAG_S | FLAG_5 | FLAG_3)) |
                             (r == 0 ? FLAG_Z : 0) | hca_table[look & 7] | overflow_add_table[look >> 4]);
  return r;
}
inline uint16_t sbc16(uint16_t a, uint16_t v) {
  unsigned diff = static_cast<unsigned>(a) - v - (F() & FLAG_C);
  uint16_t r = static_cast<uint16_t>(diff);
  uint8_t look = lookup16(a, v, r);
  F() = static_cast<uint8_t>(((diff >> 16) & FLAG_C) | FLAG_N | ((r >> 8) & (FLAG_S | FLAG_5 | FLAG_3)) |
                             (r == 0 ? FLAG_Z : 0) | hcs_table[look & 7] | overflow_sub_table[look >> 4]);
  return r;
}

// The CB rotates and shifts in opcode order (bits 5-3): RLC RRC RL RR SLA SRA SLL SRL.
inline uint8_t rotate_shift(int kind, uint8_t v) {
  uint8_t r, carry;
  switch (kind) {
    case 0: carry = v >> 7; r = static_cast<uint8_t>((v << 1) | carry); break;
    case 1: carry = v & 1; r = static_cast<uint8_t>((v >> 1) | (carry << 7)); break;
    case 2: carry = v >> 7; r = static_cast<uint8_t>((v << 1) | (F() & FLAG_C)); break;
    case 3: carry = v & 1; r = static_cast<uint8_t>((v >> 1) | ((F() & FLAG_C) << 7)); break;
    case 4: carry = v >> 7; r = static_cast<uint8_t>(v << 1); break;
    case 5: carry = v & 1; r = static_cast<uint8_t>((v >> 1) | (v & 0x80)); break;
    case 6: carry = v >> 7; r = static_cast<uint8_t>((v << 1) | 1); break;
    default: carry = v & 1; r = static_cast<uint8_t>(v >> 1); break;
  }
  F() = static_cast<uint8_t>(bitsp_table[r] | carry);
  return r;
}

// BIT n: bits 5 and 3 come from wherever the hardware's internal bus last held them
// (the register itself, or the high byte of the address latch for memory operands).
inline void bit_test(int bit, uint8_t v, uint8_t undocumented_source) {
  uint8_t tested = static_cast<uint8_t>(v & (1 << bit));
  F() = static_cast<uint8_t>((F() & FLAG_C) | FLAG_H | (undocumented_source & (FLAG_5 | FLAG_3)) |
                             (tested ? (tested & FLAG_S) : (FLAG_Z | FLAG_PV)));
}

}  // namespace z80alu
Z80_BUS_END
