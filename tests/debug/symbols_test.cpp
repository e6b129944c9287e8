#include <gtest/gtest.h>

#include <cstdlib>

#include "debug/symbols.h"
#include "scratch_dir.h"

namespace {

int address_of(const SymbolTable& table, const char* name) {
  const Symbol* symbol = find_symbol(table, name);
  return symbol ? symbol->address : -1;
}

TEST(Symbols, LabelFileOfTheRealZ80asm) {
  ScratchDir dir;
  dir.write_text("p.asm", "  org $3000\nstart: ld a,1\nloop: djnz loop\n  jp start\nCOUNT: equ 42\nmsg: defb \"hi\"\n");
  const std::string command = "cd " + dir.path + " && z80asm -i p.asm -o p.bin --label=p.lbl";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  SymbolTable table;
  const SymbolLoadReport report = load_symbol_file(table, dir.file("p.lbl"));
  ASSERT_EQ(report.error, "");
  EXPECT_EQ(report.loaded, 4u);
  EXPECT_EQ(report.skipped, 0u);
  const std::pair<const char*, uint16_t> expected[] = {{"start", 0x3000}, {"loop", 0x3002}, {"msg", 0x3007}, {"COUNT", 42}};
  for (const auto& [name, address] : expected) EXPECT_EQ(address_of(table, name), address) << name;
  EXPECT_STREQ(symbol_at(table, 0x3002), "loop");
}

TEST(Symbols, TheAssemblersFormatsMergeAndBadLinesAreCounted) {
  SymbolTable table;
  const std::string z88dk_and_sjasmplus =
      "_main                           = $3010 ; addr, public, , main_c, code_compiler, main.c:12\n"
      "i_2                             = $3010 ; addr, local, , main_c, code_compiler, main.c:14\n"
      "__CRT_ORG_CODE                  = $3000 ; const, public, , crt0, , crt0.asm:1\n"
      "; sjasmplus\n"
      "game.loop: EQU 0x00003020\n"
      "GAME: EQU 0x00003020\n"
      "this is not a symbol\n"
      "TOO_BIG: EQU 0x00012345\n";
  SymbolLoadReport report = load_symbol_text(table, z88dk_and_sjasmplus, "a.map");
  EXPECT_EQ(report.loaded, 5u);
  EXPECT_EQ(report.skipped, 2u);
  EXPECT_STREQ(symbol_at(table, 0x3010), "_main");      // public before local
  EXPECT_STREQ(symbol_at(table, 0x3020), "GAME");       // module.label counts as local
  EXPECT_EQ(symbol_at(table, 0x3000), nullptr);         // a constant names no place
  EXPECT_EQ(address_of(table, "__crt_org_code"), 0x3000);

  report = load_symbol_text(table, "start EQU $3100\nEND = 0x31FF\nmid equ 3180h\nDECIMAL EQU 12800\n_main equ $3011\n", "b.sym");
  EXPECT_EQ(report.loaded, 5u);
  EXPECT_EQ(address_of(table, "END"), 0x31FF);
  EXPECT_EQ(address_of(table, "MID"), 0x3180);
  EXPECT_EQ(address_of(table, "DECIMAL"), 0x3200);
  EXPECT_EQ(address_of(table, "_main"), 0x3011);  // loaded again: the new address
  EXPECT_STREQ(symbol_at(table, 0x3010), "i_2");
  EXPECT_EQ(describe_address(table, 0x3103), "start+3");
  EXPECT_EQ(describe_address(table, 0x311A), "start+$1A");
  EXPECT_EQ(describe_address(table, 0x2FFF), "");

  report = load_symbol_text(table, "garbage\n\n; only a comment\n", "c.txt");
  EXPECT_EQ(report.error, "c.txt: no symbols found (1 lines not understood)");
  EXPECT_NE(load_symbol_file(table, "/nonexistent/x.sym").error, "");
  EXPECT_EQ(table.symbols.size(), 9u);  // the failed loads changed nothing
}

TEST(Symbols, ParseAddressReadsNumbersLabelsAndOffsets) {
  SymbolTable table;
  load_symbol_text(table, "PRINT_LINE EQU $1234\nBEEF EQU $4000\n", "t");
  const std::pair<const char*, int> cases[] = {
      {"$1234", 0x1234}, {"0x3900", 0x3900}, {"0FFFFh", 0xFFFF}, {"3900", 0x3900}, {"ffff", 0xFFFF},
      {"print_line", 0x1234}, {"PRINT_LINE+10", 0x1244}, {" PRINT_LINE - $34 ", 0x1200}, {"BEEF", 0x4000},
      {"$BEEF", 0xBEEF}, {"$3000+10", 0x3010}};
  for (const auto& [text, address] : cases) {
    const ParsedAddress parsed = parse_address(text, &table);
    EXPECT_TRUE(parsed.ok) << text << ": " << parsed.error;
    EXPECT_EQ(parsed.address, address) << text;
  }
  const std::pair<const char*, const char*> errors[] = {
      {"PRINTX", "unknown label 'PRINTX'"}, {"$12345", "'$12345' is not a 16-bit number"},
      {"PRINT_LINE-$2000", "'PRINT_LINE-$2000' is out of range"}, {"", "no address given"},
      {"12 34", "'12 34' is not an address"}, {"1234+", "'1234+' is not an address"}};
  for (const auto& [text, error] : errors) EXPECT_EQ(parse_address(text, &table).error, error) << text;
  EXPECT_EQ(parse_address("PRINT_LINE", nullptr).error, "unknown label 'PRINT_LINE'");
}

}  // namespace
