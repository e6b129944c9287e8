#include "debug/symbols.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/host_file.h"

SymbolTable debug_symbols;

namespace {

// Generated label files of big programs stay far below this; anything larger is not one.
constexpr uint64_t SYMBOL_FILE_LIMIT = 64u << 20;

bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '?' || c == '@' || c == '$';
}
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

bool equal_folded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// digits in the given base, the whole of text; false when empty, not digits, or above $FFFF.
bool digits_value(std::string_view text, int base, uint32_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : std::isxdigit(static_cast<unsigned char>(c))
                          ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                          : 99;
    if (digit >= base) return false;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    if (value > 0xFFFF) return false;
  }
  return true;
}

// $1234, 0x1234, 1234h, and a bare number in bare_base.
bool number_value(std::string_view text, int bare_base, uint32_t& value) {
  if (text.size() > 1 && text.front() == '$') return digits_value(text.substr(1), 16, value);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return digits_value(text.substr(2), 16, value);
  if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H'))
    return digits_value(text.substr(0, text.size() - 1), 16, value);
  return digits_value(text, bare_base, value);
}

// One line of a label file; false when it is not a symbol.
bool parse_symbol_line(std::string_view line, Symbol& symbol) {
  std::size_t i = 0;
  while (i < line.size() && is_name_char(line[i])) i++;
  const std::string_view name = line.substr(0, i);
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front()))) return false;
  std::string_view rest = line.substr(i);
  if (!rest.empty() && rest.front() == ':') rest.remove_prefix(1);
  rest = trim(rest);
  if (!rest.empty() && rest.front() == '=') {
    rest.remove_prefix(1);
  } else if (rest.size() > 3 && equal_folded(rest.substr(0, 3), "EQU") && is_space(rest[3])) {
    rest.remove_prefix(3);
  } else {
    return false;
  }
  rest = trim(rest);
  const std::size_t value_end = std::min(rest.find_first_of(" \t;"), rest.size());
  uint32_t value;
  if (!number_value(rest.substr(0, value_end), 10, value)) return false;
  rest = trim(rest.substr(value_end));
  symbol.name = name;
  symbol.address = static_cast<uint16_t>(value);
  symbol.local = name.find('.', 1) != std::string_view::npos;  // sjasmplus: module.label, label.local
  symbol.constant = false;
  if (rest.empty()) return true;
  if (rest.front() != ';') return false;
  // z88dk's comment: kind (addr, const, ...), scope (local, public), module, section, place.
  rest.remove_prefix(1);
  const std::size_t comma = rest.find(',');
  const std::string_view kind = trim(rest.substr(0, comma));
  if (equal_folded(kind, "const")) symbol.constant = true;
  if (comma != std::string_view::npos) {
    const std::string_view scope = trim(rest.substr(comma + 1, rest.find(',', comma + 1) - comma - 1));
    if (equal_folded(scope, "local")) symbol.local = true;
  }
  return true;
}

void rebuild_address_index(SymbolTable& table) {
  table.by_address.clear();
  for (uint32_t i = 0; i < table.symbols.size(); i++)
    if (!table.symbols[i].constant) table.by_address.push_back(i);
  std::stable_sort(table.by_address.begin(), table.by_address.end(), [&](uint32_t a, uint32_t b) {
    const Symbol &x = table.symbols[a], &y = table.symbols[b];
    return x.address != y.address ? x.address < y.address : (!x.local && y.local);
  });
}

// The first entry of by_address at or after address.
std::vector<uint32_t>::const_iterator first_at_or_after(const SymbolTable& table, uint32_t address) {
  return std::lower_bound(table.by_address.begin(), table.by_address.end(), address,
                          [&](uint32_t index, uint32_t a) { return table.symbols[index].address < a; });
}

}  // namespace

SymbolLoadReport load_symbol_text(SymbolTable& table, std::string_view text, const std::string& name) {
  SymbolLoadReport report;
  std::vector<Symbol> found;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == ';' || line.front() == '#' || line.substr(0, 2) == "//") continue;
    Symbol symbol;
    if (parse_symbol_line(line, symbol)) found.push_back(std::move(symbol));
    else report.skipped++;
  }
  if (found.empty()) {
    report.error = name + ": no symbols found (" + std::to_string(report.skipped) + " lines not understood)";
    return report;
  }
  for (Symbol& symbol : found) {
    const auto known = table.exact_names.find(symbol.name);
    if (known != table.exact_names.end()) {
      table.symbols[known->second] = std::move(symbol);
    } else {
      const uint32_t index = static_cast<uint32_t>(table.symbols.size());
      table.exact_names.emplace(symbol.name, index);
      table.folded_names.emplace(folded(symbol.name), index);
      table.symbols.push_back(std::move(symbol));
    }
    report.loaded++;
  }
  rebuild_address_index(table);
  return report;
}

SymbolLoadReport load_symbol_file(SymbolTable& table, const std::string& path) {
  std::vector<uint8_t> bytes;
  uint64_t size = 0;
  host_file_status status;
  if (!read_host_file(path, SYMBOL_FILE_LIMIT + 1, bytes, size, status)) {
    SymbolLoadReport report;
    report.error = path + ": " + status.why;
    return report;
  }
  if (size > SYMBOL_FILE_LIMIT) {
    SymbolLoadReport report;
    report.error = path + ": too large for a label file";
    return report;
  }
  return load_symbol_text(table, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
}

void clear_symbols(SymbolTable& table) { table = SymbolTable{}; }

const Symbol* find_symbol(const SymbolTable& table, std::string_view name) {
  const auto exact = table.exact_names.find(std::string(name));
  if (exact != table.exact_names.end()) return &table.symbols[exact->second];
  const auto loose = table.folded_names.find(folded(name));
  return loose == table.folded_names.end() ? nullptr : &table.symbols[loose->second];
}

const char* symbol_at(const SymbolTable& table, uint16_t address) {
  const auto first = first_at_or_after(table, address);
  if (first == table.by_address.end() || table.symbols[*first].address != address) return nullptr;
  return table.symbols[*first].name.c_str();
}

std::string describe_address(const SymbolTable& table, uint16_t address, uint16_t max_offset) {
  auto after = first_at_or_after(table, address + 1u);
  if (after == table.by_address.begin()) return {};
  const Symbol& below = table.symbols[*first_at_or_after(table, table.symbols[*(after - 1)].address)];
  const unsigned offset = address - below.address;
  if (offset > max_offset) return {};
  if (offset == 0) return below.name;
  char suffix[8];
  std::snprintf(suffix, sizeof suffix, offset < 10 ? "+%X" : "+$%X", offset);
  return below.name + suffix;
}

ParsedAddress parse_address(std::string_view text, const SymbolTable* symbols) {
  ParsedAddress result;
  const std::string whole(trim(text));
  if (whole.empty()) {
    result.error = "no address given";
    return result;
  }
  std::string_view rest = whole;
  int32_t sum = 0;
  int sign = 1;
  while (true) {
    rest = trim(rest);
    std::size_t i = 0;
    while (i < rest.size() && is_name_char(rest[i])) i++;
    const std::string_view term = rest.substr(0, i);
    rest.remove_prefix(i);
    if (term.empty()) {
      result.error = "'" + whole + "' is not an address";
      return result;
    }
    uint32_t value = 0;
    const Symbol* symbol = symbols && term.front() != '$' ? find_symbol(*symbols, term) : nullptr;
    if (symbol) {
      value = symbol->address;
    } else if (!number_value(term, 16, value)) {
      const bool numeric = std::isdigit(static_cast<unsigned char>(term.front())) || term.front() == '$';
      result.error = numeric ? "'" + std::string(term) + "' is not a 16-bit number"
                             : "unknown label '" + std::string(term) + "'";
      return result;
    }
    sum += sign * static_cast<int32_t>(value);
    rest = trim(rest);
    if (rest.empty()) break;
    if (rest.front() != '+' && rest.front() != '-') {
      result.error = "'" + whole + "' is not an address";
      return result;
    }
    sign = rest.front() == '+' ? 1 : -1;
    rest.remove_prefix(1);
  }
  if (sum < 0 || sum > 0xFFFF) {
    result.error = "'" + whole + "' is out of range";
    return result;
  }
  result.ok = true;
  result.address = static_cast<uint16_t>(sum);
  return result;
}
