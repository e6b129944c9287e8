// The CPU inside the machine: opcode fetches through the page table against data reads through
// the memory map, the common end after every instruction (raster and sound clocking), the
// frame contract and the cassette hook with a real cassette inserted.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "core/frame.h"
#include "core/memory.h"
#include "loading/loader.h"
#include "sound/audio_out.h"
#include "z80/z80.h"

namespace {

class Z80Machine : public ::testing::Test {
 protected:
  void SetUp() override {
    memory_allocate();
    std::memset(AQUA_ROM, 0, sizeof AQUA_ROM);
    model = 0;
    ram_size = 0;
    memtop = max_memtop[0];
    Rebuild_Mem();
    set_timing(0);
    Reset_Z80();
    speed = 1;
    play_audio = 0;
    caq_loaded = false;
  }
  void TearDown() override {
    speed = 0;
    caq_loaded = false;
  }
  // Writes straight into the pages, as a cartridge or the ROM image would hold the bytes.
  void place(uint16_t address, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) {
      Page_RAM[address >> 13][address & 0x1FFF] = b;
      ++address;
    }
  }
};

TEST_F(Z80Machine, OpcodesComeFromThePagesAndOperandsFromTheMemoryMap) {
  // Above the RAM top the page still holds bytes: the opcode fetch sees them, the operand read
  // through the memory map sees absent memory (0).
  place(0x5000, {0x3E, 0x77});  // LD A,0x77
  z80.pc = 0x5000;
  z80.af.b.h = 0x55;
  One_Z80_Instruction();
  EXPECT_EQ(z80.pc, 0x5002);
  EXPECT_EQ(z80.af.b.h, 0x00);

  // Writes to the system ROM are lost; writes to RAM land.
  place(0x3900, {0x32, 0x00, 0x10, 0x32, 0x00, 0x3C});  // LD (0x1000),A; LD (0x3C00),A
  z80.pc = 0x3900;
  z80.af.b.h = 0xA5;
  One_Z80_Instruction();
  One_Z80_Instruction();
  EXPECT_EQ(AQUA_ROM[0x1000], 0x00);
  EXPECT_EQ(ReadByte(0x3C00), 0xA5);
}

TEST_F(Z80Machine, CommonEndDrawsAfterEveryInstructionAndClocksSoundOnlyInRealTime) {
  place(0x4000, {0x00, 0xE3, 0x00, 0x00});  // NOP; EX (SP),HL; NOP; NOP
  z80.pc = 0x4000;
  z80.sp = 0x6000;
  play_audio = 1;
  snd.sample_acc = 0;
  snd.ay_acc = 0;
  speed = 1;
  One_Z80_Instruction();
  EXPECT_EQ(screen_t_state, t_state);
  EXPECT_EQ(snd.sample_acc, 0);  // unlimited speed: no sound accounting
  EXPECT_EQ(snd.ay_acc, 0u);
  speed = 0;
  One_Z80_Instruction();  // 19 T-states: one AY tick due (19 > 16), no sample yet (19 < 81)
  EXPECT_EQ(frame_t_state, 19u);
  EXPECT_EQ(screen_t_state, t_state);
  EXPECT_EQ(snd.sample_acc, 19);
  EXPECT_EQ(snd.ay_acc, 19u);
  AY_catch_up();
  EXPECT_EQ(snd.ay_acc, 3u);
  play_audio = 0;
  One_Z80_Instruction();
  EXPECT_EQ(snd.sample_acc, 19);
  EXPECT_EQ(t_state, 27u);
}

TEST_F(Z80Machine, InstructionCrossingTheFrameEndCarriesItsExcess) {
  place(0x4000, {0xE3, 0x00});  // EX (SP),HL starting one T-state before the frame ends
  z80.pc = 0x4000;
  z80.sp = 0x6000;
  t_state = screen_t_state = frame_length - 1;
  one_Z80_frame();
  EXPECT_EQ(t_state, 18u);
  EXPECT_EQ(screen_t_state, 18u);
  EXPECT_EQ(z80.pc, 0x4001);  // the frame ran exactly that one instruction
}

TEST_F(Z80Machine, TapeEntryPointWithACassetteInserted) {
  place(0x1C53, {0xCD, 0x00, 0x39});
  uint8_t rom_before[sizeof AQUA_ROM];
  std::memcpy(rom_before, AQUA_ROM, sizeof AQUA_ROM);

  z80.pc = 0x1C53;
  z80.sp = 0x3F00;
  caq_loaded = true;
  One_Z80_Instruction();
  EXPECT_EQ(frame_t_state, 17u);
  EXPECT_EQ(z80.pc, 0x1C54);
  EXPECT_EQ(z80.sp, 0x3F00);
  EXPECT_EQ(ReadByte(0x3EFF), 0x00);
  // The hook rewrites the ROM's tape byte reader; the call's own bytes stay as they were.
  EXPECT_NE(std::memcmp(rom_before, AQUA_ROM, sizeof AQUA_ROM), 0);
  EXPECT_EQ(AQUA_ROM[0x1C53], 0xCD);

  // Without a cassette the same bytes are an ordinary call.
  std::memcpy(AQUA_ROM, rom_before, sizeof AQUA_ROM);
  Reset_Z80();
  caq_loaded = false;
  z80.pc = 0x1C53;
  z80.sp = 0x3F00;
  One_Z80_Instruction();
  EXPECT_EQ(z80.pc, 0x3900);
  EXPECT_EQ(z80.sp, 0x3EFE);
  EXPECT_EQ(ReadByte(0x3EFE), 0x56);
  EXPECT_EQ(ReadByte(0x3EFF), 0x1C);
  EXPECT_EQ(std::memcmp(rom_before, AQUA_ROM, sizeof AQUA_ROM), 0);
}

}  // namespace
