// The Z80 disassembler of the debugger, the runner's trace and the GDB stub: every code, the
// undocumented ones included, with its length.
//
// Spelling: upper case, operands separated by a comma without space, every number hex with '$'
// ($0A, $1234; 8-bit values 2 digits, addresses 4), the displacement signed ((IX+$05),
// (IY-$80)), relative jumps showing their target (JR NZ,$3012), bit numbers and interrupt modes
// decimal (BIT 7,A  IM 1). The undocumented forms read:
//   LD IXH,$12  ADD A,IYL      halves of IX and IY
//   SLL B                      CB 30..37: shift left, bit 0 set
//   RLC (IX+$05),B             DDCB/FDCB rotates, shifts, RES and SET with a register field other
//   RES 0,(IY-$02),A           than 6: the result is also copied to that register (on the Z80;
//                              this CPU leaves the register alone after FD for RES and SET)
//   BIT 0,(IX+$05)             any register field of a DDCB/FDCB BIT: they are all the same test
//   IN F,(C)  OUT (C),0        ED 70, ED 71
//   NEG  RETN  IM 0  IM 1  IM 2  LD ($1234),HL  LD HL,($1234)   ED duplicates of those
//   NOP                        any other ED code the Z80 leaves undefined (length 2)
//   DEFB $DD  DEFB $FD         a prefix before an opcode with no indexed form (length 1): the
//                              CPU lets it fall away and runs the next opcode unprefixed, which
//                              is the next instruction shown
// With a symbol table, an address that is exactly a label prints as the label: jump, call and
// relative targets, (nn) operands and 16-bit immediates (CALL PRINT_LINE, LD HL,MESSAGE).
#pragma once
#include <cstdint>

struct SymbolTable;

struct DisassembledInstruction {
  uint8_t length;  // 1..4 bytes
  char text[96];   // NUL-terminated; a label too long for it is cut short
};

// Decodes the instruction whose bytes start at bytes[0] and which sits at address (for relative
// targets). bytes must hold 4 readable bytes; those past the instruction are not looked at.
// symbols may be null. Allocates nothing.
DisassembledInstruction disassemble(const uint8_t bytes[4], uint16_t address, const SymbolTable* symbols = nullptr);
// The same, reading the 4 bytes through peek (a read with no side effect, e.g. of the debugger's
// memory view); the addresses wrap at $FFFF.
DisassembledInstruction disassemble_at(uint16_t address, uint8_t (*peek)(uint16_t), const SymbolTable* symbols = nullptr);
// The length alone (what stepping over needs).
uint8_t instruction_length(const uint8_t bytes[4]);
