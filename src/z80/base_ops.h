// The unprefixed instruction set as one template over the opcode and the index mode. The DD and
// FD tables instantiate the same template with MODE 1 (IX) or 2 (IY) for the opcodes that have
// an indexed form, so HL, IX and IY share every instruction body.
#pragma once
#include <utility>

#include "z80/alu.h"
#include "z80/z80_ops.h"

Z80_BUS_BEGIN
namespace z80base {
using namespace z80alu;

// Standard length of each unprefixed instruction; conditional forms give the path not taken.
constexpr uint32_t base_length(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
  if (x == 0) {
    switch (z) {
      case 0: return y == 2 ? 8 : y == 3 ? 12 : y >= 4 ? 7 : 4;
      case 1: return q == 0 ? 10 : 11;
      case 2: return p < 2 ? 7 : p == 2 ? 16 : 13;
      case 3: return 6;
      case 4: case 5: return y == 6 ? 11 : 4;
      case 6: return y == 6 ? 10 : 7;
      default: return 4;
    }
  }
  if (x == 1) return op != 0x76 && (y == 6 || z == 6) ? 7 : 4;
  if (x == 2) return z == 6 ? 7 : 4;
  switch (z) {
    case 0: return 5;
    case 1: return q == 0 ? 10 : p == 0 ? 10 : p == 3 ? 6 : 4;
    case 2: return 10;
    case 3: return y == 0 ? 10 : y == 1 ? 0 : y == 2 || y == 3 ? 11 : y == 4 ? 19 : 4;
    case 4: return 10;
    case 5: return q == 0 ? 11 : p == 0 ? 17 : 0;
    case 6: return 7;
    default: return 11;
  }
}

// Instructions that go to memory through (HL), which an index prefix turns into (IX+d).
constexpr bool uses_memory_operand(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
  if (x == 0) return y == 6 && (z == 4 || z == 5 || z == 6);
  if (x == 1) return op != 0x76 && (y == 6 || z == 6);
  if (x == 2) return z == 6;
  return false;
}

// Opcodes that an index prefix changes; a prefix before any other opcode is dropped.
constexpr bool has_index_form(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
  if (uses_memory_operand(op)) return true;
  if (x == 0) return (z == 1 && (y & 1)) || op == 0x21 || op == 0x22 || op == 0x2A || op == 0x23 || op == 0x2B ||
                     ((y == 4 || y == 5) && (z == 4 || z == 5 || z == 6));
  if (x == 1) return op != 0x76 && (y == 4 || y == 5 || z == 4 || z == 5);
  if (x == 2) return z == 4 || z == 5;
  return op == 0xCB || op == 0xE1 || op == 0xE3 || op == 0xE5 || op == 0xE9 || op == 0xF9;
}

// POP AF and EX AF,AF' restore F rather than compute it, so they do not count as writing it.
constexpr bool writes_flags(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
  if (x == 0) return z == 4 || z == 5 || z == 7 || (z == 1 && (y & 1));
  if (x == 2) return true;
  return x == 3 && z == 6;
}

// Index forms cost 4 more for register work and 12 more (9 for LD (IX+d),n) with a displacement.
constexpr uint32_t op_length(int op, int mode) {
  if (mode == 0) return base_length(op);
  if (uses_memory_operand(op)) return base_length(op) + (op == 0x36 ? 9 : 12);
  return base_length(op) + 4;
}

// NZ Z NC C PO PE P M.
inline bool condition(int cc) {
  const uint8_t f = F();
  switch (cc) {
    case 0: return !(f & FLAG_Z);
    case 1: return f & FLAG_Z;
    case 2: return !(f & FLAG_C);
    case 3: return f & FLAG_C;
    case 4: return !(f & FLAG_PV);
    case 5: return f & FLAG_PV;
    case 6: return !(f & FLAG_S);
    default: return f & FLAG_S;
  }
}

// (HL), or (IX+d)/(IY+d) with the displacement read now. This CPU's indexed instructions leave
// the bare sign-extended displacement in the address latch, not the sum.
template <int MODE, bool LATCH = true>
inline uint16_t memory_operand() {
  if constexpr (MODE == 0) {
    return z80.hl.w;
  } else {
    const int8_t d = static_cast<int8_t>(imm8());
    if constexpr (LATCH) z80.memptr = static_cast<uint16_t>(static_cast<int16_t>(d));
    return static_cast<uint16_t>(hl_reg<MODE>() + d);
  }
}

inline void relative_jump() {
  const int8_t e = static_cast<int8_t>(imm8());
  z80.pc = static_cast<uint16_t>(z80.pc + e);
  z80.memptr = z80.pc;
}

// The accumulator rotates keep S, Z and P/V, unlike their CB counterparts.
inline void rotate_a(uint8_t result, uint8_t carry) {
  A() = result;
  F() = static_cast<uint8_t>((F() & (FLAG_S | FLAG_Z | FLAG_PV)) | (result & (FLAG_5 | FLAG_3)) | carry);
}

inline void daa() {
  const uint8_t a = A(), f = F();
  uint8_t correction = 0, carry = f & FLAG_C;
  if ((f & FLAG_H) || (a & 0x0F) > 9) correction = 0x06;
  if (carry || a > 0x99) {
    correction |= 0x60;
    carry = FLAG_C;
  }
  if (f & FLAG_N) sub8(correction, 0);
  else add8(correction, 0);
  F() = static_cast<uint8_t>((F() & ~(FLAG_C | FLAG_PV)) | carry | parity_table[A()]);
}

// SCF and CCF: bits 5 and 3 show A's bits alone only if the previous instruction wrote F;
// otherwise the old F bits stay ORed in, as on the NMOS part.
inline uint8_t scf_ccf_undocumented() {
  return static_cast<uint8_t>((modify_flag ? A() : (A() | F())) & (FLAG_5 | FLAG_3));
}

template <int OP, int MODE>
void base_op() {
  constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;

  if constexpr (OP == 0xCD && MODE == 0) {
    // The system ROM calls its tape reader from 0x1C53; with a cassette image inserted the
    // loader takes over instead and the call itself never happens.
    if (z80.pc == 0x1C54 && z80bus::cassette_trap_armed()) {
      t_state += 17;
      z80bus::cassette_trap();
      return;
    }
  }
  if constexpr (OP == 0xF5 && MODE == 0) {
    // Every tape byte of the system ROM goes through its writer at 0x1B8A, which opens with this
    // PUSH AF and ends EXX; POP AF; RET with every register as it was. The recorder takes the
    // byte and the routine returns at once, as that RET would, without the tape time of the
    // bit-banging: the PUSH AF and the RET cost their 11 + 10 T-states.
    if (z80.pc == 0x1B8B && z80bus::tape_write_trap(A())) {
      t_state += 21;
      z80.pc = pop();
      z80.memptr = z80.pc;
      modify_flag = false;
      return;
    }
  }
  t_state += op_length(OP, MODE);

  if constexpr (x == 0) {
    if constexpr (z == 0) {
      if constexpr (y == 1) {
        std::swap(z80.af.w, z80.af_alt.w);
      } else if constexpr (y == 2) {
        if (--z80.bc.b.h) {
          t_state += 5;
          relative_jump();
        } else {
          ++z80.pc;
        }
      } else if constexpr (y == 3) {
        relative_jump();
      } else if constexpr (y >= 4) {
        if (condition(y - 4)) {
          t_state += 5;
          relative_jump();
        } else {
          ++z80.pc;
        }
      }
    } else if constexpr (z == 1) {
      if constexpr (q == 0) pair<p, MODE>() = imm16();
      else hl_reg<MODE>() = add16(hl_reg<MODE>(), pair<p, MODE>());
    } else if constexpr (z == 2) {
      if constexpr (p < 2) {
        const uint16_t address = pair<p, 0>();
        if constexpr (q == 0) {
          z80bus::write(address, A());
          z80.memptr = static_cast<uint16_t>((A() << 8) | ((address + 1) & 0xFF));
        } else {
          A() = z80bus::read(address);
          z80.memptr = static_cast<uint16_t>(address + 1);
        }
      } else {
        const uint16_t address = imm16();
        if constexpr (p == 2) {
          if constexpr (q == 0) write16(address, hl_reg<MODE>());
          else hl_reg<MODE>() = read16(address);
          z80.memptr = static_cast<uint16_t>(address + 1);
        } else if constexpr (q == 0) {
          z80bus::write(address, A());
          z80.memptr = static_cast<uint16_t>((A() << 8) | ((address + 1) & 0xFF));
        } else {
          A() = z80bus::read(address);
          z80.memptr = static_cast<uint16_t>(address + 1);
        }
      }
    } else if constexpr (z == 3) {
      if constexpr (q == 0) ++pair<p, MODE>();
      else --pair<p, MODE>();
    } else if constexpr (z == 4 || z == 5) {
      constexpr auto step = z == 4 ? inc8 : dec8;
      if constexpr (y == 6) {
        const uint16_t address = memory_operand<MODE>();
        z80bus::write(address, step(z80bus::read(address)));
      } else {
        reg8<y, MODE>() = step(reg8<y, MODE>());
      }
    } else if constexpr (z == 6) {
      if constexpr (y == 6) {
        const uint16_t address = memory_operand<MODE, false>();
        z80bus::write(address, imm8());
      } else {
        reg8<y, MODE>() = imm8();
      }
    } else {
      const uint8_t a = A();
      if constexpr (y == 0) rotate_a(static_cast<uint8_t>((a << 1) | (a >> 7)), a >> 7);
      else if constexpr (y == 1) rotate_a(static_cast<uint8_t>((a >> 1) | (a << 7)), a & 1);
      else if constexpr (y == 2) rotate_a(static_cast<uint8_t>((a << 1) | (F() & FLAG_C)), a >> 7);
      else if constexpr (y == 3) rotate_a(static_cast<uint8_t>((a >> 1) | (F() << 7)), a & 1);
      else if constexpr (y == 4) daa();
      else if constexpr (y == 5) {
        A() = static_cast<uint8_t>(~a);
        F() = static_cast<uint8_t>((F() & (FLAG_S | FLAG_Z | FLAG_PV | FLAG_C)) | FLAG_H | FLAG_N |
                                   (A() & (FLAG_5 | FLAG_3)));
      } else if constexpr (y == 6) {
        F() = static_cast<uint8_t>((F() & (FLAG_S | FLAG_Z | FLAG_PV)) | scf_ccf_undocumented() | FLAG_C);
      } else {
        const uint8_t old_carry = F() & FLAG_C;
        F() = static_cast<uint8_t>((F() & (FLAG_S | FLAG_Z | FLAG_PV)) | scf_ccf_undocumented() |
                                   (old_carry ? FLAG_H : FLAG_C));
      }
    }
  } else if constexpr (x == 1) {
    if constexpr (OP == 0x76) {
      // HALT: stay on the opcode; with no interrupt in the machine only a reset or a load moves on.
      --z80.pc;
    } else if constexpr (z == 6) {
      reg8<y, 0>() = z80bus::read(memory_operand<MODE>());
    } else if constexpr (y == 6) {
      const uint16_t address = memory_operand<MODE>();
      z80bus::write(address, reg8<z, 0>());
    } else {
      reg8<y, MODE>() = reg8<z, MODE>();
    }
  } else if constexpr (x == 2) {
    if constexpr (z == 6) alu8(y, z80bus::read(memory_operand<MODE>()));
    else alu8(y, reg8<z, MODE>());
  } else {
    if constexpr (z == 0) {
      if (condition(y)) {
        t_state += 6;
        z80.pc = pop();
        z80.memptr = z80.pc;
      }
    } else if constexpr (z == 1) {
      if constexpr (q == 0) {
        pair<p, MODE, true>() = pop();
      } else if constexpr (p == 0) {
        z80.pc = pop();
        z80.memptr = z80.pc;
      } else if constexpr (p == 1) {
        std::swap(z80.bc.w, z80.bc_alt.w);
        std::swap(z80.de.w, z80.de_alt.w);
        std::swap(z80.hl.w, z80.hl_alt.w);
      } else if constexpr (p == 2) {
        z80.pc = hl_reg<MODE>();
      } else {
        z80.sp = hl_reg<MODE>();
      }
    } else if constexpr (z == 2) {
      const bool taken = condition(y);
      const uint16_t target = imm16();
      if (taken) {
        z80.pc = target;
        z80.memptr = target;
      }
    } else if constexpr (z == 3) {
      if constexpr (y == 0) {
        z80.pc = imm16();
        z80.memptr = z80.pc;
      } else if constexpr (y == 2) {
        const uint8_t n = imm8();
        z80bus::out(static_cast<uint16_t>((A() << 8) | n), A());
        z80.memptr = static_cast<uint16_t>((A() << 8) | ((n + 1) & 0xFF));
      } else if constexpr (y == 3) {
        const uint16_t port = static_cast<uint16_t>((A() << 8) | imm8());
        A() = z80bus::in(port);
        z80.memptr = static_cast<uint16_t>(port + 1);
      } else if constexpr (y == 4) {
        const uint16_t value = read16(z80.sp);
        z80bus::write(static_cast<uint16_t>(z80.sp + 1), static_cast<uint8_t>(hl_reg<MODE>() >> 8));
        z80bus::write(z80.sp, static_cast<uint8_t>(hl_reg<MODE>()));
        hl_reg<MODE>() = value;
        z80.memptr = value;
      } else if constexpr (y == 5) {
        std::swap(z80.de.w, z80.hl.w);
      } else if constexpr (y == 6) {
        z80.iff1 = z80.iff2 = 0;
      } else if constexpr (y == 7) {
        z80.iff1 = z80.iff2 = 1;
      }
    } else if constexpr (z == 4 || (z == 5 && q == 1)) {
      const bool taken = z == 5 || condition(y);
      const uint16_t target = imm16();
      if (taken) {
        if constexpr (z == 4) t_state += 7;
        push(z80.pc);
        z80.pc = target;
        z80.memptr = target;
      }
    } else if constexpr (z == 5) {
      push(pair<p, MODE, true>());
    } else if constexpr (z == 6) {
      alu8(y, imm8());
    } else {
      push(z80.pc);
      z80.pc = static_cast<uint16_t>(y * 8);
      z80.memptr = z80.pc;
    }
  }
  modify_flag = writes_flags(OP);
}

}  // namespace z80base
Z80_BUS_END
