// ROM loading, the built-in fallback, the resets and the error reporter, with ROM files in
// scratch directories only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "ch376/ch376.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "input/keyboard.h"
#include "loading/loader.h"
#include "scratch_dir.h"
#include "tools/headless_host.h"
#include "z80/z80.h"

extern const unsigned char firmware_sysrom[];
extern const unsigned char firmware_charrom[];

namespace {

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

// The cassette hook every loaded system ROM gets: LD C,0xFC; IN A,(C); EXX; RET.
const uint8_t cassette_patch[6] = {0x0E, 0xFC, 0xED, 0x78, 0xD9, 0xC9};

class Roms : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string saved_cwd;
  void SetUp() override {
    char buf[4096];
    saved_cwd = getcwd(buf, sizeof buf) ? buf : ".";
    per_MicroEx = false;
    memory_allocate();
    rom_dir = dir.path + "/roms/";
    model = 0;
    rom_mode = 1;
    select_rom_names();
  }
  void TearDown() override { (void)chdir(saved_cwd.c_str()); }
  void put(const std::string& name, size_t size, unsigned seed) { dir.write("roms/" + name, pattern(size, seed)); }
  void put_full_set() {
    put("aquariusS1.rom", 8192, 1);
    put("aquariusS2.rom", 8192, 2);
    put("charS1.rom", 2048, 3);
    put("charS2.rom", 2048, 4);
    put("extbasic.rom", 4096, 5);
  }
  // The whole system ROM image as the machine should hold it after loading: the file with
  // the cassette hook written over six bytes.
  static bool system_rom_is(unsigned seed) {
    std::vector<unsigned char> want = pattern(8192, seed);
    std::memcpy(want.data() + 0x1B4E, cassette_patch, 6);
    return std::memcmp(AQUA_ROM, want.data(), 8192) == 0;
  }
  static bool char_rom_is(unsigned seed) { return std::memcmp(CHAR_ROM, pattern(2048, seed).data(), 2048) == 0; }
  int load_capturing(std::string& errors) {
    ::testing::internal::CaptureStderr();
    const int result = Load_ROM();
    errors = ::testing::internal::GetCapturedStderr();
    return result;
  }
  // The notice the built-in ROM shows, or "" without its magic bytes.
  static std::string notice() {
    if (ReadByte(0x3F00) != 'M' || ReadByte(0x3F01) != '!') return "";
    std::string text;
    for (uint16_t a = 0x3F02; a < 0x3F02 + 200 && ReadByte(a); ++a) text += static_cast<char>(ReadByte(a));
    return text;
  }
};

TEST_F(Roms, SeriesTwoLoadsMapsAndPatches) {
  put_full_set();
  std::string errors;
  ASSERT_EQ(load_capturing(errors), 0);
  EXPECT_EQ(errors, "");
  EXPECT_TRUE(system_rom_is(2));
  EXPECT_TRUE(char_rom_is(4));
  EXPECT_FALSE(builtin_roms_active);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadByte(static_cast<uint16_t>(0x1B4E + i)), cassette_patch[i]);
  EXPECT_EQ(ReadByte(0x1B4D), pattern(8192, 2)[0x1B4D]);
  EXPECT_EQ(ReadByte(0x1B54), pattern(8192, 2)[0x1B54]);

  // A reload clears RAM and drops a mapped cartridge.
  static uint8_t cartridge[0x2000];
  cartridge[0] = 0xC3;
  Page_RAM[7] = cartridge;
  WriteByte(0x3000, 0x41);
  ASSERT_EQ(Load_ROM(), 0);
  EXPECT_EQ(ReadByte(0xE000), 0);
  EXPECT_EQ(ReadByte(0x3000), 0);
}

TEST_F(Roms, AquariusTwoRunsTheSeriesTwoRomWithTheChosenCharacterSet) {
  put_full_set();
  model = 1;
  rom_mode = 0;
  select_rom_names();
  EXPECT_EQ(current_rom, "aquariusS1.rom");
  EXPECT_EQ(current_char, "charS1.rom");
  ASSERT_EQ(Load_ROM(), 0);
  EXPECT_TRUE(system_rom_is(2));
  EXPECT_TRUE(char_rom_is(3));
  EXPECT_EQ(ReadByte(0x2000), pattern(4096, 5)[0]);
  EXPECT_EQ(ReadByte(0x2FFF), pattern(4096, 5)[4095]);

  // The series 1 system ROM is still required although it is replaced.
  std::filesystem::remove(dir.file("roms/aquariusS1.rom"));
  std::string errors;
  EXPECT_EQ(load_capturing(errors), 1);
  EXPECT_EQ(errors, "00 - ROM file " + rom_dir + "aquariusS1.rom was not found\n");
}

TEST_F(Roms, WrongSizesAndMissingFilesAreNamedInTheMessage) {
  put_full_set();
  std::string errors;
  ASSERT_EQ(load_capturing(errors), 0);
  put("aquariusS2.rom", 8193, 2);
  EXPECT_EQ(load_capturing(errors), 1);
  EXPECT_EQ(errors, "00 - ROM file " + rom_dir + "aquariusS2.rom has 8193 bytes instead of 8192\n");
  put("aquariusS2.rom", 8192, 2);
  put("charS2.rom", 2047, 4);
  EXPECT_EQ(load_capturing(errors), 1);
  EXPECT_EQ(errors, "00 - ROM file " + rom_dir + "charS2.rom has 2047 bytes instead of 2048\n");
  put("charS2.rom", 2048, 4);
  model = 1;
  std::filesystem::remove(dir.file("roms/extbasic.rom"));
  EXPECT_EQ(load_capturing(errors), 1);
  EXPECT_EQ(errors, "00 - ROM file " + rom_dir + "extbasic.rom was not found\n");
  EXPECT_EQ(model, 0) << "the failed switch leaves the model that runs";
  model = 1;
  std::filesystem::create_directory(dir.file("roms/extbasic.rom"));
  EXPECT_EQ(load_capturing(errors), 1);
  EXPECT_EQ(errors, "00 - ROM file " + rom_dir + "extbasic.rom cannot be read (not a regular file)\n");
}

TEST_F(Roms, FailedReloadKeepsEveryImageInForce) {
  put_full_set();
  ASSERT_EQ(Load_ROM(), 0);
  WriteByte(0x3100, 0x77);
  // New system ROM on disk, but the character ROM is broken: nothing may be half replaced.
  put("aquariusS2.rom", 8192, 9);
  put("charS2.rom", 100, 9);
  std::string errors;
  EXPECT_EQ(load_capturing(errors), 1);
  EXPECT_TRUE(system_rom_is(2));
  EXPECT_TRUE(char_rom_is(4));
  EXPECT_EQ(ReadByte(0x3100), 0x77) << "a failed load does not rebuild memory";
  EXPECT_FALSE(builtin_roms_active);
  // A model change that cannot be honoured leaves the machine on the model it runs.
  model = 1;
  std::filesystem::remove(dir.file("roms/extbasic.rom"));
  put("charS2.rom", 2048, 4);
  EXPECT_EQ(load_capturing(errors), 1);
  EXPECT_EQ(model, 0);
  EXPECT_TRUE(system_rom_is(2));
}

TEST_F(Roms, StartUpWithoutRomsBootsTheBuiltInOnesAndSaysWhy) {
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  put("charS2.rom", 2047, 4);
  ::testing::internal::CaptureStderr();
  Initialise_Emulator();
  const std::string errors = ::testing::internal::GetCapturedStderr();
  const std::string roms = dir.path + "/roms/";
  EXPECT_EQ(errors, "00 - ROM file " + roms + "aquariusS2.rom was not found\nROM file " + roms +
                        "charS2.rom has 2047 bytes instead of 2048\n");
  ASSERT_TRUE(builtin_roms_active);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadByte(static_cast<uint16_t>(0x1B4E + i)), cassette_patch[i]);
  EXPECT_EQ(std::memcmp(AQUA_ROM, firmware_sysrom, 0x1B4E), 0);
  EXPECT_EQ(std::memcmp(CHAR_ROM, firmware_charrom, 2048), 0);
  std::string shown_dir = dir.path + "/roms/";
  if (shown_dir.size() > 38) shown_dir = "..." + shown_dir.substr(shown_dir.size() - 35);
  EXPECT_EQ(notice(), "aquariusS2.rom: not found\ncharS2.rom: 2047 bytes, needs 2048\n" + shown_dir);

  // A failed hard reset keeps the built-in ROMs; a good one brings the user's in.
  HardReset();
  EXPECT_TRUE(builtin_roms_active);
  EXPECT_NE(notice(), "");
  // Under the home directory (the data directory's case) the path is shown from "~/".
  const std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", (dir.path + "/").c_str(), 1);
  HardReset();
  const std::string home_notice = notice();
  EXPECT_EQ(home_notice.substr(home_notice.rfind('\n') + 1), "~/roms/");
  setenv("HOME", saved_home.c_str(), 1);
  put_full_set();
  HardReset();
  EXPECT_FALSE(builtin_roms_active);
  EXPECT_TRUE(system_rom_is(2));
  EXPECT_EQ(notice(), "");
}

TEST_F(Roms, BuiltInNoticeFitsItsSpaceWhateverThePath) {
  const std::string deep = dir.path + "/" + std::string(60, 'd') + "/\xC3\xA9t\xC3\xA9";
  std::filesystem::create_directories(deep);
  ASSERT_EQ(chdir(deep.c_str()), 0);
  dir.write_text(deep.substr(dir.path.size() + 1) + "/vantorel.ini", "1\n1\n0\n1\n0\n1\n0\n0\n0\n0\n0\n1\n[End]\n");
  ::testing::internal::CaptureStderr();
  Initialise_Emulator();
  ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(model, 1);
  const std::string text = notice();
  ASSERT_NE(text, "");
  EXPECT_LT(text.size(), 200u);
  const std::vector<std::string> lines = split_lines(text);
  ASSERT_EQ(lines.size(), 5u) << "four missing files and the directory:\n" << text;
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), 38u) << line;
    for (char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << line;
  }
  EXPECT_EQ(lines[0], "aquariusS1.rom: not found");
  EXPECT_EQ(lines[3], "extbasic.rom: not found");
  EXPECT_EQ(lines[4], "..." + std::string(23, 'd') + "/?\?t?\?/roms/");
}

TEST_F(Roms, SeriesOneConfigurationLoadsSeriesOneFiles) {
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  dir.write_text("vantorel.ini", "1\n1\n0\n0\n0\n1\n0\n0\n0\n0\n0\n1\n[End]\n");
  put("aquariusS1.rom", 8192, 1);
  put("charS1.rom", 2048, 3);
  ::testing::internal::CaptureStderr();
  Initialise_Emulator();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(builtin_roms_active);
  EXPECT_TRUE(system_rom_is(1));
  EXPECT_TRUE(char_rom_is(3));
}

TEST_F(Roms, SoftResetOnlyRestartsAtZero) {
  put_full_set();
  ASSERT_EQ(Load_ROM(), 0);
  static uint8_t cartridge[0x2000];
  cartridge[5] = 0x3C;
  Page_RAM[7] = cartridge;
  WriteByte(0x4000 - 1, 0x99);
  z80.pc = 0x1234;
  z80.sp = 0x3F00;
  z80.af.w = 0x5AC3;
  z80.hl_alt.w = 0xBEEF;
  keyboard_map[3] = 0xF7;
  SoftReset();
  EXPECT_EQ(z80.pc, 0);
  EXPECT_EQ(z80.sp, 0x3F00);
  EXPECT_EQ(z80.af.w, 0x5AC3);
  EXPECT_EQ(z80.hl_alt.w, 0xBEEF);
  EXPECT_EQ(keyboard_map[3], 0xFF);
  EXPECT_EQ(ReadByte(0x3FFF), 0x99);
  EXPECT_EQ(ReadByte(0xE005), 0x3C);
  HardReset();
  EXPECT_EQ(ReadByte(0xE005), 0) << "a hard reset unmaps the cartridge";
  EXPECT_EQ(ReadByte(0x3FFF), 0);
}

TEST(ErrorReporter, FormatsTheKindInHexAndReturnsOne) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Aqua_Error(0, 2, "ROM file x was not found"), 1);
  EXPECT_EQ(Aqua_Error(0x1F, 0, "odd"), 1);
  EXPECT_EQ(Aqua_Error(0, 8), 1);
  const std::vector<std::string> lines = split_lines(::testing::internal::GetCapturedStderr());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "00 - ROM file x was not found");
  EXPECT_EQ(lines[1], "1F - odd");
  EXPECT_EQ(lines[2].substr(0, 5), "00 - ");
  EXPECT_GT(lines[2].size(), 5u) << "a numbered error says something after the prefix";
  EXPECT_EQ(lines[3], "");
}


// Which files each machine needs, and where each one ends up. The model 1 machine reads the
// series system ROM, checks it, and then runs the series 2 one over it.
struct MachineCase {
  uint8_t model, rom_mode;
  std::vector<std::string> needed;
};
const std::vector<MachineCase> machine_cases = {
    {0, 0, {"aquariusS1.rom", "charS1.rom"}},
    {0, 1, {"aquariusS2.rom", "charS2.rom"}},
    {1, 0, {"aquariusS1.rom", "charS1.rom", "aquariusS2.rom", "extbasic.rom"}},
    {1, 1, {"aquariusS2.rom", "charS2.rom", "extbasic.rom"}},
};
const std::vector<std::string> all_rom_files = {"aquariusS1.rom", "aquariusS2.rom", "charS1.rom", "charS2.rom",
                                                "extbasic.rom"};

size_t size_of_rom(const std::string& name) {
  if (name == "extbasic.rom") return 4096;
  return name.rfind("char", 0) == 0 ? 2048 : 8192;
}

// Seeds chosen per file, so that every image is told apart from every other, old and new.
unsigned seed_of(const std::string& name, unsigned generation) {
  for (unsigned i = 0; i < all_rom_files.size(); ++i)
    if (all_rom_files[i] == name) return 1 + i + 10 * generation;
  return 0;
}

class RomSets : public Roms {
 protected:
  void put_generation(unsigned generation) {
    for (const std::string& name : all_rom_files) put(name, size_of_rom(name), seed_of(name, generation));
  }
  void choose(const MachineCase& m) {
    model = m.model;
    rom_mode = m.rom_mode;
    select_rom_names();
  }
  // The images a successful load of generation g must leave in force.
  ::testing::AssertionResult images_are(const MachineCase& m, unsigned generation) {
    const std::string system = m.model == 1 ? "aquariusS2.rom" : (m.rom_mode ? "aquariusS2.rom" : "aquariusS1.rom");
    const std::string chars = m.rom_mode ? "charS2.rom" : "charS1.rom";
    if (!system_rom_is(seed_of(system, generation))) return ::testing::AssertionFailure() << "system ROM";
    if (!char_rom_is(seed_of(chars, generation))) return ::testing::AssertionFailure() << "character ROM";
    for (int i = 0; i < 6; ++i)
      if (ReadByte(static_cast<uint16_t>(0x1B4E + i)) != cassette_patch[i])
        return ::testing::AssertionFailure() << "cassette patch byte " << i;
    if (m.model == 1) {
      const std::vector<unsigned char> ext = pattern(4096, seed_of("extbasic.rom", generation));
      if (std::memcmp(EXT_ROM, ext.data(), 4096) != 0) return ::testing::AssertionFailure() << "extension ROM";
    }
    return ::testing::AssertionSuccess();
  }
};

TEST_F(RomSets, EachMachineLoadsWhatItNeedsAndNothingElse) {
  for (const MachineCase& m : machine_cases) {
    SCOPED_TRACE("model " + std::to_string(m.model) + " series " + std::to_string(m.rom_mode + 1));
    put_generation(0);
    // Files the machine does not need may be absent.
    for (const std::string& name : all_rom_files)
      if (std::find(m.needed.begin(), m.needed.end(), name) == m.needed.end())
        std::filesystem::remove(dir.file("roms/" + name));
    choose(m);
    std::string errors;
    ASSERT_EQ(load_capturing(errors), 0);
    EXPECT_EQ(errors, "");
    EXPECT_TRUE(images_are(m, 0));
    EXPECT_FALSE(builtin_roms_active);
    // The extension ROM is what model 1 sees at 0x2000.
    if (m.model == 1) {
      EXPECT_EQ(ReadByte(0x2001), pattern(4096, seed_of("extbasic.rom", 0))[1]);
    }
    // A second load of new files replaces all of them, patch included.
    put_generation(1);
    ASSERT_EQ(load_capturing(errors), 0);
    EXPECT_TRUE(images_are(m, 1));
  }
}

TEST_F(RomSets, EveryFaultOfEveryNeededFileLeavesTheMachineAsItWas) {
  enum Fault { missing, one_short, one_long, empty };
  for (const MachineCase& m : machine_cases) {
    for (const std::string& name : m.needed) {
      for (Fault fault : {missing, one_short, one_long, empty}) {
        const size_t size = size_of_rom(name);
        SCOPED_TRACE("model " + std::to_string(m.model) + " series " + std::to_string(m.rom_mode + 1) + ", " +
                     name + ", fault " + std::to_string(fault));
        put_generation(0);
        choose(m);
        ASSERT_EQ(Load_ROM(), 0);
        WriteByte(0x3100, 0x77);
        // Every other file is new on disk: a half-done load would show some of it.
        put_generation(1);
        std::string reason;
        switch (fault) {
          case missing:
            std::filesystem::remove(dir.file("roms/" + name));
            reason = " was not found";
            break;
          case one_short:
            put(name, size - 1, 99);
            reason = " has " + std::to_string(size - 1) + " bytes instead of " + std::to_string(size);
            break;
          case one_long:
            put(name, size + 1, 99);
            reason = " has " + std::to_string(size + 1) + " bytes instead of " + std::to_string(size);
            break;
          case empty:
            put(name, 0, 99);
            reason = " has 0 bytes instead of " + std::to_string(size);
            break;
        }
        std::string errors;
        EXPECT_EQ(load_capturing(errors), 1);
        EXPECT_EQ(errors, "00 - ROM file " + rom_dir + name + reason + "\n");
        EXPECT_TRUE(images_are(m, 0));
        EXPECT_EQ(ReadByte(0x3100), 0x77) << "memory is not rebuilt";
        EXPECT_EQ(model, m.model);
        EXPECT_EQ(rom_mode, m.rom_mode);
        EXPECT_FALSE(builtin_roms_active);
      }
    }
  }
}

TEST_F(RomSets, StartUpFaultsBootTheFreeRomsOrStopWithoutThem) {
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  for (const MachineCase& m : machine_cases) {
    for (const std::string& name : m.needed) {
      SCOPED_TRACE("model " + std::to_string(m.model) + " series " + std::to_string(m.rom_mode + 1) + ", " + name);
      put_generation(0);
      put(name, size_of_rom(name) + 1, 99);
      // The settings file names the machine: line 4 the model, line 5 the series.
      dir.write_text("vantorel.ini", "1\n1\n0\n" + std::to_string(m.model) + "\n" + std::to_string(m.rom_mode) +
                                         "\n1\n0\n0\n0\n0\n0\n1\n[End]\n");
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(Initialise_Emulator(), 1);
      const std::string errors = ::testing::internal::GetCapturedStderr();
      EXPECT_NE(errors.find(name + " has " + std::to_string(size_of_rom(name) + 1) + " bytes"), std::string::npos)
          << errors;
      EXPECT_TRUE(builtin_roms_active);
      EXPECT_EQ(std::memcmp(CHAR_ROM, firmware_charrom, 2048), 0);
      EXPECT_EQ(notice().rfind(name + ": ", 0), 0u) << notice();

      // Without the fallback nothing of the free ROMs is installed.
      StartupChoices strict;
      strict.builtin_fallback = false;
      ::testing::internal::CaptureStderr();
      EXPECT_EQ(Initialise_Emulator(strict), 1);
      EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
      EXPECT_FALSE(builtin_roms_active);
      EXPECT_EQ(notice(), "");
    }
  }
}

// The host's start-up choices come after vantorel.ini and before the ROMs are read.
uint8_t hooked_model, hooked_rom_mode, hooked_ram;
void choose_model_two_series_one() {
  hooked_model = model;
  hooked_rom_mode = rom_mode;
  hooked_ram = ram_size;
  model = 1;
  rom_mode = 0;
  ram_size = 3;
}

TEST_F(RomSets, StartUpSettingsAreAppliedBeforeTheRomsLoad) {
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  put_generation(0);
  dir.write_text("vantorel.ini", "1\n1\n0\n0\n1\n1\n0\n2\n0\n0\n0\n1\n[End]\n");
  StartupChoices choices;
  choices.apply_settings = choose_model_two_series_one;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Initialise_Emulator(choices), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(hooked_model, 0) << "the settings file was read first";
  EXPECT_EQ(hooked_rom_mode, 1);
  EXPECT_EQ(hooked_ram, 2);
  EXPECT_EQ(current_char, "charS1.rom");
  EXPECT_TRUE(images_are({1, 0, {}}, 0));
  EXPECT_EQ(memtop, max_memtop[3]);
}

TEST_F(RomSets, ResetsAndALoadedCartridge) {
  put_generation(0);
  choose(machine_cases[1]);
  ASSERT_EQ(Load_ROM(), 0);
  // A 16K cartridge through the loader, as a user loads one.
  std::vector<unsigned char> cart = pattern(16384, 77);
  dir.write("game.rom", cart);
  ASSERT_EQ(do_load_file(dir.file("game.rom")), 0) << load_error;
  ASSERT_EQ(ReadByte(0xC000), cart[0]);
  WriteByte(0x3456, 0x5A);
  z80.pc = 0x1234; z80.sp = 0x3F00; z80.af.w = 0x5AC3; z80.bc.w = 0x0102; z80.de.w = 0x0304;
  z80.hl.w = 0x0506; z80.ix.w = 0x0708; z80.iy.w = 0x090A; z80.hl_alt.w = 0xBEEF; z80.i = 0x3F;
  z80.iff1 = z80.iff2 = 1; z80.im = 2;
  t_state = 12345;
  Z80State before;
  std::memcpy(&before, &z80, sizeof before);
  before.pc = 0;
  keyboard_map[3] = 0xF7;
  SoftReset();
  EXPECT_EQ(std::memcmp(&before, &z80, sizeof before), 0) << "only the program counter changes";
  EXPECT_EQ(t_state, 12345u);
  EXPECT_EQ(keyboard_map[3], 0xFF) << "keys are released";
  EXPECT_EQ(ReadByte(0x3456), 0x5A);
  EXPECT_EQ(ReadByte(0xC000), cart[0]);
  EXPECT_EQ(ReadByte(0xFFFF), cart[16383]);
  // A hard reset reads the ROM files again (a changed file takes effect) and drops the cartridge.
  put("aquariusS2.rom", 8192, 55);
  HardReset();
  EXPECT_TRUE(system_rom_is(55));
  EXPECT_EQ(ReadByte(0xC000), 0);
  EXPECT_EQ(ReadByte(0xFFFF), 0);
  EXPECT_EQ(ReadByte(0x3456), 0);
  EXPECT_EQ(z80.pc, 0);
}

}  // namespace
