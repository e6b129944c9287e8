// The free system and character ROMs, run in the whole machine as a user without ROM images
// gets them: a program directory with no roms/ in it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/roms.h"
#include "input/joystick.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "sound/ay.h"
#include "tools/headless_host.h"
#include "video/raster.h"
#include "z80/z80.h"

namespace {

std::string scratch_dir;

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The machine starts once per process in an empty directory, so it falls back to the free ROMs.
class FreeRomEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/vantorel-firmware-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch_dir = pattern;
    ASSERT_EQ(chdir(scratch_dir.c_str()), 0);
    Initialise_Emulator();
  }
  void TearDown() override {
    std::string command = "rm -rf '" + scratch_dir + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", scratch_dir.c_str());
  }
};
[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new FreeRomEnvironment);

void run_frames(int n) {
  for (int i = 0; i < n; ++i) one_Z80_frame();
}

// A fresh machine for every test: the hard reset finds no ROM files again and restarts the
// free ROMs with the list of missing files.
void power_on() {
  caq_loaded = false;
  caq_autoload = false;
  spool_file = false;
  joystick_enabled = 0;
  ram_size = 4;
  memtop = 0xFFFF;
  const int errors_before = headless_error_count;
  HardReset();
  ASSERT_TRUE(builtin_roms_active);
  // The user is told about the missing files as well as shown them on the machine's screen.
  EXPECT_GT(headless_error_count, errors_before);
}

std::string screen_row(int row) {
  std::string text;
  for (int col = 0; col < 40; ++col) text += static_cast<char>(ram[0x3000 + 40 * row + col]);
  return text;
}

std::string screen() {
  std::string text;
  for (int row = 0; row < 25; ++row) text += screen_row(row) + "\n";
  return text;
}

bool on_screen(const std::string& text) { return screen().find(text) != std::string::npos; }

int count_on_screen(const std::string& text) {
  int count = 0;
  const std::string all = screen();
  for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
  return count;
}

// The text typed on the last prompt line, up to the cursor block.
std::string typed_line() {
  for (int row = 24; row >= 0; --row) {
    const std::string line = screen_row(row);
    const size_t prompt = line.find("> ");
    if (prompt == std::string::npos) continue;
    const size_t cursor = line.find('\x7F', prompt);
    return line.substr(prompt + 2, cursor == std::string::npos ? std::string::npos : cursor - prompt - 2);
  }
  return "<no prompt>";
}

constexpr uint8_t SHIFT_COLUMN = 7, SHIFT_BIT = 4;

// One key stroke as a person makes it: down for a few frames, then up for a few.
void stroke(int column, int bit, bool shift = false) {
  keyboard_map[column] &= static_cast<uint8_t>(~(1u << bit));
  if (shift) keyboard_map[SHIFT_COLUMN] &= static_cast<uint8_t>(~(1u << SHIFT_BIT));
  run_frames(3);
  ClearPorts();
  run_frames(3);
}

struct MatrixKey {
  int column, bit;
  bool shift;
};

// Where the machine's keyboard has each character (the keyboard's own legend).
MatrixKey key_for(char c) {
  static const char* const plain[8] = {"=\0:\0;.", "-/0pl,", "9okmnj", "8i7uhb",
                                       "6ygvcf", "5t4rdx", "3esz a", "2w1q\0\0"};
  static const char* const shifted[8] = {"+\\*\0@>", "_^?PL<", ")OKMNJ", "(I'UHB",
                                         "&YGVCF", "%T$RDX", "#ESZ\0A", "\"W!Q\0\0"};
  for (int column = 0; column < 8; ++column)
    for (int bit = 0; bit < 6; ++bit) {
      if (plain[column][bit] == c) return {column, bit, false};
      if (shifted[column][bit] == c) return {column, bit, true};
    }
  ADD_FAILURE() << "no key types '" << c << "'";
  return {0, 0, false};
}

void type(const std::string& text) {
  for (char c : text) {
    const MatrixKey key = key_for(c);
    stroke(key.column, key.bit, key.shift);
  }
}

void press_return() { stroke(0, 3); }
void press_backspace() { stroke(0, 1); }

// A cassette image in the layout the free ROM reads: leader, sync, name, leader, sync, then
// the binary's header and its data.
std::vector<uint8_t> cassette(const std::string& name6, uint16_t load, uint16_t exec,
                              const std::vector<uint8_t>& data, size_t leader = 12,
                              uint16_t length_override = 0) {
  std::vector<uint8_t> tape(leader, 0xFF);
  tape.push_back(0x00);
  tape.insert(tape.end(), name6.begin(), name6.end());
  tape.insert(tape.end(), leader, 0xFF);
  tape.push_back(0x00);
  const uint16_t length = length_override ? length_override : static_cast<uint16_t>(data.size());
  for (uint16_t word : {load, length, exec}) {
    tape.push_back(static_cast<uint8_t>(word & 0xFF));
    tape.push_back(static_cast<uint8_t>(word >> 8));
  }
  tape.insert(tape.end(), data.begin(), data.end());
  return tape;
}

// Inserts a cassette the way a dropped file arrives, with the emulator's autoload on.
void insert_cassette(const std::vector<uint8_t>& tape, bool autoload = true) {
  const std::string path = scratch_dir + "/tape.caq";
  write_file(path, tape);
  caq_autoload = autoload;
  ASSERT_EQ(do_load_file(path), 0) << load_error;
}

// ---------------------------------------------------------------------------------------------

TEST(FreeSystemRom, BuildPlacesTheFixedEntryPoints) {
  const std::vector<uint8_t> rom = read_file(std::string(VANTOREL_FIRMWARE_DIR) + "/sysrom.bin");
  ASSERT_EQ(rom.size(), 8192u);
  // The unpatched byte-read routine is already what the emulator writes there.
  const uint8_t tape_read[6] = {0x0E, 0xFC, 0xED, 0x78, 0xD9, 0xC9};
  EXPECT_EQ(std::memcmp(&rom[0x1B4E], tape_read, 6), 0);
  // As in the machine's ROMs, LD HL,nn at 0x1C51 and a CALL at 0x1C54: the cassette hook's
  // address 0x1C53 is an operand byte, never an opcode.
  EXPECT_EQ(rom[0x1C51], 0x21);
  EXPECT_EQ(rom[0x1C54], 0xCD);
  // The tape byte writer opens as the machine's does: PUSH AF; EXX; LD C,0xFC.
  const uint8_t tape_write[4] = {0xF5, 0xD9, 0x0E, 0xFC};
  EXPECT_EQ(std::memcmp(&rom[0x1B8A], tape_write, 4), 0);
}

TEST(FreeSystemRom, TitleColourBarsAndBorder) {
  power_on();
  run_frames(5);
  EXPECT_TRUE(on_screen("VANTOREL")) << screen();
  EXPECT_TRUE(on_screen("FREE SYSTEM ROM")) << screen();
  EXPECT_TRUE(on_screen("> ")) << screen();

  // The composed picture shows all sixteen palette colours, in order, on one line of cells.
  static const uint32_t palette[16] = {
      0x101010, 0xF01010, 0x10F010, 0xF0E810, 0x2121DE, 0xF010F0, 0x30C0C0, 0xF0F0F0,
      0xC0C0C0, 0x28A8A8, 0xC020C0, 0x4210C8, 0xF0F070, 0x20C840, 0xA82020, 0x303030};
  std::vector<uint32_t> bar_line;
  for (int cell = 0; cell < 40; ++cell) {
    const uint32_t pixel = display_buffer[(16 + 6 * 8 + 4) * 352 + (2 + cell) * 8 + 4];
    if (bar_line.empty() || bar_line.back() != pixel) bar_line.push_back(pixel);
  }
  std::vector<uint32_t> expected(palette, palette + 16);
  auto first = std::search(bar_line.begin(), bar_line.end(), expected.begin(), expected.end());
  EXPECT_NE(first, bar_line.end()) << "the colour bars are not the palette in order";

  // The border is drawn: its top-left corner is one palette colour, not the empty buffer.
  const uint32_t corner = display_buffer[0];
  EXPECT_NE(std::find(palette, palette + 16, corner), palette + 16);
}

// Steps the CPU by hand for the given number of T-states and returns the moments (T-states
// from the start) at which the speaker level changed.
std::vector<uint64_t> trace_speaker(uint64_t tstates, bool seen[2]) {
  std::vector<uint64_t> edges;
  uint64_t now = 0;
  uint8_t level = earbit;
  while (now < tstates) {
    const uint32_t before = t_state;
    One_Z80_Instruction();
    now += t_state - before;
    if (t_state >= frame_length) {
      t_state -= frame_length;
      screen_t_state -= frame_length;
    }
    seen[earbit] = true;
    if (earbit != level) {
      edges.push_back(now);
      level = earbit;
    }
  }
  return edges;
}

TEST(FreeSystemRom, StartUpBeepOnTheSpeakerBit) {
  power_on();
  bool seen[2] = {false, false};
  const std::vector<uint64_t> edges = trace_speaker(Z80_CLOCK_HZ, seen);  // one second
  EXPECT_TRUE(seen[0] && seen[1]);
  ASSERT_GT(edges.size(), 100u) << "too few speaker edges for a beep";
  std::vector<uint64_t> gaps;
  for (size_t i = 1; i < edges.size(); ++i) gaps.push_back(edges[i] - edges[i - 1]);
  std::sort(gaps.begin(), gaps.end());
  const double half_period = static_cast<double>(gaps[gaps.size() / 2]);
  const double frequency = Z80_CLOCK_HZ / (2 * half_period);
  EXPECT_GT(frequency, 400.0);
  EXPECT_LT(frequency, 3000.0);
  const double length = static_cast<double>(edges.back() - edges.front()) / Z80_CLOCK_HZ;
  EXPECT_GT(length, 0.05);
  EXPECT_LT(length, 0.6) << "the beep should end, leaving the speaker quiet";
  EXPECT_EQ(earbit, 0) << "the speaker rests at its reset level";
}

TEST(FreeSystemRom, KeysAreEchoedWithAndWithoutShift) {
  power_on();
  run_frames(3);
  type("hello");
  EXPECT_EQ(typed_line(), "HELLO");
  press_backspace();
  press_backspace();
  EXPECT_EQ(typed_line(), "HEL");
  type(" 1+");
  EXPECT_EQ(typed_line(), "HEL 1+");

  // A held key gives one character, no repeat; the same key again after release gives another.
  keyboard_map[6] &= static_cast<uint8_t>(~(1u << 5));  // A
  run_frames(40);
  ClearPorts();
  run_frames(3);
  EXPECT_EQ(typed_line(), "HEL 1+A");
  type("aa");
  EXPECT_EQ(typed_line(), "HEL 1+AAA");
  press_return();

  // Every character the keyboard's legend shows, shifted and not (letters show in capitals).
  const std::string legend =
      "=+:*;@.>-_/^0?pPlL,<9)oOkKmMnNjJ8(iI7'uUhHbB6&yYgGvVcCfF5%tT4$rRdDxX3#eEsSzZ aA2\"wW1!qQ\\";
  for (char c : legend) {
    type(std::string(1, c));
    const char shown = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    EXPECT_EQ(typed_line(), std::string(1, shown)) << "key for '" << c << "'";
    press_backspace();
    EXPECT_EQ(typed_line(), "") << "backspace after '" << c << "'";
  }
}

// Runs one frame by hand with a key held only while the frame's T-state lies in [from, to).
void run_frame_with_pulse(int column, int bit, uint32_t from, uint32_t to) {
  const uint8_t mask = static_cast<uint8_t>(1u << bit);
  while (t_state < frame_length) {
    if (t_state >= from && t_state < to)
      keyboard_map[column] &= static_cast<uint8_t>(~mask);
    else
      keyboard_map[column] |= mask;
    One_Z80_Instruction();
  }
  keyboard_map[column] |= mask;
  t_state -= frame_length;
  screen_t_state -= frame_length;
}

TEST(FreeSystemRom, ShortContactsAreNotKeyPresses) {
  power_on();
  run_frames(3);
  // A contact closed for about 5.6 ms (20000 T-states), wherever it falls in the frame, is
  // noise; a key is only taken once it has stayed down for longer.
  for (uint32_t from = 0; from + 20000 <= 71000; from += 6000) {
    run_frame_with_pulse(6, 5, from, from + 20000);  // A
    run_frames(2);
  }
  EXPECT_EQ(typed_line(), "");
  // Contact bounce at the start of a real press still gives one character.
  for (uint32_t from = 0; from < 16000; from += 4000) run_frame_with_pulse(6, 5, from, from + 2000);
  stroke(6, 5);
  EXPECT_EQ(typed_line(), "A");
}

TEST(FreeSystemRom, ReturnEndsTheLineAndLongLinesStop) {
  power_on();
  run_frames(3);
  type("what");
  press_return();
  EXPECT_TRUE(on_screen("> WHAT")) << screen();
  EXPECT_EQ(typed_line(), "");
  // A line longer than the screen stops taking characters instead of running off the row.
  for (int i = 0; i < 45; ++i) type("x");
  const std::string line = typed_line();
  EXPECT_GE(line.size(), 30u);
  EXPECT_LE(line.size(), 37u);
  EXPECT_EQ(line, std::string(line.size(), 'X'));
  // Many lines scroll the text without disturbing the title.
  for (int i = 0; i < 30; ++i) press_return();
  EXPECT_TRUE(on_screen("VANTOREL"));
  EXPECT_EQ(typed_line(), "");
}

TEST(FreeSystemRom, StatusLineShowsTheHandController) {
  power_on();
  run_frames(3);
  for (uint8_t value : {0x5A, 0xF3, 0x07}) {
    snd.regs[14] = value;
    run_frames(2);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", value);
    EXPECT_NE(screen_row(24).find(hex), std::string::npos) << "controller " << hex << ": " << screen_row(24);
  }
}

TEST(FreeSystemRom, ShowsTheMissingRomNotice) {
  power_on();
  run_frames(3);
  // The emulator's own notice names the system ROM file it did not find.
  EXPECT_TRUE(on_screen(current_rom)) << screen();
  EXPECT_FALSE(ram[0x3F00] == 'M' && ram[0x3F01] == '!') << "the notice is shown once";

  // A notice of our own: lines, one too long for the screen.
  const std::string text = "FIRST LINE\nA LINE OF MORE THAN THIRTY-EIGHT CHARACTERS IS CUT\nLAST";
  ram[0x3F00] = 'M';
  ram[0x3F01] = '!';
  std::memcpy(&ram[0x3F02], text.c_str(), text.size() + 1);
  SoftReset();
  run_frames(3);
  EXPECT_TRUE(on_screen("FIRST LINE")) << screen();
  EXPECT_TRUE(on_screen(std::string("A LINE OF MORE THAN THIRTY-EIGHT CHARACTERS").substr(0, 38))) << screen();
  EXPECT_FALSE(on_screen("IS CUT")) << screen();
  EXPECT_TRUE(on_screen("LAST")) << screen();
  SoftReset();
  run_frames(3);
  EXPECT_FALSE(on_screen("FIRST LINE")) << "a soft reset shows it again";

  // A notice with no end: the ROM stops at the end of its RAM and the editor still runs.
  ram[0x3F00] = 'M';
  ram[0x3F01] = '!';
  std::memset(&ram[0x3F02], 'Q', 0x4000 - 0x3F02);
  std::memset(&ram[0x4000], 'Z', 0x100);
  SoftReset();
  run_frames(3);
  EXPECT_TRUE(on_screen(std::string(38, 'Q'))) << screen();
  EXPECT_FALSE(on_screen("ZZ")) << screen();
  type("ok");
  EXPECT_EQ(typed_line(), "OK");
}

TEST(FreeSystemRom, StartsCartridgesThatCarryTheHeader) {
  const std::string carts = FIRMWARE_TEST_CARTRIDGES;

  power_on();
  ASSERT_EQ(do_load_file(carts + "/cart8k.bin"), 0) << load_error;
  SoftReset();
  bool seen[2] = {false, false};
  EXPECT_GT(trace_speaker(Z80_CLOCK_HZ / 2, seen).size(), 100u) << "the start-up beep comes first";
  EXPECT_TRUE(on_screen("CARTRIDGE 8K STARTED")) << screen();
  EXPECT_FALSE(on_screen("> ")) << "the editor must not run under a cartridge";
  const uint16_t stack = static_cast<uint16_t>(ram[0x3800] | ram[0x3801] << 8);
  EXPECT_GT(stack, 0x3000) << "the cartridge is handed a stack in RAM";
  EXPECT_LE(stack, 0x4000);

  power_on();
  ASSERT_EQ(do_load_file(carts + "/cart16k.bin"), 0) << load_error;
  SoftReset();
  run_frames(20);  // the start-up beep comes first
  EXPECT_TRUE(on_screen("CARTRIDGE 16K STARTED")) << screen();
  EXPECT_FALSE(on_screen("SECOND HALF")) << screen();

  // One wrong header byte: an ordinary cartridge the free ROM cannot start; the editor runs.
  std::vector<uint8_t> image = read_file(carts + "/cart8k.bin");
  ASSERT_EQ(image.size(), 8192u);
  image[7] ^= 0x20;
  write_file(scratch_dir + "/other.bin", image);
  power_on();
  ASSERT_EQ(do_load_file(scratch_dir + "/other.bin"), 0) << load_error;
  SoftReset();
  run_frames(3);
  EXPECT_FALSE(on_screen("CARTRIDGE 8K")) << screen();
  EXPECT_TRUE(on_screen("> ")) << screen();
}

// A cartridge that probes for RAM by writing over itself at 64K finds ROM and keeps running.
TEST(FreeSystemRom, CartridgeProbingItsOwnAreaAt64KFindsRom) {
  power_on();
  ASSERT_EQ(memtop, 0xFFFFu);
  ASSERT_EQ(do_load_file(std::string(FIRMWARE_TEST_CARTRIDGES) + "/cart_probe.bin"), 0) << load_error;
  SoftReset();
  run_frames(40);
  EXPECT_TRUE(on_screen("ROM OK")) << screen();
  WriteByte(0xC000, 0x5A);
  EXPECT_EQ(ReadByte(0xC000), 0x5A) << "beside an 8K cartridge, 0xC000 is RAM";
}

// A 16K image with the machine's own header at 0xE000: signature bytes at 0xE005 ... 0xE00F
// (odd addresses), each rotated right by two plus its address's low byte giving 2B 37 24 24 33
// 2C, and free header bytes chosen for the key wanted. The program at 0xE010 marks the screen.
// Everything but the header is stored scrambled with the key, as the machine's commercial
// cartridges are: the header is read while port 0xFF holds 0, the rest once it holds the key.
std::vector<uint8_t> machine_cartridge(uint8_t key) {
  std::vector<uint8_t> image(16384, 0xFF);
  uint8_t* header = &image[0x2000];
  std::fill(header, header + 16, 0x00);
  const uint8_t signature[6] = {0x2B, 0x37, 0x24, 0x24, 0x33, 0x2C};
  for (int k = 0; k < 6; ++k) {
    const uint8_t low = static_cast<uint8_t>(0x0F - 2 * k);
    const uint8_t rotated = static_cast<uint8_t>(signature[k] - low);
    header[low] = static_cast<uint8_t>(rotated << 2 | rotated >> 6);
  }
  // Key = (sum of 0xE003-0xE00E + 78) XOR 0xE00F; 0xE003 makes up the difference.
  unsigned sum = 78;
  for (int a = 4; a <= 0x0E; ++a) sum += header[a];
  header[3] = static_cast<uint8_t>((key ^ header[0x0F]) - sum);
  // LD A,'K' / LD (0x3000+12*40+5),A / JR $
  const uint8_t program[] = {0x3E, 'K', 0x32, 0xE5, 0x31, 0x18, 0xFE};
  std::copy(program, program + sizeof program, header + 0x10);
  for (size_t i = 0; i < image.size(); ++i)
    if (i < 0x2000 || i >= 0x2010) image[i] ^= key;
  return image;
}

TEST(FreeSystemRom, StartsCartridgesOfTheMachinesOwnKind) {
  // Port 0xFF and 0x3809 hold the key by the time execution reaches 0xE010, and the program,
  // stored scrambled, runs through the exclusive-or on the cartridge port.
  for (uint8_t key : {0x5A, 0x00}) {
    power_on();
    PORTxxFF = 0x77;
    ram[0x3809] = 0x99;
    write_file(scratch_dir + "/machine.rom", machine_cartridge(key));
    ASSERT_EQ(do_load_file(scratch_dir + "/machine.rom"), 0) << load_error;
    SoftReset();
    bool seen[2];
    for (int n = 0; n < 2000000 && z80.pc != 0xE010; ++n) trace_speaker(1, seen);  // one instruction at a time
    ASSERT_EQ(z80.pc, 0xE010);
    EXPECT_EQ(ram[0x3809], key);
    EXPECT_EQ(PORTxxFF, key);
    for (int n = 0; n < 3; ++n) One_Z80_Instruction();
    EXPECT_EQ(ram[0x3000 + 12 * 40 + 5], 'K') << "key " << int(key);
    EXPECT_EQ(z80.pc, 0xE015) << "the loop at the end runs in place";
  }
}

TEST(FreeSystemRom, AutoloadReadsABinaryOnce) {
  power_on();
  run_frames(3);
  const std::vector<uint8_t> data = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x7F};
  // Noise before a one-byte leader must not be taken for the sync.
  std::vector<uint8_t> tape = {0x00, 0x12, 0x00};
  const std::vector<uint8_t> body = cassette("HELLO!", 0x4000, 0, data, 1);
  tape.insert(tape.end(), body.begin(), body.end());
  insert_cassette(tape);
  run_frames(80);
  EXPECT_TRUE(on_screen(" Press <PLAY>  ")) << screen();
  EXPECT_TRUE(on_screen("Press RETURN key to start")) << screen();
  EXPECT_TRUE(on_screen("LOADED HELLO! 6")) << screen();
  EXPECT_TRUE(std::equal(data.begin(), data.end(), &ram[0x4000]));
  // Once, and back at an empty prompt: nothing types the command again.
  run_frames(200);
  EXPECT_EQ(count_on_screen("LOADED"), 1) << screen();
  EXPECT_EQ(count_on_screen("> CLOAD"), 1) << screen();
  EXPECT_EQ(typed_line(), "");
}

TEST(FreeSystemRom, LoadedProgramRunsAtItsExecutionAddress) {
  power_on();
  run_frames(3);
  // LD A,0x55 / LD (0x5000),A / LD HL,0x3000+20*40+1 / LD (HL),'R' / JR $
  const std::vector<uint8_t> program = {0x3E, 0x55, 0x32, 0x00, 0x50, 0x21, 0x21, 0x33,
                                        0x36, 'R', 0x18, 0xFE};
  insert_cassette(cassette("RUNME ", 0x4800, 0x4800, program));
  run_frames(60);
  EXPECT_EQ(ram[0x5000], 0x55) << screen();
  EXPECT_EQ(ram[0x3000 + 20 * 40 + 1], 'R');
  EXPECT_GE(z80.pc, 0x4800);
  EXPECT_LT(z80.pc, 0x4800 + program.size());
}

TEST(FreeSystemRom, ProgramsMayReturnAndUseAllOfRam) {
  power_on();
  run_frames(3);
  // LD A,0x99 / LD (0x5000),A / RET: the editor takes over again.
  insert_cassette(cassette("RETURN", 0x4000, 0x4000, {0x3E, 0x99, 0x32, 0x00, 0x50, 0xC9}));
  run_frames(60);
  EXPECT_EQ(ram[0x5000], 0x99);
  press_return();
  type("ok");
  EXPECT_EQ(typed_line(), "OK") << screen();

  // A block over the whole of the system RAM area, 0x3800-0x3FFF, loads and stays intact
  // while the editor goes on working.
  power_on();
  run_frames(3);
  std::vector<uint8_t> block(0x800);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
  insert_cassette(cassette("SYSRAM", 0x3800, 0, block));
  run_frames(60);
  EXPECT_TRUE(on_screen("LOADED SYSRAM 2048")) << screen();
  press_return();
  type("still here");
  EXPECT_EQ(typed_line(), "STILL HERE");
  EXPECT_TRUE(std::equal(block.begin(), block.end(), &ram[0x3800]));
}

TEST(FreeSystemRom, BlocksThatDoNotFitAreRefused) {
  power_on();
  run_frames(3);
  insert_cassette(cassette("LOWADR", 0x2000, 0, {1, 2, 3, 4}));
  run_frames(60);
  EXPECT_TRUE(on_screen("LOWADR NOT A BINARY")) << screen();
  EXPECT_EQ(ram[0x2000], 0);
  EXPECT_FALSE(on_screen("LOADED"));

  // A block that ends exactly at 0xFFFF fits; one byte more would wrap round to 0x0000.
  power_on();
  run_frames(3);
  std::vector<uint8_t> top(16);
  for (size_t i = 0; i < top.size(); ++i) top[i] = static_cast<uint8_t>(0xA0 + i);
  insert_cassette(cassette("TOPEND", 0xFFF0, 0, top));
  run_frames(60);
  EXPECT_TRUE(on_screen("LOADED TOPEND 16")) << screen();
  EXPECT_EQ(ram[0xFFFF], 0xAF);

  power_on();
  run_frames(3);
  top.push_back(0xEE);
  insert_cassette(cassette("WRAPS ", 0xFFF0, 0, top));
  run_frames(60);
  EXPECT_TRUE(on_screen("WRAPS  NOT A BINARY")) << screen();
  EXPECT_EQ(ram[0xFFF0], 0) << "nothing of a refused block is stored";
}

TEST(FreeSystemRom, BlocksBeyondTheRamExpansionAreRefused) {
  // 16K expansion: RAM ends at 0x7FFF. Without the check the data would be dropped by the
  // absent memory while the screen announced a load.
  power_on();
  ram_size = 2;
  memtop = max_memtop[ram_size];
  ASSERT_EQ(memtop, 0x7FFFu);
  SoftReset();
  run_frames(3);
  insert_cassette(cassette("TOOBIG", 0x7FF0, 0, std::vector<uint8_t>(0x20, 0x44)));
  run_frames(60);
  EXPECT_TRUE(on_screen("TOOBIG NEEDS MORE RAM")) << screen();
  EXPECT_EQ(ram[0x7FF0], 0) << "nothing of a refused block is stored";

  power_on();
  ram_size = 2;
  memtop = max_memtop[ram_size];
  SoftReset();
  run_frames(3);
  insert_cassette(cassette("FITS16", 0x7FE0, 0, std::vector<uint8_t>(0x20, 0x44)));
  run_frames(60);
  EXPECT_TRUE(on_screen("LOADED FITS16 32")) << screen();
  EXPECT_EQ(ram[0x7FFF], 0x44);
}

TEST(FreeSystemRom, LoadWithoutUsableTapeGivesUp) {
  power_on();
  run_frames(3);
  // No cassette: CLOAD and RETURN ask for the second RETURN, which other keys do not replace;
  // then the search ends with a message, and the editor goes on.
  type("cload");
  press_return();
  EXPECT_TRUE(on_screen("Press RETURN key to start")) << screen();
  type("x");
  run_frames(10);
  EXPECT_FALSE(on_screen("NO CASSETTE")) << screen();
  press_return();
  run_frames(10);
  EXPECT_TRUE(on_screen("NO CASSETTE")) << screen();
  // Nothing has been loaded, so there is nothing to save.
  type("csave");
  press_return();
  EXPECT_TRUE(on_screen("NOTHING TO SAVE")) << screen();

  // A cassette inserted afterwards autoloads as usual.
  insert_cassette(cassette("LATER ", 0x4000, 0, {9}));
  run_frames(60);
  EXPECT_TRUE(on_screen("LOADED LATER  1")) << screen();

  // A cassette with no sync byte: one failure, not an endless round of autoloads.
  power_on();
  run_frames(3);
  insert_cassette(std::vector<uint8_t>(3000, 0x55));
  run_frames(300);
  EXPECT_EQ(count_on_screen("NO CASSETTE"), 1) << screen();
  type("ab");
  EXPECT_EQ(typed_line(), "AB");
}

// ---------------------------------------------------------------------------------------------

TEST(FreeCharacterRom, GlyphSet) {
  const std::vector<uint8_t> glyphs = read_file(std::string(VANTOREL_FIRMWARE_DIR) + "/charrom.bin");
  ASSERT_EQ(glyphs.size(), 2048u);
  auto glyph = [&](int code) { return std::vector<uint8_t>(&glyphs[code * 8], &glyphs[code * 8 + 8]); };
  auto lit = [&](int code) {
    int n = 0;
    for (uint8_t row : glyph(code)) n += __builtin_popcount(row);
    return n;
  };
  EXPECT_EQ(lit(0x00), 0);
  EXPECT_EQ(lit(0x20), 0);
  // Every printable character is drawn, and no two look the same.
  for (int a = 0x21; a < 0x7F; ++a) {
    EXPECT_GT(lit(a), 0) << "blank glyph for '" << static_cast<char>(a) << "'";
    for (int b = a + 1; b < 0x7F; ++b)
      EXPECT_NE(glyph(a), glyph(b)) << "'" << static_cast<char>(a) << "' and '" << static_cast<char>(b) << "'";
  }
  // The quarter blocks: each set bit of the code's low nibble lights one 4 x 4 quarter.
  for (int bits = 0; bits < 16; ++bits)
    EXPECT_EQ(lit(0x80 + bits), 16 * __builtin_popcount(bits)) << "quarter block " << bits;
  // The graphics half is used: few codes above 0x7F are blank.
  int blank = 0;
  for (int code = 0x80; code < 0x100; ++code) blank += lit(code) == 0;
  EXPECT_LE(blank, 2);
}

TEST(FreeCharacterRom, GlyphsReachThePicture) {
  power_on();
  run_frames(5);
  // Find "V" of the title on screen and compare its cell in the picture with the glyph rows.
  int row = -1, col = -1;
  for (int r = 0; r < 25 && row < 0; ++r) {
    const size_t at = screen_row(r).find("VANTOREL");
    if (at != std::string::npos) row = r, col = static_cast<int>(at);
  }
  ASSERT_GE(row, 0);
  const uint8_t colour = ram[0x3400 + 40 * row + col];
  const uint32_t fg = AquaColours[colour >> 4], bg = AquaColours[colour & 15];
  ASSERT_NE(fg, bg);
  for (int line = 0; line < 8; ++line) {
    const uint8_t bits = CHAR_ROM['V' * 8 + line];
    for (int x = 0; x < 8; ++x) {
      const uint32_t pixel = display_buffer[(16 + row * 8 + line) * 352 + (2 + col) * 8 + x];
      EXPECT_EQ(pixel, (bits & (0x80 >> x)) ? fg : bg) << "line " << line << " pixel " << x;
    }
  }
}

// ---------------------------------------------------------------------------------------------

std::string run_headless(const std::string& arguments) {
  const std::string dir = scratch_dir + "/headless";
  std::string command = "mkdir -p '" + dir + "' && '" + HEADLESS_PROGRAM + "' --dir '" + dir + "' " + arguments + " 2>/dev/null";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  pclose(pipe);
  return output;
}

TEST(FreeSystemRomHeadless, TypesAndLoadsLikeAUser) {
  const std::string typed = run_headless("--type 'Hello' --frames 150 --screen-text");
  EXPECT_NE(typed.find("VANTOREL"), std::string::npos) << typed;
  EXPECT_NE(typed.find("> HELLO"), std::string::npos) << typed;

  const std::string tape = scratch_dir + "/run.caq";
  write_file(tape, cassette("BYTES ", 0x6000, 0, {0x11, 0x22, 0x33}));
  const std::string loaded = run_headless("--ram 4 --autoload --load '" + tape + "' --frames 120 --screen-text --dump 6000:3");
  EXPECT_NE(loaded.find("LOADED BYTES  3"), std::string::npos) << loaded;
  EXPECT_NE(loaded.find("11 22 33"), std::string::npos) << loaded;
}

}  // namespace
