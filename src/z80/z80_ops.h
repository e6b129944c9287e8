// The dispatch tables of the interpreter, one per prefix level, and the prefix entry points.
#pragma once
#include <array>
#include <cstdint>
#include <utility>

#include "core/frame.h"
#include "z80/bus.h"
#include "z80/z80.h"

using Z80Handler = void (*)();
using Z80IndexedBitHandler = void (*)(uint16_t effective_address);
using Z80Table = std::array<Z80Handler, 256>;
using Z80IndexedBitTable = std::array<Z80IndexedBitHandler, 256>;

Z80_BUS_BEGIN
extern const Z80Table base_ops;
extern const Z80Table cb_ops;
extern const Z80Table ed_ops;
// A null entry marks an opcode with no indexed form: the prefix then falls away on its own.
extern const Z80Table dd_ops;
extern const Z80Table fd_ops;
extern const Z80IndexedBitTable ddcb_ops;
extern const Z80IndexedBitTable fdcb_ops;

void prefix_cb();
void prefix_ed();
void prefix_dd();
void prefix_fd();
Z80_BUS_END

// Builds a 256-entry table from Maker::entry<opcode>() for every opcode.
template <typename Table, typename Maker, std::size_t... OPS>
constexpr Table build_table(std::index_sequence<OPS...>) {
  return {Maker::template entry<static_cast<int>(OPS)>()...};
}
template <typename Table, typename Maker>
constexpr Table build_table() {
  return build_table<Table, Maker>(std::make_index_sequence<256>());
}

// The byte after a prefix is an opcode fetch of its own, with its own refresh. A null entry
// leaves the prefix alone in this call (pc and r advanced for the prefix only).
Z80_BUS_BEGIN
inline void run_prefixed(const Z80Table& table) {
  const Z80Handler handler = table[z80bus::fetch(z80.pc)];
  if (!handler) return;
  ++z80.r;
  ++z80.pc;
  handler();
}

// One instruction (a dropped DD/FD prefix counts as one) and the common end.
inline void execute_instruction() {
  temp_t_state = t_state;
  const uint8_t opcode = z80bus::fetch(z80.pc);
  ++z80.r;
  ++z80.pc;
  base_ops[opcode]();
  frame_t_state = t_state - temp_t_state;
  z80bus::instruction_end(frame_t_state);
}
Z80_BUS_END
