// The dispatch tables of the interpreter, one per prefix level, and the prefix entry points.
#pragma once
#include <array>
#include <cstdint>

using Z80Handler = void (*)();
using Z80IndexedBitHandler = void (*)(uint16_t effective_address);
using Z80Table = std::array<Z80Handler, 256>;
using Z80IndexedBitTable = std::array<Z80IndexedBitHandler, 256>;

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
