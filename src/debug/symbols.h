// The program's symbols: label files as the Z80 assemblers write them, looked up both ways, and
// the one reader of an address as the user types it (debugger window, runner options, GDB stub).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct Symbol {
  std::string name;   // as written in the file
  uint16_t address;
  bool local;         // marked local by its assembler: another name at the same address is preferred
  bool constant;      // a value rather than a place (z88dk's "const"): found by name, never shown for an address
};

struct SymbolTable {
  std::vector<Symbol> symbols;                            // in loading order; a name loaded again is updated in place
  std::vector<uint32_t> by_address;                       // indexes of the non-constants, by address, best name first
  std::unordered_map<std::string, uint32_t> exact_names;  // name as written -> index
  std::unordered_map<std::string, uint32_t> folded_names; // name in upper case -> first index of that spelling
};

extern SymbolTable debug_symbols;  // the symbols the user loaded; not part of a saved state

// What one file gave.
struct SymbolLoadReport {
  std::size_t loaded = 0;   // symbols read (new or updated)
  std::size_t skipped = 0;  // lines that were neither blank, a comment, nor a symbol
  std::string error;        // empty on success; "PATH: reason" otherwise
};

// Reads one label file into table, merging with what is there (a name loaded again takes the
// new address). Every line of these shapes is a symbol, whatever the file is called:
//   z80asm --label:   start:	equ $3000
//   z88dk .map:       start                           = $3000 ; addr, public, , main, code, main.asm:4
//                     (";...const" makes a constant, ";...local" a local label)
//   sjasmplus .sym:   start: EQU 0x00003000
//   plain:            START EQU $3000     START = 0x3000     START equ 3000h     START EQU 12288
// A value is hex with $, 0x or an h suffix, and decimal when bare (as in assembler source); it
// must fit 16 bits. Blank lines and lines starting with ';', '#' or "//" are ignored; any other
// line that is not a symbol is counted in skipped. A file that cannot be read or yields no symbol
// is an error and leaves table unchanged.
SymbolLoadReport load_symbol_file(SymbolTable& table, const std::string& path);
// The same on text already in memory; name is used in the error message.
SymbolLoadReport load_symbol_text(SymbolTable& table, std::string_view text, const std::string& name);
void clear_symbols(SymbolTable& table);

// Name -> symbol: the exact spelling first, else the first loaded name equal to it ignoring
// case. Null when unknown.
const Symbol* find_symbol(const SymbolTable& table, std::string_view name);
// Address -> the best label exactly there (a global one before a local one, then the first
// loaded); null when none. Constants are never returned.
const char* symbol_at(const SymbolTable& table, uint16_t address);
// The nearest label at or below address within max_offset bytes: "LOOP", "LOOP+3", "LOOP+$1A"
// (what parse_address reads back); empty when none.
std::string describe_address(const SymbolTable& table, uint16_t address, uint16_t max_offset = 0xFF);

// An address as the user types it:
//   $1234   0x1234   1234h   1234 (a bare number is hex: this machine's monitors and debuggers
//   read it so)   LABEL   LABEL+N   LABEL-N   $3000+10 (every number hex).
// Case does not matter in numbers and prefixes; labels follow find_symbol. A bare word is a label
// when one of that name exists, else a hex number. The result must lie in 0..$FFFF.
struct ParsedAddress {
  bool ok = false;
  uint16_t address = 0;
  std::string error;  // when !ok: e.g. "unknown label 'PRINTX'", "'$12345' is not a 16-bit number"
};
ParsedAddress parse_address(std::string_view text, const SymbolTable* symbols);
