// The CB group: rotates, shifts, BIT, RES and SET on the eight register operands.
#include <utility>

#include "z80/alu.h"
#include "z80/z80_ops.h"

namespace {
using namespace z80alu;

template <int OP>
void cb_op() {
  constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
  if constexpr (z == 6) {
    t_state += x == 1 ? 12 : 15;
    const uint16_t address = z80.hl.w;
    const uint8_t v = z80bus::read(address);
    if constexpr (x == 0) z80bus::write(address, rotate_shift(y, v));
    else if constexpr (x == 1) bit_test(y, v, static_cast<uint8_t>(z80.memptr >> 8));
    else if constexpr (x == 2) z80bus::write(address, static_cast<uint8_t>(v & ~(1 << y)));
    else z80bus::write(address, static_cast<uint8_t>(v | (1 << y)));
  } else {
    t_state += 8;
    uint8_t& target = reg8<z>();
    if constexpr (x == 0) target = rotate_shift(y, target);
    else if constexpr (x == 1) bit_test(y, target, target);
    else if constexpr (x == 2) target = static_cast<uint8_t>(target & ~(1 << y));
    else target = static_cast<uint8_t>(target | (1 << y));
  }
  modify_flag = x < 2;
}

struct CbEntries {
  template <int OP>
  static constexpr Z80Handler entry() { return &cb_op<OP>; }
};

}  // namespace

Z80_BUS_BEGIN
const Z80Table cb_ops = build_table<Z80Table, CbEntries>();

void prefix_cb() { run_prefixed(cb_ops); }
Z80_BUS_END
