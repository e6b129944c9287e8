// The table of intended differences and the rules that apply it; see intended_differences.h.
#include "intended_differences.h"

#include <algorithm>
#include <cstdio>

#include "core/frame.h"
#include "z80/z80.h"

const IntendedDifference intended_differences[difference_count] = {
    {Difference::IndexedBitLength, "every DDCB/FDCB instruction takes 18 T-states",
     "this machine's timing for the group: one flat cost instead of the published 23 (20 for BIT)"},
    {Difference::DroppedPrefix, "a DD/FD before an opcode with no indexed form takes 0 T-states in a call of its own",
     "the prefix falls away on its own and the opcode runs unprefixed in the next call; the "
     "reference charges 4 T-states for it inside one instruction"},
    {Difference::EdFcFdFeCodes, "ED FC, ED FD and ED FE take 0 T-states; ED FC sets carry, clears H and N and copies bits 5 and 3 of A",
     "the machine's own codes; the Z80 treats them as 8-T-state no-operations"},
    {Difference::FdcbResSetNoCopy, "FDCB RES/SET with a register field other than 6 write memory only",
     "this CPU ignores the register field of RES/SET after FD (the DD group copies); the Z80 copies in both"},
    {Difference::IndexedLatch, "instructions with an (IX+d)/(IY+d) operand leave d sign-extended in MEMPTR",
     "this CPU latches the displacement alone, and LD (IX+d),n leaves the latch unchanged; the Z80 "
     "latches IX+d in both"},
    {Difference::NotTakenLatch, "JP cc,nn and CALL cc,nn not taken leave MEMPTR unchanged",
     "this CPU loads the latch only on the taken path; the Z80 loads nn either way"},
    {Difference::ScfCcfUndocumentedBits,
     "SCF/CCF: bits 5 and 3 are A's when the previous instruction wrote F, A's ORed with the old F's otherwise",
     "this CPU follows the NMOS part's rule; the references each use one fixed rule (the vector "
     "suite always ORs the old bits in, z80ex never does)"},
    {Difference::WideArithmeticLatch, "ADD HL/IX/IY,rr, ADC HL,rr and SBC HL,rr leave MEMPTR unchanged",
     "this CPU does not touch the latch in 16-bit arithmetic; the Z80 sets it to the first operand + 1"},
    {Difference::CassetteTrap, "CALL nn fetched at 0x1C53 with a cassette inserted runs the cassette hook instead",
     "the tape loader takes over the ROM's tape routine: 17 T-states, nothing pushed, pc = 0x1C54"},
    {Difference::TapeWriteTrap,
     "PUSH AF fetched at 0x1B8A with the system ROM in page 0 hands A to the recorder and returns",
     "the ROM's tape byte writer starts there and keeps every register; the recorder takes the "
     "byte without its bit-banging, so a save costs no tape time: 21 T-states (the PUSH and the "
     "RET), nothing written, the return address popped into pc"},
};

unsigned difference_uses[difference_count];

namespace {

constexpr uint32_t bit(Difference d) { return 1u << static_cast<int>(d); }

// The opcodes that have an indexed form after DD or FD on this CPU, listed by hand rather than
// taken from the interpreter.
constexpr uint8_t listed_indexed_opcodes[] = {
    0x09, 0x19, 0x29, 0x39, 0x21, 0x22, 0x23, 0x2A, 0x2B, 0x24, 0x25, 0x26, 0x2C, 0x2D, 0x2E, 0x34,
    0x35, 0x36, 0x44, 0x45, 0x4C, 0x4D, 0x54, 0x55, 0x5C, 0x5D, 0x7C, 0x7D, 0x46, 0x4E, 0x56, 0x5E,
    0x66, 0x6E, 0x7E, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D,
    0x6F, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x77, 0x84, 0x85, 0x8C, 0x8D, 0x94, 0x95, 0x9C, 0x9D,
    0xA4, 0xA5, 0xAC, 0xAD, 0xB4, 0xB5, 0xBC, 0xBD, 0x86, 0x8E, 0x96, 0x9E, 0xA6, 0xAE, 0xB6, 0xBE,
    0xCB, 0xE1, 0xE3, 0xE5, 0xE9, 0xF9};
// Of those, the ones with an (IX+d) operand that latch (LD (IX+d),n, 0x36, does not).
constexpr uint8_t listed_displacement_opcodes[] = {
    0x34, 0x35, 0x46, 0x4E, 0x56, 0x5E, 0x66, 0x6E, 0x7E, 0x70, 0x71, 0x72, 0x73,
    0x74, 0x75, 0x77, 0x86, 0x8E, 0x96, 0x9E, 0xA6, 0xAE, 0xB6, 0xBE};

template <std::size_t N>
bool listed(const uint8_t (&list)[N], uint8_t op) {
  return std::find(std::begin(list), std::end(list), op) != std::end(list);
}

bool is_index_prefix(uint8_t op) { return op == 0xDD || op == 0xFD; }

struct Decoded {
  unsigned dropped = 0;  // prefixes that fall away
  uint16_t at = 0;       // address of the instruction proper
};

Decoded decode(const ReferenceInstruction& in) {
  Decoded d;
  d.at = in.before.pc;
  while (is_index_prefix(in.memory[d.at]) &&
         !listed(listed_indexed_opcodes, in.memory[static_cast<uint16_t>(d.at + 1)])) {
    ++d.dropped;
    d.at = static_cast<uint16_t>(d.at + 1);
  }
  return d;
}

uint8_t byte_at(const ReferenceInstruction& in, uint16_t address, int offset) {
  return in.memory[static_cast<uint16_t>(address + offset)];
}

// The eight conditions NZ Z NC C PO PE P M as the flag and the sense they test.
bool condition_holds(uint8_t f, int cc) {
  static constexpr uint8_t flag[8] = {0x40, 0x40, 0x01, 0x01, 0x04, 0x04, 0x80, 0x80};
  return ((f & flag[cc]) != 0) == ((cc & 1) != 0);
}

// The register pair holding the register of an opcode's register field (B C D E H L - A).
uint16_t CpuView::*field_pair(int field) {
  switch (field) {
    case 0: case 1: return &CpuView::bc;
    case 2: case 3: return &CpuView::de;
    case 4: case 5: return &CpuView::hl;
    default: return &CpuView::af;
  }
}

void restore_field(CpuView& state, const CpuView& before, int field) {
  // A is the high byte of AF; of the others the even field is the high byte.
  const uint16_t mask = field == 7 || (field & 1) == 0 ? 0xFF00 : 0x00FF;
  uint16_t CpuView::*pair = field_pair(field);
  state.*pair = static_cast<uint16_t>((state.*pair & ~mask) | (before.*pair & mask));
}

}  // namespace

// Not a difference of this CPU but of one reference: z80ex stores L before H in EX (SP),HL/IX/IY,
// while the Z80 (and the vector suite, which records its bus cycles) writes H to SP+1 first.
void z80ex_bus_order(const ReferenceInstruction& in, std::vector<BusEvent>& events) {
  uint16_t at = in.before.pc;
  while (is_index_prefix(in.memory[at])) at = static_cast<uint16_t>(at + 1);
  if (in.memory[at] == 0xE3 && events.size() == 2 && events[0].address == in.before.sp)
    std::swap(events[0], events[1]);
}

uint32_t applicable_differences(const ReferenceInstruction& in) {
  const Decoded d = decode(in);
  uint32_t result = d.dropped ? bit(Difference::DroppedPrefix) : 0;
  const uint8_t op = byte_at(in, d.at, 0);
  if (is_index_prefix(op)) {
    const uint8_t second = byte_at(in, d.at, 1);
    if (second == 0xCB) {
      result |= bit(Difference::IndexedBitLength);
      const uint8_t last = byte_at(in, d.at, 3);
      if (op == 0xFD && last >= 0x80 && (last & 7) != 6) result |= bit(Difference::FdcbResSetNoCopy);
    } else if (listed(listed_displacement_opcodes, second) || second == 0x36) {
      result |= bit(Difference::IndexedLatch);
    } else if ((second & 0xCF) == 0x09) {
      result |= bit(Difference::WideArithmeticLatch);
    }
  } else if (op == 0xED) {
    const uint8_t second = byte_at(in, d.at, 1);
    if (second >= 0xFC && second <= 0xFE) result |= bit(Difference::EdFcFdFeCodes);
    if ((second & 0xC7) == 0x42) result |= bit(Difference::WideArithmeticLatch);
  } else if ((op & 0xC7) == 0xC2 || (op & 0xC7) == 0xC4) {
    if (!condition_holds(static_cast<uint8_t>(in.before.af), (op >> 3) & 7)) result |= bit(Difference::NotTakenLatch);
  } else if ((op & 0xCF) == 0x09) {
    result |= bit(Difference::WideArithmeticLatch);
  } else if (op == 0x37 || op == 0x3F) {
    result |= bit(Difference::ScfCcfUndocumentedBits);
  } else if (op == 0xCD && d.at == 0x1C53 && in.cassette_inserted) {
    result |= bit(Difference::CassetteTrap);
  } else if (op == 0xF5 && d.at == 0x1B8A && in.system_rom_mapped) {
    result |= bit(Difference::TapeWriteTrap);
  }
  for (std::size_t k = 0; k < difference_count; ++k)
    if (result & (1u << k)) ++difference_uses[k];
  return result;
}

int32_t reference_length_excess(const ReferenceInstruction& in, uint32_t differences) {
  const Decoded d = decode(in);
  int32_t excess = 0;
  if (differences & bit(Difference::DroppedPrefix)) excess += 4 * d.dropped;
  if (differences & bit(Difference::IndexedBitLength)) {
    const uint8_t last = byte_at(in, d.at, 3);
    excess += (last >= 0x40 && last < 0x80 ? 20 : 23) - 18;
  }
  if (differences & bit(Difference::EdFcFdFeCodes)) excess += 8;
  if (differences & bit(Difference::TapeWriteTrap)) excess -= 21 - 11;
  return excess;
}

void adjust_reference_result(const ReferenceInstruction& in, uint32_t differences, CpuView& state,
                             std::vector<BusEvent>& events) {
  const Decoded d = decode(in);
  if ((differences & bit(Difference::EdFcFdFeCodes)) && byte_at(in, d.at, 1) == 0xFC) {
    const uint8_t a = static_cast<uint8_t>(state.af >> 8), f = static_cast<uint8_t>(state.af);
    state.af = static_cast<uint16_t>((a << 8) | (f & 0xC4) | (a & 0x28) | 0x01);
  }
  if (differences & bit(Difference::FdcbResSetNoCopy)) restore_field(state, in.before, byte_at(in, d.at, 3) & 7);
  if (differences & bit(Difference::IndexedLatch)) {
    const uint16_t index = byte_at(in, d.at, 0) == 0xDD ? in.before.ix : in.before.iy;
    if (byte_at(in, d.at, 1) == 0x36) state.memptr = in.before.memptr;
    else state.memptr = static_cast<uint16_t>(state.memptr - index);
  }
  if (differences & (bit(Difference::NotTakenLatch) | bit(Difference::WideArithmeticLatch)))
    state.memptr = in.before.memptr;
  if (differences & bit(Difference::ScfCcfUndocumentedBits)) {
    const uint16_t source = in.flags_written_before ? (in.before.af >> 8) : (in.before.af >> 8) | in.before.af;
    state.af = static_cast<uint16_t>((state.af & ~0x28) | (source & 0x28));
  }
  if (differences & bit(Difference::CassetteTrap)) {
    state.pc = static_cast<uint16_t>(d.at + 1);
    state.sp = in.before.sp;
    state.memptr = in.before.memptr;
    events.clear();
  }
  if (differences & bit(Difference::TapeWriteTrap)) {
    const uint16_t sp = in.before.sp;
    state.pc = static_cast<uint16_t>(in.memory[sp] | in.memory[static_cast<uint16_t>(sp + 1)] << 8);
    state.sp = static_cast<uint16_t>(sp + 2);
    state.memptr = state.pc;
    events.clear();
  }
}

CpuView current_view() {
  return {z80.af.w, z80.bc.w, z80.de.w, z80.hl.w, z80.af_alt.w, z80.bc_alt.w, z80.de_alt.w, z80.hl_alt.w,
          z80.ix.w, z80.iy.w, z80.sp, z80.pc, z80.memptr, z80.i,
          static_cast<uint8_t>((z80.r7 & 0x80) | (z80.r & 0x7F)), z80.iff1, z80.iff2, z80.im};
}

void load_view(const CpuView& v) {
  z80.af.w = v.af; z80.bc.w = v.bc; z80.de.w = v.de; z80.hl.w = v.hl;
  z80.af_alt.w = v.af_alt; z80.bc_alt.w = v.bc_alt; z80.de_alt.w = v.de_alt; z80.hl_alt.w = v.hl_alt;
  z80.ix.w = v.ix; z80.iy.w = v.iy; z80.sp = v.sp; z80.pc = v.pc; z80.memptr = v.memptr;
  z80.i = v.i; z80.r = v.r; z80.r7 = v.r; z80.iff1 = v.iff1; z80.iff2 = v.iff2; z80.im = v.im;
}

void PrintTo(const CpuView& v, std::ostream* os) {
  char text[200];
  std::snprintf(text, sizeof text,
                "AF %04x BC %04x DE %04x HL %04x AF' %04x BC' %04x DE' %04x HL' %04x IX %04x IY %04x "
                "SP %04x PC %04x WZ %04x I %02x R %02x IFF %d%d IM %d",
                v.af, v.bc, v.de, v.hl, v.af_alt, v.bc_alt, v.de_alt, v.hl_alt, v.ix, v.iy, v.sp, v.pc,
                v.memptr, v.i, v.r, v.iff1, v.iff2, v.im);
  *os << text;
}

void PrintTo(const BusEvent& e, std::ostream* os) {
  static const char* const kinds[] = {"MW", "PR", "PW"};
  char text[32];
  std::snprintf(text, sizeof text, "%s %04x %02x", kinds[e.kind], e.address, e.value);
  *os << text;
}

uint32_t run_our_instruction(bool& halted) {
  uint32_t length = 0;
  for (int calls = 0; calls < 16; ++calls) {
    const uint16_t pc = z80.pc;
    const uint8_t opcode = flat_memory[pc];
    const uint32_t before = t_state;
    One_Z80_Instruction();
    length += t_state - before;
    halted = opcode == 0x76 && z80.pc == pc;
    if (!((opcode == 0xDD || opcode == 0xFD) && t_state == before && z80.pc == static_cast<uint16_t>(pc + 1))) break;
  }
  return length;
}
