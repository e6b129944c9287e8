// The CPU's own rules on the flat bus: flag tables, DAA/SCF/CCF, prefixes, block steps, HALT
// and R, the cassette hook and the T-state bookkeeping. Expectations come from the hardware's
// arithmetic and this CPU's stated rules, never from the interpreter's own tables.
#include <gtest/gtest.h>

#include <bit>
#include <initializer_list>

#include "core/frame.h"
#include "core/ports.h"
#include "flat_bus.h"
#include "z80/z80.h"

namespace {

class Z80Unit : public ::testing::Test {
 protected:
  void SetUp() override {
    flat_bus_clear();
    Reset_Z80();
  }
  // Places bytes at an address and points pc at them.
  void program(uint16_t address, std::initializer_list<uint8_t> bytes) {
    uint16_t a = address;
    for (uint8_t b : bytes) flat_memory[a++] = b;
    z80.pc = address;
  }
  // One call; returns its T-states.
  uint32_t step() {
    const uint32_t before = t_state;
    One_Z80_Instruction();
    EXPECT_EQ(frame_t_state, t_state - before);
    EXPECT_EQ(temp_t_state, before);
    return t_state - before;
  }
  uint8_t& A() { return z80.af.b.h; }
  uint8_t& F() { return z80.af.b.l; }
};

TEST_F(Z80Unit, FlagTablesFollowFromTheBitsOfEachValue) {
  for (int v = 0; v < 256; ++v) {
    const uint8_t sz53 = static_cast<uint8_t>((v & 0x80) | (v == 0 ? 0x40 : 0) | (v & 0x20) | (v & 0x08));
    const uint8_t p = std::popcount(static_cast<unsigned>(v)) % 2 == 0 ? 0x04 : 0;
    EXPECT_EQ(bits_table[v], sz53) << v;
    EXPECT_EQ(parity_table[v], p) << v;
    EXPECT_EQ(bitsp_table[v], sz53 | p) << v;
  }
  EXPECT_EQ(bitsp_table[0x00], 0x44);
  EXPECT_EQ(bitsp_table[0xFF], 0xAC);
  EXPECT_EQ(bitsp_table[0x01], 0x00);

  // The 8-entry tables, indexed by bit 3 (or 7) of the operands and result, must agree with
  // the carry out of bit 3 and the signed overflow of every 8-bit sum and difference.
  for (int a = 0; a < 256; ++a)
    for (int v = 0; v < 256; ++v)
      for (int c = 0; c < 2; ++c) {
        const uint8_t sum = static_cast<uint8_t>(a + v + c), diff = static_cast<uint8_t>(a - v - c);
        auto index = [&](uint8_t r, int shift) { return (((a >> shift) & 1) | (((v >> shift) & 1) << 1) | (((r >> shift) & 1) << 2)); };
        const bool half_carry = (a & 15) + (v & 15) + c > 15, half_borrow = (a & 15) < (v & 15) + c;
        const int signed_sum = int8_t(a) + int8_t(v) + c, signed_diff = int8_t(a) - int8_t(v) - c;
        ASSERT_EQ(hca_table[index(sum, 3)] != 0, half_carry) << a << "+" << v;
        ASSERT_EQ(hcs_table[index(diff, 3)] != 0, half_borrow) << a << "-" << v;
        ASSERT_EQ(overflow_add_table[index(sum, 7)] != 0, signed_sum < -128 || signed_sum > 127);
        ASSERT_EQ(overflow_sub_table[index(diff, 7)] != 0, signed_diff < -128 || signed_diff > 127);
      }
}

TEST_F(Z80Unit, ResetClearsRegistersButKeepsTheLatchAndTheFlagMemory) {
  z80.pc = 0x1234; z80.sp = 0x5678; z80.af.w = 0xFFFF; z80.ix.w = 0x1111; z80.r = 0x55; z80.r7 = 0x80;
  z80.iff1 = z80.iff2 = 1; z80.im = 2; z80.memptr = 0xBEEF; modify_flag = 1;
  t_state = 500; temp_t_state = 490; screen_t_state = 480; frame_t_state = 10; earbit = 1;
  Reset_Z80();
  EXPECT_EQ(z80.pc, 0); EXPECT_EQ(z80.sp, 0); EXPECT_EQ(z80.hl.w, 0xFFFF); EXPECT_EQ(z80.af.w, 0);
  EXPECT_EQ(z80.ix.w, 0); EXPECT_EQ(z80.r, 0); EXPECT_EQ(z80.r7, 0); EXPECT_EQ(z80.im, 0);
  EXPECT_EQ(z80.iff1, 0); EXPECT_EQ(z80.iff2, 0);
  EXPECT_EQ(t_state, 0u); EXPECT_EQ(temp_t_state, 0u); EXPECT_EQ(screen_t_state, 0u); EXPECT_EQ(earbit, 0);
  EXPECT_EQ(z80.memptr, 0xBEEF);
  EXPECT_EQ(modify_flag, 1);
  EXPECT_EQ(frame_t_state, 10u);
}

// ADD/SUB followed by DAA must give the decimal sum or difference of any two BCD numbers.
TEST_F(Z80Unit, DaaCorrectsEveryBcdSumAndDifference) {
  for (int x = 0; x < 100; ++x)
    for (int y = 0; y < 100; ++y) {
      const uint8_t bx = static_cast<uint8_t>((x / 10) << 4 | x % 10), by = static_cast<uint8_t>((y / 10) << 4 | y % 10);
      for (bool subtract : {false, true}) {
        SetUp();
        program(0x4000, {static_cast<uint8_t>(subtract ? 0x90 : 0x80), 0x27});  // ADD/SUB B; DAA
        A() = bx;
        z80.bc.b.h = by;
        step();
        step();
        const int decimal = subtract ? (x - y + 100) % 100 : (x + y) % 100;
        const bool carry = subtract ? x < y : x + y > 99;
        ASSERT_EQ(A(), (decimal / 10) << 4 | decimal % 10) << x << (subtract ? "-" : "+") << y;
        ASSERT_EQ((F() & FLAG_C) != 0, carry);
        ASSERT_EQ((F() & FLAG_Z) != 0, decimal == 0);
        ASSERT_EQ((F() & FLAG_N) != 0, subtract);
        ASSERT_EQ((F() & FLAG_PV) != 0, std::popcount(static_cast<unsigned>(A())) % 2 == 0);
      }
    }
  SetUp();
  program(0x4000, {0x27});
  A() = 0x9A;
  F() = 0;
  step();
  EXPECT_EQ(A(), 0x00);
  EXPECT_EQ(F() & (FLAG_C | FLAG_Z), FLAG_C | FLAG_Z);
}

// Bits 5 and 3 of SCF/CCF depend on whether the instruction before wrote F.
TEST_F(Z80Unit, ScfAndCcfTakeBits5And3ByThePreviousInstruction) {
  struct Case { uint8_t opcode, f, a, flag_memory, expected_f; };
  const Case cases[] = {
      {0x37, 0x28, 0x00, 0, 0x29}, {0x37, 0x28, 0x00, 1, 0x01}, {0x37, 0x00, 0x28, 0, 0x29},
      {0x37, 0x00, 0x28, 1, 0x29}, {0x37, 0xC6, 0x00, 1, 0xC5},  // S, Z, P/V kept; H and N cleared
      {0x3F, 0x01, 0x00, 1, 0x10}, {0x3F, 0x00, 0x00, 1, 0x01},  // CCF: H = old C, C inverted
      {0x3F, 0x08, 0x20, 0, 0x29}};
  for (const Case& c : cases) {
    SetUp();
    program(0x4000, {c.opcode});
    F() = c.f;
    A() = c.a;
    modify_flag = c.flag_memory;
    EXPECT_EQ(step(), 4u);
    EXPECT_EQ(F(), c.expected_f) << std::hex << int(c.opcode) << " F=" << int(c.f) << " A=" << int(c.a);
    EXPECT_EQ(modify_flag, 1);
  }
  // Which instructions count as writing F: a run through the flag memory.
  struct Writer { std::initializer_list<uint8_t> bytes; uint8_t writes; };
  const Writer writers[] = {{{0x3E, 0x00}, 0}, {{0xF1}, 0}, {{0x08}, 0}, {{0x80}, 1}, {{0x04}, 1},
                            {{0x03}, 0}, {{0x09}, 1}, {{0x07}, 1}, {{0xCB, 0x40}, 1}, {{0xCB, 0xC0}, 0},
                            {{0xED, 0x44}, 1}, {{0xED, 0x47}, 0}, {{0xED, 0x57}, 1}, {{0xED, 0xA0}, 1}};
  for (const Writer& w : writers) {
    SetUp();
    program(0x4000, w.bytes);
    modify_flag = !w.writes;
    step();
    EXPECT_EQ(modify_flag, w.writes) << std::hex << int(*w.bytes.begin());
  }
}

TEST_F(Z80Unit, CompareTakesBits5And3FromTheOperand) {
  program(0x4000, {0xFE, 0x28});  // CP 0x28 with A = 0: the difference 0xD8 has bit 5 clear
  step();
  EXPECT_EQ(F() & 0x28, 0x28);
  EXPECT_EQ(F() & (FLAG_S | FLAG_N | FLAG_C), FLAG_S | FLAG_N | FLAG_C);
  EXPECT_EQ(A(), 0);
  // BIT n,(HL) shows the latch's high byte, whatever the byte and HL hold.
  program(0x4000, {0xCB, 0x46});
  z80.memptr = 0x2800;
  z80.hl.w = 0x5000;
  flat_memory[0x5000] = 0xD7;
  EXPECT_EQ(step(), 12u);
  EXPECT_EQ(F() & 0x28, 0x28);
}

TEST_F(Z80Unit, IndexPrefixesFallAwayOneCallAtATime) {
  program(0x4000, {0xDD, 0x00});
  EXPECT_EQ(step(), 0u);
  EXPECT_EQ(z80.pc, 0x4001);
  EXPECT_EQ(z80.r, 1);
  EXPECT_EQ(flat_instruction_ends, 1u);  // the common end runs for the dropped prefix too
  EXPECT_EQ(step(), 4u);
  EXPECT_EQ(z80.r, 2);

  SetUp();
  program(0x4000, {0xDD, 0xDD, 0x21, 0x34, 0x12});
  modify_flag = 1;
  EXPECT_EQ(step(), 0u);
  EXPECT_EQ(z80.pc, 0x4001);
  EXPECT_EQ(modify_flag, 1);  // a dropped prefix leaves the flag memory alone
  EXPECT_EQ(step(), 14u);
  EXPECT_EQ(z80.ix.w, 0x1234);
  EXPECT_EQ(z80.pc, 0x4005);
  EXPECT_EQ(z80.r, 3);

  SetUp();  // DD ED B0: the DD falls away and LDIR runs
  program(0x4000, {0xDD, 0xED, 0xB0});
  z80.hl.w = 0x5000; z80.de.w = 0x6000; z80.bc.w = 1; z80.ix.w = 0x7777;
  flat_memory[0x5000] = 0xAB;
  EXPECT_EQ(step(), 0u);
  EXPECT_EQ(step(), 16u);
  EXPECT_EQ(flat_memory[0x6000], 0xAB);
  EXPECT_EQ(z80.ix.w, 0x7777);
  EXPECT_EQ(z80.pc, 0x4003);
}

TEST_F(Z80Unit, IndexHalvesAndDisplacements) {
  program(0x4000, {0xDD, 0x65});  // LD IXH,IXL
  z80.ix.w = 0x1000;
  EXPECT_EQ(step(), 8u);
  EXPECT_EQ(z80.ix.w, 0x0000);
  program(0x4000, {0xDD, 0x26, 0x99});  // LD IXH,0x99
  EXPECT_EQ(step(), 11u);
  EXPECT_EQ(z80.ix.b.h, 0x99);

  program(0x4000, {0xDD, 0x66, 0x05});  // LD H,(IX+5): the real H
  z80.ix.w = 0x1000;
  flat_memory[0x1005] = 0x5A;
  EXPECT_EQ(step(), 19u);
  EXPECT_EQ(z80.hl.b.h, 0x5A);
  EXPECT_EQ(z80.ix.w, 0x1000);
  EXPECT_EQ(z80.memptr, 0x0005);

  program(0x4000, {0xFD, 0x74, 0xFE});  // LD (IY-2),H
  z80.iy.w = 0x2000;
  z80.hl.b.h = 0x77;
  EXPECT_EQ(step(), 19u);
  EXPECT_EQ(flat_memory[0x1FFE], 0x77);
  EXPECT_EQ(z80.memptr, 0xFFFE);
}

TEST_F(Z80Unit, IndexedBitGroupCopiesAndCosts) {
  struct Case { uint8_t prefix, opcode, before; uint8_t memory_after; bool copies_to_b; };
  const Case cases[] = {{0xDD, 0x00, 0x81, 0x03, true},   // RLC (IX+5),B
                        {0xFD, 0x00, 0x81, 0x03, true},   // RLC (IY+5),B: rotates copy in both groups
                        {0xDD, 0xC0, 0x80, 0x81, true},   // SET 0,(IX+5),B
                        {0xFD, 0xC0, 0x80, 0x81, false},  // SET 0,(IY+5): memory only
                        {0xFD, 0x80, 0x81, 0x80, false},  // RES 0,(IY+5): memory only
                        {0xDD, 0x46, 0x81, 0x81, false}};  // BIT 0,(IX+5)
  for (const Case& c : cases) {
    SetUp();
    program(0x4000, {c.prefix, 0xCB, 0x05, c.opcode});
    z80.ix.w = z80.iy.w = 0x1000;
    z80.bc.b.h = 0x42;
    flat_memory[0x1005] = c.before;
    EXPECT_EQ(step(), 18u);
    EXPECT_EQ(flat_memory[0x1005], c.memory_after);
    EXPECT_EQ(z80.bc.b.h, c.copies_to_b ? c.memory_after : 0x42) << std::hex << int(c.prefix) << " " << int(c.opcode);
    EXPECT_EQ(z80.memptr, 0x1005);
    EXPECT_EQ(z80.pc, 0x4004);
    EXPECT_EQ(z80.r, 2);
  }
  SetUp();
  program(0x4000, {0xDD, 0xCB, 0x05, 0x00});
  z80.ix.w = 0x1000;
  flat_memory[0x1005] = 0x81;
  step();
  EXPECT_EQ(F() & FLAG_C, FLAG_C);
  // BIT on (IX+d) shows the effective address's high byte in bits 5 and 3.
  program(0x4000, {0xDD, 0xCB, 0x05, 0x46});
  z80.ix.w = 0x2800;
  step();
  EXPECT_EQ(F() & 0x28, 0x28);
}

TEST_F(Z80Unit, MachineEdCodesAndUndefinedEdCodes) {
  for (uint8_t flag_memory : {0, 1}) {
    SetUp();
    program(0x4000, {0xED, 0xFC});
    A() = 0x28;
    F() = 0xD6;  // S Z H N set, carry clear
    modify_flag = flag_memory;
    EXPECT_EQ(step(), 0u);
    EXPECT_EQ(F(), 0xC4 | 0x28 | 0x01);
    EXPECT_EQ(modify_flag, flag_memory);
    EXPECT_EQ(z80.pc, 0x4002);
  }
  for (uint8_t code : {0x00, 0x3F, 0x77, 0x80, 0xA4, 0xBF, 0xFF, 0xFD, 0xFE}) {
    SetUp();
    program(0x4000, {0xED, code});
    z80.af.w = 0x1234; z80.bc.w = 0x5678; z80.hl.w = 0x9ABC; z80.sp = 0xDEF0;
    modify_flag = 1;
    EXPECT_EQ(step(), code == 0xFD || code == 0xFE ? 0u : 8u) << std::hex << int(code);
    EXPECT_EQ(z80.pc, 0x4002);
    EXPECT_EQ(z80.r, 2);
    EXPECT_EQ(z80.af.w, 0x1234);
    EXPECT_EQ(z80.bc.w, 0x5678);
    EXPECT_EQ(z80.sp, 0xDEF0);
    EXPECT_EQ(modify_flag, 1);
    EXPECT_TRUE(flat_events.empty());
  }
}

TEST_F(Z80Unit, RepeatingBlockStepsRunOneIterationPerCall) {
  program(0x4000, {0xED, 0xB0});  // LDIR, three bytes
  z80.hl.w = 0x5000; z80.de.w = 0x6000; z80.bc.w = 3;
  for (int k = 0; k < 3; ++k) flat_memory[0x5000 + k] = static_cast<uint8_t>(0x11 * (k + 1));
  EXPECT_EQ(step(), 21u);
  EXPECT_EQ(z80.pc, 0x4000);
  EXPECT_EQ(z80.memptr, 0x4001);
  EXPECT_EQ(step(), 21u);
  EXPECT_EQ(step(), 16u);
  EXPECT_EQ(z80.pc, 0x4002);
  EXPECT_EQ(flat_instruction_ends, 3u);
  EXPECT_EQ(z80.r, 6);
  EXPECT_EQ(flat_memory[0x6000], 0x11); EXPECT_EQ(flat_memory[0x6001], 0x22); EXPECT_EQ(flat_memory[0x6002], 0x33);
  EXPECT_EQ(z80.bc.w, 0);
  EXPECT_EQ(F() & FLAG_PV, 0);

  SetUp();  // INIR with B = 1: one transfer, no repeat
  program(0x4000, {0xED, 0xB2});
  z80.bc.w = 0x01FE;
  z80.hl.w = 0x7000;
  EXPECT_EQ(step(), 16u);
  EXPECT_EQ(z80.pc, 0x4002);
  EXPECT_EQ(z80.bc.b.h, 0);
  ASSERT_EQ(flat_events.size(), 2u);
  EXPECT_EQ(flat_events[0], (BusEvent{BusEvent::PortRead, 0x01FE, 0x01}));
  EXPECT_EQ(flat_events[1], (BusEvent{BusEvent::MemoryWrite, 0x7000, 0x01}));
  EXPECT_EQ(z80.memptr, 0x01FF);

  SetUp();  // CPIR finds the byte at the second step with BC still above zero
  program(0x4000, {0xED, 0xB1});
  A() = 0x42;
  z80.hl.w = 0x5000;
  z80.bc.w = 5;
  flat_memory[0x5000] = 0x00;
  flat_memory[0x5001] = 0x42;
  EXPECT_EQ(step(), 21u);
  EXPECT_EQ(step(), 16u);
  EXPECT_EQ(z80.pc, 0x4002);
  EXPECT_EQ(z80.hl.w, 0x5002);
  EXPECT_EQ(z80.bc.w, 3);
  EXPECT_EQ(F() & (FLAG_Z | FLAG_PV | FLAG_N), FLAG_Z | FLAG_PV | FLAG_N);
  EXPECT_EQ(z80.memptr, 0x4002);  // the repeat's ED + 1, then one more for the last step
}

TEST_F(Z80Unit, HaltRefreshAndLoadAR) {
  program(0x4000, {0x76});
  for (int k = 1; k <= 300; ++k) {
    EXPECT_EQ(step(), 4u);
    EXPECT_EQ(z80.pc, 0x4000);
  }
  EXPECT_EQ(z80.r, 300 % 256);  // all eight bits count and wrap

  SetUp();
  program(0x4000, {0xED, 0x5F});  // LD A,R with r7 = 0x80, r = 0x7F
  z80.r7 = 0x80;
  z80.r = 0x7F;
  z80.iff2 = 1;
  EXPECT_EQ(step(), 9u);
  EXPECT_EQ(A(), 0x81);
  EXPECT_EQ(F() & FLAG_PV, FLAG_PV);

  SetUp();  // LD R,A with 0x80, three NOPs, a CB instruction, then LD A,R: 1 + 3 + 2 + 2 fetches
  program(0x4000, {0xED, 0x4F, 0x00, 0x00, 0x00, 0xCB, 0x00, 0xED, 0x5F});
  A() = 0x80;
  for (int k = 0; k < 6; ++k) step();
  EXPECT_EQ(A(), 0x80 + 7);

  SetUp();  // EI then HALT: still halted frame after frame, interrupts are never delivered
  program(0x4000, {0xFB, 0x76});
  step();
  for (int k = 0; k < 1000; ++k) step();
  EXPECT_EQ(z80.pc, 0x4001);
  EXPECT_EQ(z80.iff1, 1);
}

TEST_F(Z80Unit, CallAtTheTapeEntryPoint) {
  for (bool inserted : {true, false}) {
    SetUp();
    program(0x1C53, {0xCD, 0x00, 0x20});
    z80.sp = 0x8000;
    z80.memptr = 0x1234;
    modify_flag = 1;
    flat_trap_armed = inserted;
    EXPECT_EQ(step(), 17u);
    if (inserted) {
      EXPECT_EQ(flat_trap_calls, 1u);
      EXPECT_EQ(z80.pc, 0x1C54);
      EXPECT_EQ(z80.sp, 0x8000);
      EXPECT_TRUE(flat_events.empty());
      EXPECT_EQ(z80.memptr, 0x1234);
      EXPECT_EQ(modify_flag, 1);
    } else {
      EXPECT_EQ(flat_trap_calls, 0u);
      EXPECT_EQ(z80.pc, 0x2000);
      EXPECT_EQ(z80.sp, 0x7FFE);
      EXPECT_EQ(flat_memory[0x7FFF], 0x1C);
      EXPECT_EQ(flat_memory[0x7FFE], 0x56);
      EXPECT_EQ(modify_flag, 0);
    }
  }
  SetUp();  // the same call anywhere else is an ordinary call
  program(0x1C52, {0xCD, 0x00, 0x20});
  z80.sp = 0x8000;
  flat_trap_armed = true;
  step();
  EXPECT_EQ(flat_trap_calls, 0u);
  EXPECT_EQ(z80.pc, 0x2000);
}

}  // namespace
