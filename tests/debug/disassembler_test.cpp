// Every opcode form written to a binary, disassembled by z80dasm and by us, compared line by line.
//
// The normalisation, applied to both texts before comparing:
//   - lower case; no space after a comma; runs of blanks become one space;
//   - every number becomes its decimal value: ours are $-prefixed hex, z80dasm's are 0ffh-style
//     hex or bare decimal digits (rst 8, bit 7, im 1);
//   - z80dasm's relative "$+N"/"$-N" (from the instruction's address) becomes the absolute target;
//   - z80dasm's names of undocumented forms: "sli" is SLL; "op (ix+d) & ld r,(ix+d)" is our
//     "op (ix+d),r", except for BIT, which copies nothing, so it is our plain "bit n,(ix+d)".
// z80dasm rejects (as defb) the forms it does not know: the ED duplicates and undefined ED codes,
// and a DD/FD prefix before an opcode with no indexed form. Those are checked against the table
// below, written from the Z80's documented behaviour.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "debug/disassembler.h"
#include "debug/symbols.h"
#include "scratch_dir.h"

namespace {

std::string normalise(std::string text, uint16_t address) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const std::regex relative(R"(\$([+-]\d+))"), undocumented_copy(R"(^(\S+ [^&]*) & ld (\w),\(.*\)$)");
  static const std::regex number(R"(\$([0-9a-f]+)|\b([0-9][0-9a-f]*)h\b)"), blanks(R"(\s+)"), comma(R"(, )");
  std::smatch m;
  if (std::regex_search(text, m, relative))
    text = m.prefix().str() + std::to_string((address + std::stoi(m[1].str())) & 0xFFFF) + m.suffix().str();
  if (std::regex_match(text, m, undocumented_copy))
    text = m[1].str().rfind("bit", 0) == 0 ? m[1].str() : m[1].str() + "," + m[2].str();
  std::string out;
  auto from = text.cbegin();
  for (std::sregex_iterator it(text.begin(), text.end(), number), end; it != end; ++it) {
    out.append(from, (*it)[0].first);
    out += std::to_string(std::stoul((*it)[1].matched ? (*it)[1].str() : (*it)[2].str(), nullptr, 16));
    from = (*it)[0].second;
  }
  out.append(from, text.cend());
  out = std::regex_replace(std::regex_replace(out, blanks, " "), comma, ",");
  if (out.rfind("sli ", 0) == 0) out.replace(0, 3, "sll");
  return out;
}

// The ED codes z80dasm rejects that repeat a documented instruction, normalised, with their length
// (13330 is the operand $3412 the test puts after them); any other rejected ED code is a 2-byte NOP.
const std::map<uint8_t, std::pair<const char*, uint8_t>> ed_duplicates = {
    {0x4C, {"neg", 2}},  {0x54, {"neg", 2}},  {0x5C, {"neg", 2}},  {0x64, {"neg", 2}},
    {0x6C, {"neg", 2}},  {0x74, {"neg", 2}},  {0x7C, {"neg", 2}},  {0x55, {"retn", 2}},
    {0x5D, {"retn", 2}}, {0x65, {"retn", 2}}, {0x6D, {"retn", 2}}, {0x75, {"retn", 2}},
    {0x7D, {"retn", 2}}, {0x4E, {"im 0", 2}}, {0x66, {"im 0", 2}}, {0x6E, {"im 0", 2}},
    {0x76, {"im 1", 2}}, {0x7E, {"im 2", 2}}, {0x63, {"ld (13330),hl", 4}}, {0x6B, {"ld hl,(13330)", 4}}};

struct Case {
  uint8_t bytes[4];
};

// Every form with a few operand and displacement values, each in an 8-byte slot padded with NOPs
// so that a length z80dasm sees differently cannot shift the next case.
std::vector<Case> all_forms() {
  std::vector<Case> cases;
  const uint8_t operands[4][2] = {{0x00, 0x00}, {0x34, 0x12}, {0x80, 0xFF}, {0x7F, 0x01}};
  for (int op = 0; op < 256; op++) {
    if (op != 0xCB && op != 0xDD && op != 0xED && op != 0xFD)
      for (auto& o : operands) cases.push_back({{uint8_t(op), o[0], o[1], 0}});
    cases.push_back({{0xCB, uint8_t(op), 0, 0}});
    cases.push_back({{0xED, uint8_t(op), 0x12, 0x34}});
    for (uint8_t prefix : {0xDD, 0xFD}) {
      if (op != 0xCB)
        for (int v = 1; v < 3; v++) cases.push_back({{prefix, uint8_t(op), operands[v][0], operands[v][1]}});
      for (uint8_t d : {0x00, 0x7F, 0x80, 0xFE}) cases.push_back({{prefix, 0xCB, d, uint8_t(op)}});
    }
  }
  return cases;
}

struct DasmLine {
  std::string text;
  unsigned length;
};

// z80dasm's lines by address (-a -t: ";ADDR<tab>bytes" after the instruction).
std::map<unsigned, DasmLine> run_z80dasm(const std::string& binary) {
  std::map<unsigned, DasmLine> lines;
  FILE* pipe = popen(("z80dasm -u -a -t -g 0 " + binary + " 2>/dev/null").c_str(), "r");
  if (!pipe) return lines;
  static const std::regex listing(R"(^\t(.*?)\s*;([0-9a-f]{4})\t((?:[0-9a-f]{2} )+))");
  char buffer[512];
  std::smatch m;
  while (std::fgets(buffer, sizeof buffer, pipe)) {
    const std::string line(buffer);
    if (std::regex_search(line, m, listing))
      lines[std::stoul(m[2].str(), nullptr, 16)] = {m[1].str(), unsigned(m[3].length() / 3)};
  }
  pclose(pipe);
  return lines;
}

TEST(Disassembler, EveryFormAgreesWithZ80dasmOrTheDocumentedTable) {
  if (std::system("command -v z80dasm >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "z80dasm is not installed (scripts/install-deps.sh installs it)";
  const std::vector<Case> cases = all_forms();
  std::vector<unsigned char> binary(cases.size() * 8, 0x00);
  for (size_t i = 0; i < cases.size(); i++) std::copy_n(cases[i].bytes, 4, binary.begin() + i * 8);
  ScratchDir dir;
  dir.write("forms.bin", binary);
  const auto reference = run_z80dasm(dir.file("forms.bin"));
  ASSERT_GT(reference.size(), cases.size());

  int checked_by_z80dasm = 0, checked_by_table = 0;
  for (size_t i = 0; i < cases.size(); i++) {
    const uint16_t address = uint16_t(i * 8);
    const uint8_t* bytes = cases[i].bytes;
    const DisassembledInstruction ours = disassemble(bytes, address);
    const std::string our_text = normalise(ours.text, address);
    const auto found = reference.find(address);
    ASSERT_NE(found, reference.end()) << "z80dasm lost the slot at " << address;
    SCOPED_TRACE(testing::Message() << std::hex << "bytes " << int(bytes[0]) << " " << int(bytes[1]) << " "
                                    << int(bytes[2]) << " " << int(bytes[3]) << ": z80dasm '" << found->second.text
                                    << "', ours '" << ours.text << "'");
    if (found->second.text.rfind("defb", 0) != 0) {
      EXPECT_EQ(our_text, normalise(found->second.text, address));
      EXPECT_EQ(ours.length, found->second.length);
      checked_by_z80dasm++;
    } else if (bytes[0] == 0xED) {
      const auto duplicate = ed_duplicates.find(bytes[1]);
      const bool listed = duplicate != ed_duplicates.end();
      EXPECT_EQ(our_text, listed ? duplicate->second.first : "nop");
      EXPECT_EQ(ours.length, listed ? duplicate->second.second : 2);
      checked_by_table++;
    } else {
      // The Z80 ignores a DD/FD whose opcode names no HL, H, L or (HL): shown alone.
      ASSERT_TRUE(bytes[0] == 0xDD || bytes[0] == 0xFD);
      EXPECT_EQ(our_text, bytes[0] == 0xDD ? "defb 221" : "defb 253");
      EXPECT_EQ(ours.length, 1);
      checked_by_table++;
    }
  }
  // Only the forms named above may fall to the table: the ED codes but the 58 documented ones
  // (16 block, 42 in 40..7F), and per prefix (with two operand sets) the opcodes but CB and the
  // 85 that name HL, H, L or (HL).
  EXPECT_EQ(checked_by_table, (256 - 58) + 2 * 2 * (255 - 85));
  EXPECT_EQ(checked_by_z80dasm + checked_by_table, int(cases.size()));
}

TEST(Disassembler, LabelsReplaceExactAddressesOnly) {
  SymbolTable symbols;
  ASSERT_TRUE(load_symbol_text(symbols, "PRINT_LINE EQU $1234\nMESSAGE EQU $3800\nLOOP EQU $3005\n", "t").error.empty());
  const struct {
    uint8_t bytes[4];
    const char* text;
  } cases[] = {
      {{0xCD, 0x34, 0x12, 0}, "CALL PRINT_LINE"}, {{0xC2, 0x34, 0x12, 0}, "JP NZ,PRINT_LINE"},
      {{0x21, 0x00, 0x38, 0}, "LD HL,MESSAGE"},    {{0x3A, 0x00, 0x38, 0}, "LD A,(MESSAGE)"},
      {{0xED, 0x43, 0x00, 0x38}, "LD (MESSAGE),BC"}, {{0x10, 0x03, 0, 0}, "DJNZ LOOP"},
      {{0xCD, 0x35, 0x12, 0}, "CALL $1235"},      {{0x3E, 0x34, 0, 0}, "LD A,$34"},
      {{0xDD, 0x36, 0x80, 0x12}, "LD (IX-$80),$12"}};
  for (const auto& c : cases) {
    EXPECT_STREQ(disassemble(c.bytes, 0x3000, &symbols).text, c.text);
    EXPECT_EQ(instruction_length(c.bytes), disassemble(c.bytes, 0x3000).length);
  }
  // Read through a peek function, an instruction at the top of memory wraps to address 0.
  static uint8_t memory[0x10000];
  memory[0xFFFE] = 0xCD, memory[0xFFFF] = 0x34, memory[0x0000] = 0x12;
  EXPECT_STREQ(disassemble_at(0xFFFE, [](uint16_t a) { return memory[a]; }, &symbols).text, "CALL PRINT_LINE");
}

}  // namespace
