// The DD and FD groups (HL instructions redirected to IX and IY) and the DDCB/FDCB groups.
#include <utility>

#include "z80/base_ops.h"

namespace {
using namespace z80alu;

// DDCB/FDCB: one flat 18-T-state cost for the whole group on this machine. Rotates and shifts
// copy the result into the register field in both groups; RES and SET do so only after DD.
template <int OP, int MODE>
void indexed_bit_op(uint16_t address) {
  constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
  t_state += 18;
  const uint8_t v = z80bus::read(address);
  if constexpr (x == 1) {
    bit_test(y, v, static_cast<uint8_t>(address >> 8));
  } else {
    uint8_t result;
    if constexpr (x == 0) result = rotate_shift(y, v);
    else if constexpr (x == 2) result = static_cast<uint8_t>(v & ~(1 << y));
    else result = static_cast<uint8_t>(v | (1 << y));
    z80bus::write(address, result);
    if constexpr (z != 6 && (x == 0 || MODE == 1)) reg8<z>() = result;
  }
  modify_flag = x < 2;
}

// Prefix, CB, displacement, opcode: the last two are fetched like opcodes but do not refresh.
template <int MODE>
void prefix_indexed_cb() {
  const int8_t d = static_cast<int8_t>(z80bus::fetch(z80.pc));
  const uint8_t opcode = z80bus::fetch(static_cast<uint16_t>(z80.pc + 1));
  z80.pc = static_cast<uint16_t>(z80.pc + 2);
  const uint16_t address = static_cast<uint16_t>(hl_reg<MODE>() + d);
  z80.memptr = address;
  (MODE == 1 ? ddcb_ops : fdcb_ops)[opcode](address);
}

// An opcode without an indexed form gets no entry: the prefix then falls away on its own, at
// no cost and with one refresh, and the next call runs the opcode as if unprefixed.
template <int MODE>
struct IndexEntries {
  template <int OP>
  static constexpr Z80Handler entry() {
    if constexpr (OP == 0xCB) return &prefix_indexed_cb<MODE>;
    else if constexpr (z80base::has_index_form(OP)) return &z80base::base_op<OP, MODE>;
    else return nullptr;
  }
};

template <int MODE>
struct IndexedBitEntries {
  template <int OP>
  static constexpr Z80IndexedBitHandler entry() { return &indexed_bit_op<OP, MODE>; }
};

}  // namespace

Z80_BUS_BEGIN
const Z80Table dd_ops = build_table<Z80Table, IndexEntries<1>>();
const Z80Table fd_ops = build_table<Z80Table, IndexEntries<2>>();
const Z80IndexedBitTable ddcb_ops = build_table<Z80IndexedBitTable, IndexedBitEntries<1>>();
const Z80IndexedBitTable fdcb_ops = build_table<Z80IndexedBitTable, IndexedBitEntries<2>>();

void prefix_dd() { run_prefixed(dd_ops); }
void prefix_fd() { run_prefixed(fd_ops); }
Z80_BUS_END
