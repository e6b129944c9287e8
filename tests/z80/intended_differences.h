// The one table of places where this CPU deliberately differs from the published Z80 as the
// reference models (the vector suite and z80ex) implement it, with the rules that turn a
// reference result into the result this CPU must produce. Both reference tests use it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "flat_bus.h"

enum class Difference : uint8_t {
  IndexedBitLength,
  DroppedPrefix,
  EdFcFdFeCodes,
  FdcbResSetNoCopy,
  IndexedLatch,
  NotTakenLatch,
  ScfCcfUndocumentedBits,
  WideArithmeticLatch,
  CassetteTrap,
  TapeWriteTrap,
  Count
};
constexpr std::size_t difference_count = static_cast<std::size_t>(Difference::Count);

struct IntendedDifference {
  Difference id;
  const char* what;
  const char* reason;
};
extern const IntendedDifference intended_differences[difference_count];

// Architectural state as both a reference and this CPU report it (R with bit 7 as LD A,R sees it).
struct CpuView {
  uint16_t af, bc, de, hl, af_alt, bc_alt, de_alt, hl_alt, ix, iy, sp, pc, memptr;
  uint8_t i, r, iff1, iff2, im;
  bool operator==(const CpuView&) const = default;
};

// One instruction as a reference executes it: any prefixes and the opcode at before.pc.
struct ReferenceInstruction {
  const uint8_t* memory;        // the 64K the instruction starts from
  CpuView before;
  bool flags_written_before;    // the previous instruction wrote F
  bool cassette_inserted;
  bool system_rom_mapped = false;  // page 0 holds the system ROM: its tape writer is trapped
};

// Bit (1 << Difference) for every difference that applies to the instruction.
uint32_t applicable_differences(const ReferenceInstruction& instruction);
// Reference T-states minus this CPU's T-states over the calls that make up the instruction.
int32_t reference_length_excess(const ReferenceInstruction& instruction, uint32_t differences);
// Turns the reference's final state and bus traffic into what this CPU must show.
void adjust_reference_result(const ReferenceInstruction& instruction, uint32_t differences, CpuView& state,
                             std::vector<BusEvent>& events);
// Puts z80ex's two writes of EX (SP),rr into the Z80's order (a quirk of that reference alone).
void z80ex_bus_order(const ReferenceInstruction& instruction, std::vector<BusEvent>& events);
// Differences that change registers or the bus (not only the T-state count).
constexpr uint32_t state_differences = ~((1u << static_cast<int>(Difference::IndexedBitLength)) |
                                         (1u << static_cast<int>(Difference::DroppedPrefix)));

// How often each difference has been applied in this run.
extern unsigned difference_uses[difference_count];

// Readable failure messages.
#include <ostream>
void PrintTo(const CpuView& view, std::ostream* os);
void PrintTo(const BusEvent& event, std::ostream* os);

// Runs this CPU through one reference instruction: the calls for prefixes that fall away and
// the call for the instruction proper. Returns our T-states; halted tells whether that call
// was a HALT that left pc on itself.
uint32_t run_our_instruction(bool& halted);

// Our CPU's view, and our CPU set from a view (r7 carries bit 7 of R).
CpuView current_view();
void load_view(const CpuView& view);
