// The CPU against z80ex, instruction by instruction, from random states: every opcode of every
// prefix group, all registers with all eight flag bits, the alternate set, I, R, the interrupt
// state, the halted state, memory writes and port traffic (full 16-bit port numbers) in order,
// and T-states. Where this CPU intends to differ, the one table turns z80ex's result into ours.
#include <gtest/gtest.h>
#include <z80ex/z80ex.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/frame.h"
#include "flat_bus.h"
#include "intended_differences.h"
#include "z80/z80.h"

namespace {

// Port reads return a fixed scramble of the full port number, the same for both CPUs.
uint8_t scrambled_port(uint16_t port) { return static_cast<uint8_t>((port * 0x9E3Bu) >> 9); }

struct Oracle {
  Z80EX_CONTEXT* cpu = nullptr;
  uint8_t memory[65536];
  std::vector<BusEvent> events;
  bool recording = false;
};
Oracle oracle;

Z80EX_BYTE oracle_read(Z80EX_CONTEXT*, Z80EX_WORD address, int, void*) { return oracle.memory[address]; }
void oracle_write(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void*) {
  oracle.memory[address] = value;
  if (oracle.recording) oracle.events.push_back({BusEvent::MemoryWrite, address, value});
}
Z80EX_BYTE oracle_in(Z80EX_CONTEXT*, Z80EX_WORD port, void*) {
  const uint8_t value = scrambled_port(port);
  if (oracle.recording) oracle.events.push_back({BusEvent::PortRead, port, value});
  return value;
}
void oracle_out(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE value, void*) {
  if (oracle.recording) oracle.events.push_back({BusEvent::PortWrite, port, value});
}
Z80EX_BYTE oracle_vector(Z80EX_CONTEXT*, void*) { return 0xFF; }

CpuView oracle_view() {
  auto reg = [](Z80_REG_T r) { return z80ex_get_reg(oracle.cpu, r); };
  return {reg(regAF), reg(regBC), reg(regDE), reg(regHL), reg(regAF_), reg(regBC_), reg(regDE_), reg(regHL_),
          reg(regIX), reg(regIY), reg(regSP), reg(regPC), 0, static_cast<uint8_t>(reg(regI)),
          static_cast<uint8_t>((reg(regR7) & 0x80) | (reg(regR) & 0x7F)), static_cast<uint8_t>(reg(regIFF1)),
          static_cast<uint8_t>(reg(regIFF2)), static_cast<uint8_t>(reg(regIM))};
}

// z80ex has no way to set its address latch directly; LD (nn),A leaves A:(nn+1) in it, so one
// such instruction run from scratch memory loads any latch value before the case proper.
void oracle_load_latch(uint16_t latch, uint16_t case_pc) {
  const uint16_t scratch = static_cast<uint16_t>(case_pc + 0x4000);
  const uint16_t target = static_cast<uint16_t>(((case_pc + 0x8000) & 0xFF00) | ((latch - 1) & 0xFF));
  uint8_t saved[3], saved_target = oracle.memory[target];
  for (int k = 0; k < 3; ++k) saved[k] = oracle.memory[static_cast<uint16_t>(scratch + k)];
  oracle.memory[scratch] = 0x32;
  oracle.memory[static_cast<uint16_t>(scratch + 1)] = static_cast<uint8_t>(target);
  oracle.memory[static_cast<uint16_t>(scratch + 2)] = static_cast<uint8_t>(target >> 8);
  z80ex_set_reg(oracle.cpu, regAF, static_cast<uint16_t>(latch & 0xFF00));
  z80ex_set_reg(oracle.cpu, regPC, scratch);
  z80ex_step(oracle.cpu);
  for (int k = 0; k < 3; ++k) oracle.memory[static_cast<uint16_t>(scratch + k)] = saved[k];
  oracle.memory[target] = saved_target;
}

void oracle_load(const CpuView& v) {
  z80ex_reset(oracle.cpu);
  oracle_load_latch(v.memptr, v.pc);
  const std::pair<Z80_REG_T, uint16_t> regs[] = {
      {regAF, v.af},   {regBC, v.bc},   {regDE, v.de},   {regHL, v.hl},   {regAF_, v.af_alt},
      {regBC_, v.bc_alt}, {regDE_, v.de_alt}, {regHL_, v.hl_alt}, {regIX, v.ix}, {regIY, v.iy},
      {regSP, v.sp},   {regPC, v.pc},   {regI, v.i},     {regR, v.r},     {regR7, v.r},
      {regIFF1, v.iff1}, {regIFF2, v.iff2}, {regIM, v.im}};
  for (const auto& [reg, value] : regs) z80ex_set_reg(oracle.cpu, reg, value);
}

// One instruction on z80ex: it reports each prefix as a step of its own.
uint32_t oracle_instruction() {
  uint32_t length = 0;
  for (int steps = 0; steps < 16; ++steps) {
    length += static_cast<uint32_t>(z80ex_step(oracle.cpu));
    if (z80ex_last_op_type(oracle.cpu) == 0) break;
  }
  return length;
}

class Z80Differential : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    oracle.cpu = z80ex_create(oracle_read, nullptr, oracle_write, nullptr, oracle_in, nullptr, oracle_out, nullptr,
                              oracle_vector, nullptr);
  }
  static void TearDownTestSuite() { z80ex_destroy(oracle.cpu); }

  void SetUp() override {
    flat_bus_clear();
    flat_port_value = scrambled_port;
    Init_Tables();
    for (uint8_t& b : background) b = static_cast<uint8_t>(random());
    std::memcpy(flat_memory, background, sizeof background);
    std::memcpy(oracle.memory, background, sizeof background);
    for (unsigned& uses : difference_uses) uses = 0;
  }

  CpuView random_state() {
    auto word = [&] { return static_cast<uint16_t>(random()); };
    CpuView v{word(), word(), word(), word(), word(), word(), word(), word(), word(), word(), word(), word(), word(),
              static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), 0, 0,
              static_cast<uint8_t>(random() % 3)};
    v.iff1 = random() & 1;
    v.iff2 = random() & 1;
    // Some cases with BC or B about to run out, so block instructions take their last step.
    if ((random() & 7) == 0) v.bc = static_cast<uint16_t>((random() & 1) ? 1 : 0x0100 | (v.bc & 0xFF));
    return v;
  }

  // Runs the bytes at a random pc (with random operand bytes after them) on both CPUs and
  // compares everything, then puts the memory back.
  void compare(const std::vector<uint8_t>& bytes, bool cassette = false, uint16_t forced_pc = 0, bool use_pc = false,
               bool system_rom = false) {
    CpuView start = random_state();
    last_a = static_cast<uint8_t>(start.af >> 8);
    if (use_pc) start.pc = forced_pc;
    for (std::size_t k = 0; k < bytes.size() + 4; ++k) {
      const uint16_t a = static_cast<uint16_t>(start.pc + k);
      flat_memory[a] = oracle.memory[a] = k < bytes.size() ? bytes[k] : background[a];
    }
    // Keep the instruction's own bytes out of the way of the latch loader's scratch bytes.
    const bool flags_written = random() & 1;

    oracle_load(start);
    oracle.events.clear();
    oracle.recording = true;
    const uint32_t oracle_length = oracle_instruction();
    oracle.recording = false;

    load_view(start);
    modify_flag = flags_written;
    flat_trap_armed = cassette;
    flat_tape_trap_armed = system_rom;
    flat_events.clear();
    t_state = 0;
    ReferenceInstruction instruction{flat_memory, start, flags_written, cassette, system_rom};
    const uint32_t differences = applicable_differences(instruction);
    bool halted = false;
    const uint32_t our_length = run_our_instruction(halted);

    CpuView expected = oracle_view();
    std::vector<BusEvent> expected_events = oracle.events;
    z80ex_bus_order(instruction, expected_events);
    adjust_reference_result(instruction, differences, expected, expected_events);
    CpuView ours = current_view();
    ours.memptr = expected.memptr = 0;  // z80ex does not report its latch
    char opcode_text[64];
    std::snprintf(opcode_text, sizeof opcode_text, "bytes %02x %02x %02x %02x at %04x", bytes[0],
                  bytes.size() > 1 ? bytes[1] : 0, bytes.size() > 2 ? bytes[2] : 0, bytes.size() > 3 ? bytes[3] : 0,
                  start.pc);
    SCOPED_TRACE(opcode_text);
    ++cases;
    bool same = ours == expected && flat_events == expected_events &&
                our_length + reference_length_excess(instruction, differences) == oracle_length &&
                halted == (z80ex_doing_halt(oracle.cpu) != 0);
    if (!same && failures++ < 20) {
      EXPECT_EQ(ours, expected);
      EXPECT_EQ(flat_events, expected_events);
      EXPECT_EQ(our_length + reference_length_excess(instruction, differences), oracle_length);
      EXPECT_EQ(halted, z80ex_doing_halt(oracle.cpu) != 0);
    }
    if (!same) ++mismatches;

    for (std::size_t k = 0; k < bytes.size() + 4; ++k) {
      const uint16_t a = static_cast<uint16_t>(start.pc + k);
      flat_memory[a] = oracle.memory[a] = background[a];
    }
    for (const BusEvent& e : flat_events)
      if (e.kind == BusEvent::MemoryWrite) flat_memory[e.address] = background[e.address];
    for (const BusEvent& e : oracle.events)
      if (e.kind == BusEvent::MemoryWrite) oracle.memory[e.address] = background[e.address];
  }

  void every_opcode(std::vector<uint8_t> prefix, int states_per_opcode, bool opcode_last = false) {
    for (int op = 0; op < 256; ++op) {
      for (int n = 0; n < states_per_opcode; ++n) {
        std::vector<uint8_t> bytes = prefix;
        if (opcode_last) {
          bytes.push_back(static_cast<uint8_t>(random()));  // displacement
          bytes.push_back(static_cast<uint8_t>(op));
        } else {
          bytes.push_back(static_cast<uint8_t>(op));
        }
        compare(bytes);
      }
    }
    EXPECT_EQ(mismatches, 0u) << "of " << cases << " cases";
  }

  std::mt19937 random{20261207};
  uint8_t background[65536];
  uint8_t last_a = 0;  // A of the last compared state
  unsigned cases = 0, mismatches = 0, failures = 0;
};

constexpr int states_per_opcode = 200;

TEST_F(Z80Differential, Unprefixed) { every_opcode({}, states_per_opcode); }
TEST_F(Z80Differential, CbGroup) { every_opcode({0xCB}, states_per_opcode); }
TEST_F(Z80Differential, EdGroup) {
  every_opcode({0xED}, states_per_opcode);
  EXPECT_GT(difference_uses[static_cast<int>(Difference::EdFcFdFeCodes)], 0u);
}
TEST_F(Z80Differential, DdGroupIncludingDroppedPrefixes) {
  every_opcode({0xDD}, states_per_opcode);
  EXPECT_GT(difference_uses[static_cast<int>(Difference::DroppedPrefix)], 0u);
}
TEST_F(Z80Differential, FdGroupIncludingDroppedPrefixes) { every_opcode({0xFD}, states_per_opcode); }
TEST_F(Z80Differential, DdcbGroup) { every_opcode({0xDD, 0xCB}, states_per_opcode, true); }
TEST_F(Z80Differential, FdcbGroup) {
  every_opcode({0xFD, 0xCB}, states_per_opcode, true);
  EXPECT_GT(difference_uses[static_cast<int>(Difference::FdcbResSetNoCopy)], 0u);
}

// Runs of prefixes: each of ours falls away in its own call, z80ex takes them in one instruction.
TEST_F(Z80Differential, PrefixChains) {
  const std::vector<std::vector<uint8_t>> chains = {
      {0xDD, 0xDD, 0x21}, {0xFD, 0xDD, 0x21}, {0xDD, 0xFD, 0x7E}, {0xDD, 0xED, 0xB0}, {0xFD, 0xED, 0x44},
      {0xDD, 0xFD, 0xDD, 0x00}, {0xFD, 0xCB}, {0xDD, 0x76}};
  for (const auto& chain : chains)
    for (int n = 0; n < 64; ++n) compare(chain);
  EXPECT_EQ(mismatches, 0u) << "of " << cases << " cases";
}

// The cassette hook: only at 0x1C53 and only with a cassette inserted does CALL differ.
TEST_F(Z80Differential, CallAtTheTapeEntryPoint) {
  for (int n = 0; n < 32; ++n) {
    compare({0xCD}, true, 0x1C53, true);
    compare({0xCD}, false, 0x1C53, true);
    compare({0xCD}, true, 0x1C52, true);
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(difference_uses[static_cast<int>(Difference::CassetteTrap)], 32u);
  EXPECT_EQ(flat_trap_calls, 32u);
}

// The tape writer: only PUSH AF at 0x1B8A with the system ROM in page 0 takes A and returns.
TEST_F(Z80Differential, PushAfAtTheTapeWriter) {
  for (int n = 0; n < 32; ++n) {
    compare({0xF5}, false, 0x1B8A, true, true);
    ASSERT_EQ(flat_tape_bytes.size(), static_cast<size_t>(n + 1));
    EXPECT_EQ(flat_tape_bytes.back(), last_a);
    compare({0xF5}, false, 0x1B8A, true, false);
    compare({0xF5}, false, 0x1B89, true, true);
    compare({0xDD, 0xE5}, false, 0x1B8A, true, true);
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(difference_uses[static_cast<int>(Difference::TapeWriteTrap)], 32u);
  EXPECT_EQ(flat_tape_bytes.size(), 32u);
}

}  // namespace
