// The CPU against the 1356 reference vectors (tests/z80/vectors): registers, MEMPTR, I, R,
// IFF1/2, IM, the halted state, memory writes and port traffic in order, changed memory and
// the T-state count, with this CPU's intended differences applied from the one table.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/frame.h"
#include "flat_bus.h"
#include "intended_differences.h"
#include "z80/z80.h"

namespace {

struct MemoryBlock {
  uint16_t address;
  std::vector<uint8_t> bytes;
};

struct VectorState {
  CpuView cpu{};
  bool halted = false;
  uint32_t tstates = 0;
};

struct VectorCase {
  std::string name;
  VectorState start, end;
  std::vector<MemoryBlock> memory, changed;
  std::vector<BusEvent> events;
};

bool read_registers(std::istream& in, VectorState& s) {
  unsigned v[13], i, r, iff1, iff2, im, halted, tstates;
  std::string line;
  if (!std::getline(in, line)) return false;
  std::istringstream regs(line);
  for (unsigned& x : v) regs >> std::hex >> x;
  if (!std::getline(in, line)) return false;
  std::istringstream rest(line);
  rest >> std::hex >> i >> r >> std::dec >> iff1 >> iff2 >> im >> halted >> tstates;
  if (!regs || !rest) return false;
  s.cpu = {static_cast<uint16_t>(v[0]), static_cast<uint16_t>(v[1]), static_cast<uint16_t>(v[2]),
           static_cast<uint16_t>(v[3]), static_cast<uint16_t>(v[4]), static_cast<uint16_t>(v[5]),
           static_cast<uint16_t>(v[6]), static_cast<uint16_t>(v[7]), static_cast<uint16_t>(v[8]),
           static_cast<uint16_t>(v[9]), static_cast<uint16_t>(v[10]), static_cast<uint16_t>(v[11]),
           static_cast<uint16_t>(v[12]), static_cast<uint8_t>(i), static_cast<uint8_t>(r),
           static_cast<uint8_t>(iff1), static_cast<uint8_t>(iff2), static_cast<uint8_t>(im)};
  s.halted = halted != 0;
  s.tstates = tstates;
  return true;
}

// "<address> <bytes> -1" lines up to a lone -1 (tests.in) or a blank line (tests.expected).
void read_memory(std::istream& in, std::vector<MemoryBlock>& blocks) {
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word == "-1") return;
    MemoryBlock block{static_cast<uint16_t>(std::stoul(word, nullptr, 16)), {}};
    while (words >> word && word != "-1") block.bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    blocks.push_back(block);
  }
}

std::string next_name(std::istream& in) {
  std::string line;
  while (std::getline(in, line))
    if (line.find_first_not_of(" \t\r") != std::string::npos) return line;
  return {};
}

std::vector<VectorCase> load_vectors() {
  std::vector<VectorCase> cases;
  std::ifstream in(VANTOREL_SOURCE_DIR "/tests/z80/vectors/tests.in");
  std::ifstream expected(VANTOREL_SOURCE_DIR "/tests/z80/vectors/tests.expected");
  for (std::string name = next_name(in); !name.empty(); name = next_name(in)) {
    VectorCase c;
    c.name = name;
    if (!read_registers(in, c.start)) break;
    read_memory(in, c.memory);
    if (next_name(expected) != name) {
      ADD_FAILURE() << "tests.expected out of step at " << name;
      break;
    }
    std::string line;
    while (std::getline(expected, line)) {
      std::istringstream words(line);
      std::string time, type, address, data;
      words >> time >> type >> address >> data;
      if (type == "MR" || type == "MC" || type == "PC") continue;
      const uint16_t a = static_cast<uint16_t>(std::stoul(address, nullptr, 16));
      const uint8_t v = data.empty() ? 0 : static_cast<uint8_t>(std::stoul(data, nullptr, 16));
      if (type == "MW") c.events.push_back({BusEvent::MemoryWrite, a, v});
      else if (type == "PR") c.events.push_back({BusEvent::PortRead, a, v});
      else if (type == "PW") c.events.push_back({BusEvent::PortWrite, a, v});
      else break;  // the register line
    }
    std::string second;
    std::getline(expected, second);
    std::istringstream both(line + "\n" + second + "\n");
    if (!read_registers(both, c.end)) {
      ADD_FAILURE() << "unreadable expectation for " << name;
      break;
    }
    read_memory(expected, c.changed);
    cases.push_back(std::move(c));
  }
  return cases;
}

// Runs the reference's instruction at pc: our dropped prefixes and the instruction proper.
uint32_t run_reference_instruction(ReferenceInstruction& instruction, uint32_t& differences, bool& halted) {
  instruction = {flat_memory, current_view(), modify_flag != 0, flat_trap_armed};
  differences = applicable_differences(instruction);
  return run_our_instruction(halted) + reference_length_excess(instruction, differences);
}

void run_case(const VectorCase& c) {
  SCOPED_TRACE(c.name);
  flat_bus_clear();
  for (const MemoryBlock& b : c.memory)
    for (std::size_t k = 0; k < b.bytes.size(); ++k) flat_memory[static_cast<uint16_t>(b.address + k)] = b.bytes[k];
  std::vector<uint8_t> initial(flat_memory, flat_memory + 65536);
  load_view(c.start.cpu);
  modify_flag = 0;  // the vectors' SCF/CCF rule is the one for a previous instruction that left F alone
  t_state = 0;

  uint32_t reference_t = 0, differences = 0;
  ReferenceInstruction instruction{};
  int instructions = 0;
  bool halted = false;
  while (reference_t < c.start.tstates) {
    if (instructions > 0 && (differences & state_differences))
      ADD_FAILURE() << "an intended difference inside a run of several instructions";
    reference_t += run_reference_instruction(instruction, differences, halted);
    ++instructions;
  }

  CpuView expected = c.end.cpu;
  std::vector<BusEvent> expected_events = c.events;
  adjust_reference_result(instruction, differences, expected, expected_events);
  EXPECT_EQ(current_view(), expected);
  EXPECT_EQ(flat_events, expected_events);
  EXPECT_EQ(halted, c.end.halted);
  EXPECT_EQ(reference_t, c.end.tstates);

  std::vector<uint8_t> expected_memory = initial;
  for (const MemoryBlock& b : c.changed)
    for (std::size_t k = 0; k < b.bytes.size(); ++k) expected_memory[static_cast<uint16_t>(b.address + k)] = b.bytes[k];
  if (differences & state_differences) {
    // Memory follows the bus writes the difference leaves (none for the cassette hook).
    expected_memory = initial;
    for (const BusEvent& e : expected_events)
      if (e.kind == BusEvent::MemoryWrite) expected_memory[e.address] = e.value;
  }
  EXPECT_TRUE(std::equal(expected_memory.begin(), expected_memory.end(), flat_memory));
}

}  // namespace

TEST(Z80Vectors, EveryVectorMatchesTheReferenceUpToTheIntendedDifferences) {
  const std::vector<VectorCase> cases = load_vectors();
  ASSERT_EQ(cases.size(), 1356u);
  Init_Tables();
  for (unsigned& uses : difference_uses) uses = 0;
  for (const VectorCase& c : cases) run_case(c);
  // The table is not a place to hide faults: every entry the vectors can reach is reached.
  for (Difference d : {Difference::IndexedBitLength, Difference::DroppedPrefix, Difference::FdcbResSetNoCopy,
                       Difference::IndexedLatch, Difference::NotTakenLatch,
                       Difference::WideArithmeticLatch})
    EXPECT_GT(difference_uses[static_cast<int>(d)], 0u) << intended_differences[static_cast<int>(d)].what;
}
