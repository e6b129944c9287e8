// The unprefixed dispatch table.
#include "z80/base_ops.h"

namespace {

template <int OP>
constexpr Z80Handler base_entry() {
  if constexpr (OP == 0xCB) return &prefix_cb;
  else if constexpr (OP == 0xED) return &prefix_ed;
  else if constexpr (OP == 0xDD) return &prefix_dd;
  else if constexpr (OP == 0xFD) return &prefix_fd;
  else return &z80base::base_op<OP, 0>;
}

template <std::size_t... OPS>
constexpr Z80Table build_base_table(std::index_sequence<OPS...>) {
  return {base_entry<static_cast<int>(OPS)>()...};
}

}  // namespace

const Z80Table base_ops = build_base_table(std::make_index_sequence<256>());
