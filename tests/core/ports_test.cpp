// The port map: keyboard column select, speaker bit, sound generator ports and unassigned ports.
#include <gtest/gtest.h>

#include "ch376/ch376.h"
#include "core/ports.h"
#include "input/keyboard.h"
#include "loading/loader.h"
#include "sound/ay.h"
#include "video/raster.h"

namespace {

// What the matrix should answer for a column mask: the AND of every selected column
// (address bit 8 + i low selects column i).
uint8_t matrix_oracle(uint8_t select) {
  uint8_t result = 0xFF;
  for (int column = 0; column < 8; ++column)
    if (!(select & (1 << column))) result &= keyboard_map[column];
  return result;
}

TEST(Ports, KeyboardColumnsAreSelectedByTheHighAddressByte) {
  ch376 = nullptr;
  // One key down in each column, each in a different row, so every column is told apart.
  for (int column = 0; column < 8; ++column)
    keyboard_map[column] = static_cast<uint8_t>(~(1 << column));
  keyboard_map[6] = 0xFF & ~0x21;
  keyboard_map[7] = 0xFF & ~0x12;
  EXPECT_EQ(ReadPort(0xFEFF), keyboard_map[0]);
  EXPECT_EQ(ReadPort(0x7FFF), keyboard_map[7]);
  EXPECT_EQ(ReadPort(0xFCFF), keyboard_map[0] & keyboard_map[1]);
  EXPECT_EQ(ReadPort(0xFFFF), 0xFF);
  EXPECT_EQ(ReadPort(0x01FF), matrix_oracle(0x01));
  EXPECT_EQ(ReadPort(0x00FF), 0xC0) << "all columns: rows 0-5 each have a key down somewhere";
  for (int select = 0; select < 256; ++select)
    ASSERT_EQ(ReadPort(static_cast<uint16_t>(select << 8 | 0xFF)), matrix_oracle(static_cast<uint8_t>(select))) << select;

  ClearPorts();
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF);
  for (int select = 0; select < 256; ++select)
    ASSERT_EQ(ReadPort(static_cast<uint16_t>(select << 8 | 0xFF)), 0xFF);
}

TEST(Ports, SpeakerBitIsTheInverseOfBitZero) {
  const struct { uint8_t written, level; } cases[] = {{0x00, 1}, {0x01, 0}, {0xFF, 0}, {0xFE, 1}, {0x80, 1}, {0x03, 0}};
  for (auto c : cases) {
    WritePort(0xFC, c.written);
    EXPECT_EQ(earbit, c.level) << int(c.written);
    EXPECT_EQ(PORTxxFC, c.written);
  }
  WritePort(0x12FC, 0);  // the high byte does not matter
  EXPECT_EQ(earbit, 1);
  caq_loaded = false;
  EXPECT_EQ(ReadPort(0xFC), 0xFF) << "no cassette inserted";
}

TEST(Ports, UnassignedPortsReadFFAndIgnoreWrites) {
  ch376 = nullptr;
  ClearPorts();
  const uint8_t fc = PORTxxFC, fd = PORTxxFD, level = earbit;
  for (int port : {0x00, 0x01, 0x3F, 0x40, 0x41, 0x42, 0x80, 0xF5, 0xF8, 0xFB, 0xFE}) {
    EXPECT_EQ(ReadPort(static_cast<uint16_t>(port)), 0xFF) << port;
    WritePort(static_cast<uint16_t>(port), 0x5A);
  }
  EXPECT_EQ(PORTxxFE, 0x5A) << "0xFE keeps a latch all the same";
  EXPECT_EQ(PORTxxFC, fc);
  EXPECT_EQ(PORTxxFD, fd);
  EXPECT_EQ(earbit, level);
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF);
  WritePort(0xFF, 0x12);
  EXPECT_EQ(PORTxxFF, 0x12);
  WritePort(0xFD, 0x34);
  EXPECT_EQ(PORTxxFD, 0x34);
}

TEST(Ports, SoundGeneratorPortsAndVsync) {
  AY_init();
  WritePort(0x34F7, 0);           // select R0 through any high byte
  EXPECT_EQ(snd.reg_select, 0);
  WritePort(0x12F6, 0xA5);
  EXPECT_EQ(snd.regs[0], 0xA5);
  EXPECT_EQ(ReadPort(0x55F6), 0xA5);
  snd.regs[14] = 0x5A;
  WritePort(0xF7, 7);
  EXPECT_EQ(ReadPort(0xF7), 0x5A) << "0xF7 reads R14 whatever is selected";
  vsync = 1;
  EXPECT_EQ(ReadPort(0xFD), 1);
  vsync = 0;
  EXPECT_EQ(ReadPort(0x80FD), 0);
}

}  // namespace
