// The decoding follows the Z80's own field layout: x = bits 7-6, y = 5-3, z = 2-0, p = y >> 1,
// q = y & 1, one switch per prefix group. An index prefix only renames HL, H, L and (HL); when
// the opcode after it names none of them the prefix is shown on its own, as the CPU treats it.
#include "debug/disassembler.h"

#include <cstddef>

#include "debug/symbols.h"

namespace {

const char* const conditions[8] = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};
const char* const alu_ops[8] = {"ADD A,", "ADC A,", "SUB ", "SBC A,", "AND ", "XOR ", "OR ", "CP "};
const char* const rotations[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"};
const char* const accumulator_ops[8] = {"RLCA", "RRCA", "RLA", "RRA", "DAA", "CPL", "SCF", "CCF"};
const char* const plain_registers[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
const char* const block_ops[4][4] = {{"LDI", "CPI", "INI", "OUTI"},
                                     {"LDD", "CPD", "IND", "OUTD"},
                                     {"LDIR", "CPIR", "INIR", "OTIR"},
                                     {"LDDR", "CPDR", "INDR", "OTDR"}};
const char* const ed_ld_special[4] = {"LD I,A", "LD R,A", "LD A,I", "LD A,R"};
// ED 46/4E/56/5E/66/6E/76/7E: the undocumented codes repeat modes 0, 0, 1, 2.
const char interrupt_modes[8] = {'0', '0', '1', '2', '0', '0', '1', '2'};
const char hex_digits[] = "0123456789ABCDEF";

class Decoder {
 public:
  Decoder(const uint8_t* bytes, uint16_t address, const SymbolTable* symbols, DisassembledInstruction& out)
      : bytes_(bytes), address_(address), symbols_(symbols), out_(out) {}

  void run() {
    const uint8_t op = bytes_[0];
    next_ = 1;
    if (op == 0xCB) {
      cb(bytes_[1], false);
    } else if (op == 0xED) {
      ed(bytes_[1]);
    } else if (op == 0xDD || op == 0xFD) {
      indexed(op);
    } else {
      base(op);
    }
    finish();
  }

 private:
  const uint8_t* bytes_;
  uint16_t address_;
  const SymbolTable* symbols_;
  DisassembledInstruction& out_;
  std::size_t used_ = 0;
  uint8_t next_ = 0;          // index of the next operand byte
  int mode_ = 0;              // 0 HL, 1 IX, 2 IY
  bool named_index_ = false;  // the instruction named IX or IY (else a prefix is dropped)
  int8_t displacement_ = 0;
  bool have_displacement_ = false;

  void put(char c) {
    if (used_ + 1 < sizeof out_.text) out_.text[used_++] = c;
  }
  void put(const char* s) {
    while (*s) put(*s++);
  }
  void hex(unsigned value, int digits) {
    put('$');
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) put(hex_digits[(value >> shift) & 0xF]);
  }
  uint8_t byte() { return bytes_[next_++]; }
  uint16_t word() {
    const uint16_t low = byte();
    return static_cast<uint16_t>(low | (byte() << 8));
  }
  void finish() {
    out_.text[used_] = '\0';
    out_.length = next_;
  }

  // A 16-bit value that may be a place in memory: the label when one is exactly there.
  void address(uint16_t value) {
    const char* label = symbols_ ? symbol_at(*symbols_, value) : nullptr;
    if (label) put(label);
    else hex(value, 4);
  }
  void relative() {
    const int8_t offset = static_cast<int8_t>(byte());
    address(static_cast<uint16_t>(address_ + next_ + offset));
  }

  const char* pair_name() {
    if (mode_ == 0) return "HL";
    named_index_ = true;
    return mode_ == 1 ? "IX" : "IY";
  }
  void memory_operand() {
    if (mode_ == 0) {
      put("(HL)");
      return;
    }
    named_index_ = true;
    if (!have_displacement_) {
      displacement_ = static_cast<int8_t>(byte());
      have_displacement_ = true;
    }
    put(mode_ == 1 ? "(IX" : "(IY");
    put(displacement_ < 0 ? '-' : '+');
    hex(static_cast<unsigned>(displacement_ < 0 ? -displacement_ : displacement_), 2);
    put(')');
  }
  // r[z]; halves_allowed is false in an instruction that also goes through (HL), where an index
  // prefix leaves H and L alone.
  void reg(int r, bool halves_allowed = true) {
    if (r == 6) {
      memory_operand();
    } else if ((r == 4 || r == 5) && mode_ != 0 && halves_allowed) {
      put(pair_name());
      put(r == 4 ? 'H' : 'L');
    } else {
      put(plain_registers[r]);
    }
  }
  void pair(int p, bool af) {
    if (p == 2) put(pair_name());
    else if (p == 3) put(af ? "AF" : "SP");
    else put(p == 0 ? "BC" : "DE");
  }
  void indirect_address() {
    put('(');
    address(word());
    put(')');
  }

  void base(uint8_t op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    if (x == 1) {
      if (op == 0x76) {
        put("HALT");
        return;
      }
      const bool memory = y == 6 || z == 6;
      put("LD ");
      reg(y, !memory);
      put(',');
      reg(z, !memory);
    } else if (x == 2) {
      put(alu_ops[y]);
      reg(z);
    } else if (x == 0) {
      base_x0(y, z, p, q);
    } else {
      base_x3(y, z, p, q);
    }
  }

  void base_x0(int y, int z, int p, int q) {
    switch (z) {
      case 0:
        if (y == 0) {
          put("NOP");
        } else if (y == 1) {
          put("EX AF,AF'");
        } else {
          put(y == 2 ? "DJNZ " : "JR ");
          if (y >= 4) {
            put(conditions[y - 4]);
            put(',');
          }
          relative();
        }
        return;
      case 1:
        if (q == 0) {
          put("LD ");
          pair(p, false);
          put(',');
          address(word());
        } else {
          put("ADD ");
          put(pair_name());
          put(',');
          pair(p, false);
        }
        return;
      case 2: {
        const char* const side = p == 0 ? "(BC)" : p == 1 ? "(DE)" : nullptr;
        put("LD ");
        if (q == 0) {
          if (side) put(side);
          else indirect_address();
          put(',');
          put(p == 2 ? pair_name() : "A");
        } else {
          put(p == 2 ? pair_name() : "A");
          put(',');
          if (side) put(side);
          else indirect_address();
        }
        return;
      }
      case 3:
        put(q == 0 ? "INC " : "DEC ");
        pair(p, false);
        return;
      case 4:
      case 5:
        put(z == 4 ? "INC " : "DEC ");
        reg(y);
        return;
      case 6:
        put("LD ");
        reg(y);
        put(',');
        hex(byte(), 2);
        return;
      default:
        put(accumulator_ops[y]);
    }
  }

  void base_x3(int y, int z, int p, int q) {
    switch (z) {
      case 0:
        put("RET ");
        put(conditions[y]);
        return;
      case 1:
        if (q == 0) {
          put("POP ");
          pair(p, true);
        } else if (p == 0) {
          put("RET");
        } else if (p == 1) {
          put("EXX");
        } else if (p == 2) {
          put("JP (");
          put(pair_name());
          put(')');
        } else {
          put("LD SP,");
          put(pair_name());
        }
        return;
      case 2:
      case 4:
        put(z == 2 ? "JP " : "CALL ");
        put(conditions[y]);
        put(',');
        address(word());
        return;
      case 3:
        switch (y) {
          case 0: put("JP "); address(word()); return;
          case 2: put("OUT ("); hex(byte(), 2); put("),A"); return;
          case 3: put("IN A,("); hex(byte(), 2); put(')'); return;
          case 4: put("EX (SP),"); put(pair_name()); return;
          case 5: put("EX DE,HL"); return;
          case 6: put("DI"); return;
          case 7: put("EI"); return;
          default: return;  // CB: handled before
        }
      case 5:
        if (q == 0) {
          put("PUSH ");
          pair(p, true);
        } else {
          put("CALL ");  // p == 0; the prefixes are handled before
          address(word());
        }
        return;
      case 6:
        put(alu_ops[y]);
        hex(byte(), 2);
        return;
      default:
        put("RST ");
        hex(static_cast<unsigned>(y * 8), 2);
    }
  }

  // CB op, or (indexed) DD/FD CB d op with the displacement already taken.
  void cb(uint8_t op, bool indexed) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    next_ = indexed ? 4 : 2;
    if (x == 0) {
      put(rotations[y]);
    } else {
      put(x == 1 ? "BIT " : x == 2 ? "RES " : "SET ");
      put(static_cast<char>('0' + y));
      put(',');
    }
    if (!indexed) {
      if (x == 0) put(' ');
      reg(z);
      return;
    }
    if (x == 0) put(' ');
    memory_operand();
    if (z != 6 && x != 1) {
      put(',');
      put(plain_registers[z]);
    }
  }

  void ed(uint8_t op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    next_ = 2;
    if (x == 2 && z <= 3 && y >= 4) {
      put(block_ops[y - 4][z]);
      return;
    }
    if (x != 1) {
      put("NOP");
      return;
    }
    switch (z) {
      case 0:
        put("IN ");
        put(y == 6 ? "F" : plain_registers[y]);
        put(",(C)");
        return;
      case 1:
        put("OUT (C),");
        put(y == 6 ? "0" : plain_registers[y]);
        return;
      case 2:
        put(q == 0 ? "SBC HL," : "ADC HL,");
        pair(p, false);
        return;
      case 3:
        put("LD ");
        if (q == 0) {
          indirect_address();
          put(',');
          pair(p, false);
        } else {
          pair(p, false);
          put(',');
          indirect_address();
        }
        return;
      case 4: put("NEG"); return;
      case 5: put(y == 1 ? "RETI" : "RETN"); return;
      case 6: put("IM "); put(interrupt_modes[y]); return;
      default:
        put(y < 4 ? ed_ld_special[y] : y == 4 ? "RRD" : y == 5 ? "RLD" : "NOP");
    }
  }

  void indexed(uint8_t prefix) {
    const uint8_t op = bytes_[1];
    mode_ = prefix == 0xDD ? 1 : 2;
    if (op == 0xCB) {
      take_displacement_at(2);
      cb(bytes_[3], true);
      return;
    }
    if (op != 0xDD && op != 0xED && op != 0xFD) {
      next_ = 2;
      base(op);
      if (named_index_) return;
    }
    // Nothing in the opcode answers to the prefix: it stands alone.
    used_ = 0;
    next_ = 1;
    put("DEFB ");
    hex(prefix, 2);
  }
  void take_displacement_at(uint8_t index) {
    displacement_ = static_cast<int8_t>(bytes_[index]);
    have_displacement_ = true;
  }
};

}  // namespace

DisassembledInstruction disassemble(const uint8_t bytes[4], uint16_t address, const SymbolTable* symbols) {
  DisassembledInstruction result{};
  Decoder(bytes, address, symbols, result).run();
  return result;
}

DisassembledInstruction disassemble_at(uint16_t address, uint8_t (*peek)(uint16_t), const SymbolTable* symbols) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; i++) bytes[i] = peek(static_cast<uint16_t>(address + i));
  return disassemble(bytes, address, symbols);
}

uint8_t instruction_length(const uint8_t bytes[4]) { return disassemble(bytes, 0).length; }
