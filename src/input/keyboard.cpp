// The keyboard matrix and the two host key tables.
//
// The host tables are indexed by the low byte of the GDK key value: Latin-1 characters are their
// own code, and the few function keys we map (BackSpace 0xFF08, Return 0xFF0D, Delete 0xFFFF,
// Shift 0xFFE1/2, Control 0xFFE3/4) keep a distinct low byte. The cursor keys 0xFF51-0xFF54 land
// on Q R S T, the machine having none. The keypad types what its keys show, whatever the layout;
// every other key the machine lacks (Home, End, Page Up/Down, Insert, function keys) does nothing.
#include "input/keyboard.h"

#include <algorithm>
#include <array>
#include <bit>

#include "core/config.h"

uint8_t keyboard_map[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
bool keyboard_scanned = false;
const keyboard_entry* keyboard_read = native_keyboard_read;
const char* const keyboard_type[2] = {"NATIVE", "PI"};

namespace {

// One host key bound to one machine key, given by its matrix column and row bit.
struct key_binding {
  uint8_t host_key;
  uint8_t column;
  uint8_t bit;
};

// Letter keys are the same in both layouts; both cases of the host letter reach the key, and the
// host's own Shift (mapped to SHIFT) decides what the machine sees.
constexpr std::array<key_binding, 26> letter_keys = {{
    {'P', 1, 3}, {'L', 1, 4}, {'O', 2, 1}, {'K', 2, 2}, {'M', 2, 3}, {'N', 2, 4}, {'J', 2, 5},
    {'I', 3, 1}, {'U', 3, 3}, {'H', 3, 4}, {'B', 3, 5}, {'Y', 4, 1}, {'G', 4, 2}, {'V', 4, 3},
    {'C', 4, 4}, {'F', 4, 5}, {'T', 5, 1}, {'R', 5, 3}, {'D', 5, 4}, {'X', 5, 5}, {'E', 6, 1},
    {'S', 6, 2}, {'Z', 6, 3}, {'A', 6, 5}, {'W', 7, 1}, {'Q', 7, 3},
}};

// NATIVE: by position. The host key standing where the machine key stands, host Shift passed on.
constexpr key_binding native_keys[] = {
    {'+', 0, 0}, {'=', 0, 0},
    {0x08, 0, 1}, {']', 0, 1}, {'}', 0, 1}, {0xFF, 0, 1},
    {'\'', 0, 2}, {'@', 0, 2}, {'~', 0, 2},
    {0x0D, 0, 3},
    {':', 0, 4}, {';', 0, 4},
    {'.', 0, 5}, {'>', 0, 5},
    {'-', 1, 0}, {'_', 1, 0},
    {'[', 1, 1}, {'{', 1, 1},
    {')', 1, 2}, {'0', 1, 2},
    {',', 1, 5}, {'<', 1, 5},
    {'(', 2, 0}, {'9', 2, 0},
    {'*', 3, 0}, {'8', 3, 0},
    {'&', 3, 2}, {'7', 3, 2},
    {'6', 4, 0}, {'^', 4, 0},
    {'%', 5, 0}, {'5', 5, 0},
    {'$', 5, 2}, {'4', 5, 2},
    {'3', 6, 0}, {0xA3, 6, 0},
    {' ', 6, 4},
    {'"', 7, 0}, {'2', 7, 0},
    {'!', 7, 2}, {'1', 7, 2},
    {0xE1, 7, 4}, {0xE2, 7, 4},
    {0xE3, 7, 5}, {0xE4, 7, 5},
};

// PI: by character. The host character picks the machine key that gives it together with SHIFT;
// the press/release specials below fix the cases where the two shift states disagree.
constexpr key_binding pi_keys[] = {
    {'+', 0, 0}, {'=', 0, 0},
    {0x08, 0, 1}, {'\\', 0, 1}, {0xFF, 0, 1},
    {'*', 0, 2}, {':', 0, 2},
    {0x0D, 0, 3},
    {';', 0, 4}, {'@', 0, 4},
    {'.', 0, 5}, {'>', 0, 5},
    {'-', 1, 0}, {'_', 1, 0},
    {'/', 1, 1}, {'^', 1, 1},
    {'0', 1, 2}, {'?', 1, 2},
    {',', 1, 5}, {'<', 1, 5},
    {')', 2, 0}, {'9', 2, 0},
    {'(', 3, 0}, {'8', 3, 0},
    {'\'', 3, 2}, {'7', 3, 2},
    {'&', 4, 0}, {'6', 4, 0},
    {'%', 5, 0}, {'5', 5, 0},
    {'$', 5, 2}, {'4', 5, 2},
    {'#', 6, 0}, {'3', 6, 0},
    {' ', 6, 4},
    {'"', 7, 0}, {'2', 7, 0},
    {'!', 7, 2}, {'1', 7, 2},
    {0xE1, 7, 4}, {0xE2, 7, 4},
    {0xE3, 7, 5}, {0xE4, 7, 5},
};

constexpr keyboard_entry unmapped_key = {0x00, 0xFF, 0xFF, 0xFF};

constexpr keyboard_entry entry_for(uint8_t host_key, uint8_t column, uint8_t bit) {
  return {host_key, column, static_cast<uint8_t>(~(1u << bit)), static_cast<uint8_t>(1u << bit)};
}

template <size_t N>
constexpr std::array<keyboard_entry, 256> build_table(const key_binding (&symbols)[N]) {
  std::array<keyboard_entry, 256> table{};
  for (auto& entry : table) entry = unmapped_key;
  for (const key_binding& key : letter_keys) {
    table[key.host_key] = entry_for(key.host_key, key.column, key.bit);
    const uint8_t lower = static_cast<uint8_t>(key.host_key + ('a' - 'A'));
    table[lower] = entry_for(lower, key.column, key.bit);
  }
  for (const key_binding& key : symbols) table[key.host_key] = entry_for(key.host_key, key.column, key.bit);
  return table;
}

constexpr std::array<keyboard_entry, 256> native_table = build_table(native_keys);
constexpr std::array<keyboard_entry, 256> pi_table = build_table(pi_keys);

// Matrix positions the PI specials touch.
constexpr uint8_t COLON_COLUMN = 0, COLON_BIT = 0x04;
constexpr uint8_t SEMICOLON_COLUMN = 0, SEMICOLON_BIT = 0x10;
constexpr uint8_t SLASH_COLUMN = 1, SLASH_BIT = 0x02, ZERO_BIT = 0x04;
constexpr uint8_t SEVEN_COLUMN = 3, SEVEN_BIT = 0x04;
constexpr uint8_t THREE_COLUMN = 6, THREE_BIT = 0x01;
constexpr uint8_t SHIFT_COLUMN = 7, SHIFT_BIT = 0x10;

void hold(uint8_t column, uint8_t bit) { keyboard_map[column] &= static_cast<uint8_t>(~bit); }
void let_go(uint8_t column, uint8_t bit) { keyboard_map[column] |= bit; }

// PI layout: characters whose host shift state differs from the machine's. True when handled.
bool pi_special_press(uint8_t key) {
  switch (key) {
    case ':':  // host Shift+; but the machine's ':' is unshifted: mask the whole SHIFT column
      hold(COLON_COLUMN, COLON_BIT);
      keyboard_map[SHIFT_COLUMN] = 0xFF;
      return true;
    case '#':
      hold(THREE_COLUMN, THREE_BIT);
      hold(SHIFT_COLUMN, SHIFT_BIT);
      return true;
    case '\'':
      hold(SHIFT_COLUMN, SHIFT_BIT);
      hold(SEVEN_COLUMN, SEVEN_BIT);
      return true;
    case '@':
      hold(SHIFT_COLUMN, SHIFT_BIT);
      hold(SEMICOLON_COLUMN, SEMICOLON_BIT);
      return true;
    default:
      return false;
  }
}

// Releases also let go of the keys a shifted twin may have held, because the host Shift is often
// released before the character key and the release then arrives with the unshifted value.
bool pi_special_release(uint8_t key) {
  switch (key) {
    case '#':
      let_go(THREE_COLUMN, THREE_BIT);
      let_go(SHIFT_COLUMN, SHIFT_BIT);
      return true;
    case '\'':
      let_go(SHIFT_COLUMN, SHIFT_BIT);
      let_go(SEVEN_COLUMN, SEVEN_BIT);
      let_go(SEMICOLON_COLUMN, SEMICOLON_BIT);
      return true;
    case '/':
      let_go(SLASH_COLUMN, SLASH_BIT | ZERO_BIT);
      return true;
    case ':':
      let_go(COLON_COLUMN, COLON_BIT);
      return true;
    case ';':
      let_go(SEMICOLON_COLUMN, SEMICOLON_BIT | COLON_BIT);
      return true;
    case '@':
      let_go(SHIFT_COLUMN, SHIFT_BIT);
      let_go(SEMICOLON_COLUMN, SEMICOLON_BIT | COLON_BIT);
      return true;
    default:
      return false;
  }
}

}  // namespace

// The tables are built at compile time from the binding lists above and spelled out as the plain
// 256-entry arrays the rest of the program indexes.
#define KEY_ROW8(t, b) t[b], t[b + 1], t[b + 2], t[b + 3], t[b + 4], t[b + 5], t[b + 6], t[b + 7]
#define KEY_ROW64(t, b) KEY_ROW8(t, b), KEY_ROW8(t, b + 8), KEY_ROW8(t, b + 16), KEY_ROW8(t, b + 24), \
                        KEY_ROW8(t, b + 32), KEY_ROW8(t, b + 40), KEY_ROW8(t, b + 48), KEY_ROW8(t, b + 56)
#define KEY_TABLE(t) KEY_ROW64(t, 0), KEY_ROW64(t, 64), KEY_ROW64(t, 128), KEY_ROW64(t, 192)
const keyboard_entry native_keyboard_read[256] = {KEY_TABLE(native_table)};
const keyboard_entry pi_keyboard_read[256] = {KEY_TABLE(pi_table)};
#undef KEY_TABLE
#undef KEY_ROW64
#undef KEY_ROW8

void select_keyboard_table() {
  keyboard_read = keyboard_mode ? pi_keyboard_read : native_keyboard_read;
}

namespace {

// Function keys that reach the tables by their low byte: BackSpace, Return, the cursor keys
// (Left, Up, Right, Down on Q, R, S, T), Shift and Control left and right, Delete.
constexpr uint32_t passed_function_keys[] = {0xFF08, 0xFF0D, 0xFF51, 0xFF52, 0xFF53, 0xFF54,
                                             0xFFE1, 0xFFE2, 0xFFE3, 0xFFE4, 0xFFFF};

bool is_passed_function_key(uint32_t keyval) {
  return std::ranges::find(passed_function_keys, keyval) != std::end(passed_function_keys);
}

constexpr const char* matrix_key_names[8][6] = {
    {"=", "BACKSPACE", ":", "RETURN", ";", "."}, {"-", "/", "0", "P", "L", ","},
    {"9", "O", "K", "M", "N", "J"},               {"8", "I", "7", "U", "H", "B"},
    {"6", "Y", "G", "V", "C", "F"},               {"5", "T", "4", "R", "D", "X"},
    {"3", "E", "S", "Z", "SPACE", "A"},           {"2", "W", "1", "Q", "SHIFT", "CTRL"},
};

}  // namespace

const char* machine_key_name(uint8_t column, uint8_t bit) {
  return column < 8 && bit < 6 ? matrix_key_names[column][bit] : "";
}

std::vector<host_key_binding> layout_bindings(const keyboard_entry* table) {
  std::vector<uint32_t> keyvals;
  for (uint32_t character = 0x20; character < 0x100; ++character) {
    const bool control_code = character >= 0x7F && character < 0xA0;
    const bool function_key_entry = character >= 0xA0 && is_passed_function_key(0xFF00 | character);
    if (!control_code && !function_key_entry) keyvals.push_back(character);
  }
  keyvals.insert(keyvals.end(), std::begin(passed_function_keys), std::end(passed_function_keys));
  std::vector<host_key_binding> bindings;
  for (uint32_t keyval : keyvals) {
    const keyboard_entry& entry = table[machine_key_value(keyval) & 0xFF];
    if (entry.column >= 8) continue;
    const uint8_t bit = static_cast<uint8_t>(std::countr_zero(entry.release_mask));
    bindings.push_back({keyval, entry.column, bit});
  }
  return bindings;
}

uint32_t machine_key_value(uint32_t keyval) {
  if (keyval < 0x100) return keyval;
  if (is_passed_function_key(keyval)) return keyval;
  switch (keyval) {
    case 0xFF8D: return 0xFF0D;  // keypad Enter is RETURN
    case 0xFFAA: return '*';
    case 0xFFAB: return '+';
    case 0xFFAD: return '-';
    case 0xFFAE: return '.';
    case 0xFFAF: return '/';
    case 0xFFBD: return '=';
    default:
      if (keyval >= 0xFFB0 && keyval <= 0xFFB9) return '0' + (keyval - 0xFFB0);
      return 0;
  }
}

bool is_keypad_key(uint32_t keyval) { return keyval >= 0xFF80 && keyval <= 0xFFBD; }

namespace {

// A host key's press or release on the matrix: the PI specials first (the keypad's symbols are
// typed as the PI layout types characters, SHIFT included), then the table.
template <bool PRESS>
void key_action(uint32_t keyval) {
  const uint32_t value = machine_key_value(keyval);
  if (!value) return;
  const uint8_t key = static_cast<uint8_t>(value & 0xFF);
  const bool keypad = is_keypad_key(keyval);
  if ((keyboard_mode || keypad) && (PRESS ? pi_special_press(key) : pi_special_release(key))) return;
  const keyboard_entry& entry = (keypad ? pi_keyboard_read : keyboard_read)[key];
  if (entry.column >= 8) return;
  // The keypad's + and * are the machine's shifted = and :, and no host Shift comes with them.
  if (keypad && (key == '+' || key == '*')) {
    if (PRESS) hold(SHIFT_COLUMN, SHIFT_BIT);
    else let_go(SHIFT_COLUMN, SHIFT_BIT);
  }
  if (PRESS) keyboard_map[entry.column] &= entry.press_mask;
  else keyboard_map[entry.column] |= entry.release_mask;
}

}  // namespace

void keyboard_press(uint32_t keyval) { key_action<true>(keyval); }
void keyboard_release(uint32_t keyval) { key_action<false>(keyval); }

uint8_t keyboard_scan(uint8_t column_select) {
  keyboard_scanned = true;
  uint8_t result = 0xFF;
  for (int column = 0; column < 8; ++column)
    if (!(column_select & (1u << column))) result &= keyboard_map[column];
  return result;
}
