// Switching the Micro Expander on and off, its hard reset, and an unusable "aqubasic.rom".
#include "ch376_fixture.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/save_state.h"
#include "loading/loader.h"
#include "sound/ay.h"
#include "tools/headless_host.h"
#include "z80/z80.h"

class MicroExpanderTest : public Ch376Test {
 protected:
  fs::path roms;
  std::vector<uint8_t> image;

  void SetUp() override {
    Ch376Test::SetUp();
    ch376_destroy();
    per_MicroEx = false;
    roms = prog / "roms";
    fs::create_directory(roms);
    memory_allocate();
    AY_init();
    model = 0;
    testing::internal::CaptureStderr();
    Load_ROM();  // no system ROM files: the free ROMs step in
    testing::internal::GetCapturedStderr();
    ram_size = 1;
    memtop = max_memtop[1];
    image = sample_bytes(8192, 11);
  }
  void TearDown() override {
    if (per_MicroEx) select_MicroEx();
    per_MicroEx = false;
    Ch376Test::TearDown();
  }
  // Switches on with a broken image: the error names the file and nothing changes.
  void expect_refused(const char* why, const char* said = "aqubasic.rom") {
    SCOPED_TRACE(why);
    int errors = headless_error_count;
    testing::internal::CaptureStderr();
    select_MicroEx();
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(per_MicroEx);
    EXPECT_EQ(ch376, nullptr);
    EXPECT_EQ(headless_error_count, errors + 1);
    EXPECT_NE(shown.find("aqubasic.rom"), std::string::npos) << shown;
    EXPECT_NE(shown.find(said), std::string::npos) << shown;
    EXPECT_EQ(ram_size, 1);
    EXPECT_EQ(memtop, max_memtop[1]);
    EXPECT_EQ(ReadPort(0x41), 0xFF);
  }
};

TEST_F(MicroExpanderTest, UnusableExpansionRomIsReportedAndNotSwitchedOn) {
  expect_refused("missing");
  write_host_file(roms / "aqubasic.rom", {});
  expect_refused("empty");
  write_host_file(roms / "aqubasic.rom", sample_bytes(16385));
  expect_refused("over 16K");
  write_host_file(roms / "aqubasic.rom", sample_bytes(12000));
  expect_refused("neither 8K nor 16K", "has 12000 bytes instead of 8192 or 16384");
  fs::remove(roms / "aqubasic.rom");
  fs::create_directory(roms / "aqubasic.rom");
  expect_refused("a directory");
}

TEST_F(MicroExpanderTest, OnHardResetOffAndOnAgain) {
  write_host_file(roms / "aqubasic.rom", image);
  write_host_file(usb / "F.DAT", {1, 2, 3});
  select_MicroEx();
  ASSERT_TRUE(per_MicroEx);
  ASSERT_NE(ch376, nullptr);
  EXPECT_EQ(ram_size, 3);
  EXPECT_EQ(memtop, 0xBFFFu);
  EXPECT_EQ(temp_ramtop, max_memtop[1]) << "recorded when the record was created";
  EXPECT_EQ(temp_model, 0);
  EXPECT_EQ(ch376->root_path, nullptr);
  EXPECT_TRUE(ch376->current_dir.empty());
  bool rom_mapped = true;
  for (uint32_t i = 0; i < 8192; ++i) rom_mapped = rom_mapped && ReadByte(static_cast<uint16_t>(0xE000 + i)) == image[i];
  EXPECT_TRUE(rom_mapped);
  WriteByte(0xBFFF, 0x5A);
  EXPECT_EQ(ReadByte(0xBFFF), 0x5A) << "the 32K expansion's top byte is RAM";
  EXPECT_EQ(z80.pc, 0);
  // The ports now reach the controller.
  WritePort(0x41, CHECK_EXIST);
  WritePort(0x40, 0x0F);
  EXPECT_EQ(ReadPort(0x40), 0xF0);

  // Hard reset: RAM cleared, a fresh controller (the mount and the open file are gone).
  ASSERT_EQ(mount(), USB_INT_SUCCESS);
  ASSERT_EQ(name_command(FILE_OPEN, "/F.DAT"), USB_INT_SUCCESS);
  WriteByte(0x8000, 0x77);
  HardReset();
  ASSERT_NE(ch376, nullptr);
  EXPECT_EQ(ch376->root_path, nullptr);
  EXPECT_EQ(ch376->open_file, nullptr);
  EXPECT_EQ(ReadByte(0x8000), 0);
  EXPECT_EQ(memtop, 0xBFFFu);
  EXPECT_EQ(temp_ramtop, 0xBFFFu);
  EXPECT_EQ(ReadByte(0xE000), image[0]);
  EXPECT_EQ(name_command(FILE_OPEN, "/F.DAT"), CMD_RET_ABORT) << "must be mounted again";

  // The image gone by the next hard reset: the error names it, the controller is still there.
  fs::rename(roms / "aqubasic.rom", roms / "moved.rom");
  int errors = headless_error_count;
  testing::internal::CaptureStderr();
  HardReset();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("aqubasic.rom"), std::string::npos);
  EXPECT_EQ(headless_error_count, errors + 1);
  EXPECT_NE(ch376, nullptr);
  EXPECT_EQ(memtop, 0xBFFFu);
  fs::rename(roms / "moved.rom", roms / "aqubasic.rom");

  // Off: RAM cleared, the RAM configuration from before switch-on, the ports unassigned.
  WriteByte(0x4000, 0x66);
  select_MicroEx();
  EXPECT_FALSE(per_MicroEx);
  EXPECT_EQ(ch376, nullptr);
  EXPECT_EQ(ram_size, 1);
  EXPECT_EQ(memtop, max_memtop[1]);
  EXPECT_EQ(ReadByte(0x4000), 0);
  EXPECT_NE(ReadByte(0xE000) == image[0] && ReadByte(0xE001) == image[1] && ReadByte(0xE002) == image[2], true)
      << "the expansion ROM has left the cartridge pages";
  EXPECT_EQ(ReadPort(0x41), 0xFF);
  EXPECT_EQ(ReadPort(0x40), 0xFF);

  // On again: a new record, nothing mounted, no current directory.
  ram_size = 4;
  memtop = max_memtop[4];
  select_MicroEx();
  ASSERT_NE(ch376, nullptr);
  EXPECT_EQ(ch376->root_path, nullptr);
  EXPECT_TRUE(ch376->current_dir.empty());
  select_MicroEx();
  EXPECT_EQ(ram_size, 4);
  EXPECT_EQ(memtop, max_memtop[4]);
}

TEST_F(MicroExpanderTest, CartridgeLoadedWhileOnWaitsForTheSoftReset) {
  const std::vector<uint8_t> expansion = sample_bytes(16384, 21), cart = sample_bytes(8192, 22);
  write_host_file(roms / "aqubasic.rom", expansion);
  const std::string game = (prog / "game.rom").string();
  write_host_file(game, cart);
  select_MicroEx();
  auto expansion_mapped = [&] { return ReadByte(0xC001) == expansion[1] && ReadByte(0xE001) == expansion[0x2001]; };
  // The expansion's program runs from the cartridge pages: a load by the menu or by a drop
  // leaves them, the CPU and RAM alone.
  z80.pc = 0xE123;
  WriteByte(0x8000, 0x77);
  load_file_begin();
  EXPECT_EQ(menu_load_path(game), 0);
  load_file_end();
  EXPECT_EQ(do_load_file(game), 0);
  EXPECT_TRUE(expansion_mapped());
  EXPECT_EQ(z80.pc, 0xE123);
  // A state saved meanwhile keeps the waiting cartridge: loaded after a hard reset, the
  // expansion runs again and the soft reset still brings the cartridge.
  const std::vector<uint8_t> state = encode_state();
  HardReset();
  std::string message;
  ASSERT_EQ(decode_state(state.data(), state.size(), false, message), state_result::ok) << message;
  EXPECT_TRUE(expansion_mapped());
  EXPECT_EQ(z80.pc, 0xE123);
  // The soft reset starts it in place of the expansion ROM (RAM below it, as for any 8K
  // cartridge); the controller, the 32K and RAM stay.
  SoftReset();
  EXPECT_EQ(z80.pc, 0);
  EXPECT_TRUE(ReadByte(0xE001) == cart[1] && ReadByte(0xFFFF) == cart[0x1FFF] && ReadByte(0xC001) == 0);
  EXPECT_TRUE(per_MicroEx && ch376 && memtop == 0xBFFFu && ReadByte(0x8000) == 0x77);
  // A hard reset brings the expansion ROM back and forgets a cartridge still waiting.
  HardReset();
  EXPECT_TRUE(expansion_mapped());
  EXPECT_EQ(do_load_file(game), 0);
  HardReset();
  SoftReset();
  EXPECT_TRUE(expansion_mapped());
}
