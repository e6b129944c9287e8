// The unprefixed dispatch table.
#include "z80/base_ops.h"

namespace {

struct BaseEntries {
  template <int OP>
  static constexpr Z80Handler entry() {
    if constexpr (OP == 0xCB) return &prefix_cb;
    else if constexpr (OP == 0xED) return &prefix_ed;
    else if constexpr (OP == 0xDD) return &prefix_dd;
    else if constexpr (OP == 0xFD) return &prefix_fd;
    else return &z80base::base_op<OP, 0>;
  }
};

}  // namespace

Z80_BUS_BEGIN
const Z80Table base_ops = build_table<Z80Table, BaseEntries>();
Z80_BUS_END
