// The memory map: absent expansion memory, the read-only ROM page, the Aquarius II extension
// copy and the cartridge pages.
#include <gtest/gtest.h>

#include <cstring>

#include "core/memory.h"
#include "core/ports.h"

namespace {

class MemoryMap : public ::testing::Test {
 protected:
  void SetUp() override {
    memory_allocate();
    model = 0;
    ram_size = 0;
    memtop = 0x3FFF;
    for (int i = 0; i < 8192; ++i) AQUA_ROM[i] = static_cast<uint8_t>(0xA0 ^ i);
    Rebuild_Mem();
  }
  uint8_t cartridge[0x4000];
};

// The RAM top of each expansion: 16K on the board (to 0x3FFF), then 4K, 16K, 32K or 48K more.
constexpr uint32_t expected_top[5] = {0x3FFF, 0x4FFF, 0x7FFF, 0xBFFF, 0xFFFF};

TEST_F(MemoryMap, ExpansionSizesDecideWhatBehavesAsPresent) {
  for (uint8_t size = 0; size < 5; ++size) {
    SCOPED_TRACE(int(size));
    Rebuild_Mem();
    memtop = max_memtop[size];
    ASSERT_EQ(memtop, expected_top[size]);
    WriteByte(static_cast<uint16_t>(expected_top[size]), 0x5A);
    EXPECT_EQ(ReadByte(static_cast<uint16_t>(expected_top[size])), 0x5A);
    if (expected_top[size] < 0xBFFF) {
      const uint16_t absent = static_cast<uint16_t>(expected_top[size] + 1);
      WriteByte(absent, 0x77);
      EXPECT_EQ(ram[absent], 0) << "write to absent memory reached the RAM array";
      ram[absent] = 0x66;  // whatever the array holds, absent memory reads 0
      EXPECT_EQ(ReadByte(absent), 0);
      EXPECT_EQ(ReadByte(0xBFFF), 0);
    }
  }
}

TEST_F(MemoryMap, SystemRomIsReadOnlyAndRamStartsAt2000) {
  for (uint8_t m = 0; m < 2; ++m) {
    model = m;
    Rebuild_Mem();
    WriteByte(0x0000, 0x11);
    WriteByte(0x1FFF, 0x11);
    EXPECT_EQ(ReadByte(0x0000), 0xA0);
    EXPECT_EQ(ReadByte(0x1FFF), static_cast<uint8_t>(0xA0 ^ 0x1FFF));
    WriteByte(0x2000, 0x22);
    EXPECT_EQ(ReadByte(0x2000), 0x22);
    WriteByte(0x3FFF, 0x33);
    EXPECT_EQ(ReadByte(0x3FFF), 0x33);
  }
}

TEST_F(MemoryMap, AquariusTwoGetsAWritableExtensionCopyAtEachRebuild) {
  for (int i = 0; i < 4096; ++i) EXT_ROM[i] = static_cast<uint8_t>(i * 13 + 1);
  model = 1;
  Rebuild_Mem();
  for (uint16_t a = 0x2000; a < 0x3000; a += 0x1FF) EXPECT_EQ(ReadByte(a), static_cast<uint8_t>((a - 0x2000) * 13 + 1));
  EXPECT_EQ(ReadByte(0x3000), 0) << "the copy is 4K, screen RAM stays clear";
  WriteByte(0x2000, 0xEE);
  EXPECT_EQ(ReadByte(0x2000), 0xEE);
  EXPECT_EQ(EXT_ROM[0], 1) << "overwriting the copy must not touch the image";
  Rebuild_Mem();
  EXPECT_EQ(ReadByte(0x2000), 1);
  model = 0;
  Rebuild_Mem();
  EXPECT_EQ(ReadByte(0x2000), 0);
}

TEST_F(MemoryMap, CartridgePagesReadWhateverTheRamTop) {
  for (int i = 0; i < 0x4000; ++i) cartridge[i] = static_cast<uint8_t>(i >> 5);
  WritePort(0x00FF, 0);
  // 8K cartridge on page 7 only; page 6 stays RAM, holding what a bigger setting left there.
  ram[0xC000] = 0x42;
  map_cartridge(cartridge, 0x2000);
  EXPECT_EQ(ReadByte(0xC000), 0x42);
  EXPECT_EQ(ReadByte(0xE000), cartridge[0]);
  EXPECT_EQ(ReadByte(0xFFFF), cartridge[0x1FFF]);
  // 16K cartridge: its second half at 0xE000.
  map_cartridge(cartridge, 0x4000);
  EXPECT_EQ(ReadByte(0xC010), cartridge[0x10]);
  EXPECT_EQ(ReadByte(0xE010), cartridge[0x2010]);
  // An 8K one replacing it gives page 6 back to RAM.
  map_cartridge(cartridge, 0x2000);
  EXPECT_EQ(ReadByte(0xC000), 0x42);
  // A rebuild unmaps it and clears RAM.
  Rebuild_Mem();
  EXPECT_EQ(ReadByte(0xE010), 0);
  EXPECT_EQ(ReadByte(0xC000), 0);
}

// The cartridge port's data lines pass through an exclusive-or with the port 0xFF latch, for
// data reads and opcode fetches alike; RAM in the same pages is not scrambled.
TEST_F(MemoryMap, CartridgeReadsPassThroughThePortFFScrambler) {
  for (int i = 0; i < 0x4000; ++i) cartridge[i] = static_cast<uint8_t>(i * 7 + 3);
  WritePort(0x00FF, 0);
  memtop = 0xFFFF;
  ram[0xC123] = 0x42;
  map_cartridge(cartridge, 0x2000);
  WritePort(0x12FF, 0x5A);
  EXPECT_EQ(ReadByte(0xE000), static_cast<uint8_t>(cartridge[0] ^ 0x5A));
  EXPECT_EQ(FetchOpcode(0xFFFF), static_cast<uint8_t>(cartridge[0x1FFF] ^ 0x5A));
  EXPECT_EQ(ReadByte(0xC123), 0x42);
  WritePort(0x00FF, 0xFF);
  EXPECT_EQ(ReadByte(0xE001), static_cast<uint8_t>(~cartridge[1]));
  // A cartridge mapped while the latch holds a key is seen through it at once.
  map_cartridge(cartridge, 0x4000);
  EXPECT_EQ(ReadByte(0xC000), static_cast<uint8_t>(~cartridge[0]));
  EXPECT_EQ(ReadByte(0xE000), static_cast<uint8_t>(~cartridge[0x2000]));
  WritePort(0x00FF, 0);
  EXPECT_EQ(ReadByte(0xC000), cartridge[0]);
  // Without a cartridge the latch changes nothing.
  Rebuild_Mem();
  WriteByte(0xE000, 0x77);
  WritePort(0x00FF, 0x3C);
  EXPECT_EQ(ReadByte(0xE000), 0x77);
  WritePort(0x00FF, 0);
}

TEST_F(MemoryMap, MappedCartridgeIsReadOnlyEvenWith64K) {
  for (int i = 0; i < 0x4000; ++i) cartridge[i] = static_cast<uint8_t>(i);
  WritePort(0x00FF, 0);
  memtop = 0xFFFF;
  map_cartridge(cartridge, 0x2000);
  WriteByte(0xE000, 0x5C);
  WriteByte(0xFFFF, 0x5C);
  WriteByte(0xC000, 0x3D);
  EXPECT_EQ(ReadByte(0xE000), 0);
  EXPECT_EQ(ReadByte(0xFFFF), 0xFF);
  EXPECT_EQ(cartridge[0], 0);
  EXPECT_EQ(ram[0xE000], 0) << "the RAM behind the cartridge is not written either";
  EXPECT_EQ(ReadByte(0xC000), 0x3D) << "page 6 is still RAM beside an 8K cartridge";
  map_cartridge(cartridge, 0x4000);
  WriteByte(0xC000, 0x11);
  EXPECT_EQ(ReadByte(0xC000), 0);
  EXPECT_EQ(ReadByte(0xBFFF), 0);
  WriteByte(0xBFFF, 0x22);
  EXPECT_EQ(ReadByte(0xBFFF), 0x22);
  // Unmapped, 64K RAM is writable up to the top again.
  unmap_cartridge();
  WriteByte(0xE000, 0x5C);
  WriteByte(0xC000, 0x3D);
  EXPECT_EQ(ram[0xE000], 0x5C);
  EXPECT_EQ(ram[0xC000], 0x3D);
}

TEST_F(MemoryMap, PagesStayReadableAfterShutdownFreesRam) {
  memory_free();
  EXPECT_EQ(ram, nullptr);
  for (int page = 0; page < 8; ++page) {
    ASSERT_NE(Page_RAM[page], nullptr);
    EXPECT_EQ(FetchOpcode(static_cast<uint16_t>(page * 0x2000 + 0x1FFF)), 0);
  }
  memory_allocate();
  EXPECT_EQ(ReadByte(0x3000), 0);
}

}  // namespace
