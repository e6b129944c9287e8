// Raster composition: cell positions in both standards, blanking, colours and glyph bits,
// the border character, the vertical-sync flag, whole frames against a pixel oracle, and only
// changed cells drawn again, each when the beam reaches it.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>

#include "core/frame.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/roms.h"
#include "video/raster.h"
#include "z80/bus.h"

namespace {

// The palette as the hardware documentation lists it (red, green, blue).
const uint8_t palette_rgb[16][3] = {
    {0x10, 0x10, 0x10}, {0xF0, 0x10, 0x10}, {0x10, 0xF0, 0x10}, {0xF0, 0xE8, 0x10},
    {0x21, 0x21, 0xDE}, {0xF0, 0x10, 0xF0}, {0x30, 0xC0, 0xC0}, {0xF0, 0xF0, 0xF0},
    {0xC0, 0xC0, 0xC0}, {0x28, 0xA8, 0xA8}, {0xC0, 0x20, 0xC0}, {0x42, 0x10, 0xC8},
    {0xF0, 0xF0, 0x70}, {0x20, 0xC8, 0x40}, {0xA8, 0x20, 0x20}, {0x30, 0x30, 0x30}};

uint32_t colour(int index) {
  return uint32_t(palette_rgb[index][0]) << 16 | uint32_t(palette_rgb[index][1]) << 8 | palette_rgb[index][2];
}

// The picture a frame should leave, pixel by pixel, from the screen geometry alone: 352 x 232
// visible, 16 border pixels left and right, 16 border lines above and below, 40 x 25 cells.
uint32_t glyph_pixel(int y, int p, uint8_t code, uint8_t attr) {
  const uint8_t glyph = CHAR_ROM[code * 8 + (y % 8)];
  return (glyph & (0x80 >> (p % 8))) ? colour(attr >> 4) : colour(attr & 15);
}

uint32_t expected_pixel(int y, int p) {
  const bool border = y < 16 || y >= 216 || p < 16 || p >= 336;
  const int address = border ? 0 : ((y - 16) / 8) * 40 + (p - 16) / 8;
  return glyph_pixel(y, p, ram[0x3000 + address], ram[0x3400 + address]);
}

// Drives the composition as the CPU does: instructions of the given lengths, each followed
// by the composition step, up to the end of one frame, then the frame-end rebase.
void run_frame(const std::vector<uint32_t>& lengths) {
  size_t i = 0;
  while (t_state < frame_length) {
    t_state += lengths[i++ % lengths.size()];
    byte_to_display(static_cast<int32_t>(t_state - screen_t_state));
  }
  t_state -= frame_length;
  screen_t_state -= frame_length;
}

class Raster : public ::testing::Test {
 protected:
  void SetUp() override {
    memory_allocate();
    Rebuild_Mem();
    set_timing(0);
    t_state = screen_t_state = 0;
    clear_display_buffer();
  }
  void TearDown() override { set_timing(0); }
  uint32_t pixel(int y, int p) { return display_buffer[y * 352 + p]; }
  int wrong_pixels() {
    int wrong = 0;
    for (int y = 0; y < 232; ++y)
      for (int p = 0; p < 352; ++p)
        if (pixel(y, p) != expected_pixel(y, p) && ++wrong <= 3) ADD_FAILURE() << "pixel " << p << " of line " << y;
    return wrong;
  }
  // Runs instructions of 4 T-states up to T-state t of the frame.
  void run_to(uint32_t t) {
    while (t_state < t) {
      t_state += 4;
      byte_to_display(static_cast<int32_t>(t_state - screen_t_state));
    }
  }
};

TEST_F(Raster, PaletteMatchesTheDocumentedColours) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(AquaColours[i], colour(i)) << i;
}

TEST_F(Raster, ClassificationOfRasterPositions) {
  // PAL: 229 T-states per line; the first active cell is line 16, x = 8.
  EXPECT_EQ(get_byte_position(16 * 229 + 8), 0);
  EXPECT_EQ(get_byte_position(3672), 0);
  EXPECT_EQ(get_byte_position(3671), 1);
  EXPECT_EQ(get_byte_position(16 * 229 + 167), 0);
  EXPECT_EQ(get_byte_position(16 * 229 + 168), 1);
  EXPECT_EQ(get_byte_position(176), 255);
  EXPECT_EQ(get_byte_position(175), 2);
  EXPECT_EQ(get_byte_position(53128), 255);
  EXPECT_EQ(get_byte_position(231 * 229), 2);
  EXPECT_EQ(get_byte_position(215 * 229 + 100), 0);
  EXPECT_EQ(get_byte_position(216 * 229 + 100), 2);
  EXPECT_EQ(display_tstate[3672], 0);
  EXPECT_EQ(frame_length, 71590u);
  EXPECT_EQ(frame_period_ns(), 19999748u);
  // NTSC: 227 per line, so the same cell comes earlier.
  set_timing(1);
  EXPECT_EQ(frame_length, 59659u);
  EXPECT_EQ(tstates_per_line, 227u);
  EXPECT_EQ(frame_period_ns(), 16666643u);
  EXPECT_EQ(get_byte_position(3640), 0);
  EXPECT_EQ(get_byte_position(3639), 1);
  EXPECT_EQ(display_tstate[3640], 0);
  EXPECT_EQ(display_tstate[3672], 0) << "line 16, x = 40 under NTSC";
}

TEST_F(Raster, CellColoursAndGlyphBits) {
  ram[0x3000] = 0x20;
  ram[0x3400] = 0x71;
  CHAR_ROM[0x20 * 8 + 0] = 0x81;  // line 16 uses glyph row 0
  draw_byte(3672);
  const uint32_t* cell = display_buffer + 16 * 352 + 16;
  EXPECT_EQ(cell[0], 0xF0F0F0u);
  for (int k = 1; k < 7; ++k) EXPECT_EQ(cell[k], 0xF01010u) << k;
  EXPECT_EQ(cell[7], 0xF0F0F0u);
  EXPECT_EQ(cell[8], 0u) << "the neighbouring cell is not drawn";
  EXPECT_EQ(cell[-1], 0u);
  // Blanking and out-of-frame positions draw nothing and do not fault.
  const uint32_t before = std::accumulate(display_buffer, display_buffer + 352 * 232, 0u);
  for (uint32_t t : {176u, 53128u, 71589u, 71590u, 80000u, 0xFFFFFFF0u}) {
    draw_byte(t);
    update_border(t);
  }
  EXPECT_EQ(std::accumulate(display_buffer, display_buffer + 352 * 232, 0u), before);
  // A border position is not an active cell.
  draw_byte(3671);
  EXPECT_EQ(pixel(16, 14), 0u);
}

TEST_F(Raster, BorderUsesTheFirstScreenCell) {
  ram[0x3000] = 0x41;
  ram[0x3400] = 0x3C;
  for (int row = 0; row < 8; ++row) CHAR_ROM[0x41 * 8 + row] = static_cast<uint8_t>(0x80 >> row);
  update_border(5 * 229 + 20);  // line 5, cell 5: glyph row 5
  for (int k = 0; k < 8; ++k) EXPECT_EQ(pixel(5, 40 + k), k == 5 ? colour(3) : colour(12)) << k;
  update_border(100 * 229 + 170);  // right border, line 100: glyph row 4
  for (int k = 0; k < 8; ++k) EXPECT_EQ(pixel(100, 336 + k), k == 4 ? colour(3) : colour(12)) << k;
  // Changing the first cell changes the border and the top-left character together.
  ram[0x3000] = 0x42;
  CHAR_ROM[0x42 * 8] = 0xFF;
  CHAR_ROM[0x42 * 8 + 5] = 0xFF;
  run_frame({4});
  EXPECT_EQ(pixel(16, 16), colour(3));
  EXPECT_EQ(pixel(0, 0), colour(3));
  EXPECT_EQ(pixel(5, 40), colour(3));
  EXPECT_EQ(pixel(224, 351), colour(3));
}

TEST_F(Raster, VsyncFollowsTheActiveLines) {
  // Read port 0xFD as a program would while the raster runs through the frame.
  auto flag_at_line = [](uint32_t line) {
    while (t_state / tstates_per_line < line) {
      t_state += 4;
      byte_to_display(static_cast<int32_t>(t_state - screen_t_state));
    }
    return ReadPort(0xFD);
  };
  for (uint8_t standard : {0, 1}) {
    SCOPED_TRACE(int(standard));
    set_timing(standard);
    t_state = screen_t_state = 0;
    vsync = 1;
    EXPECT_EQ(flag_at_line(5), 0);
    EXPECT_EQ(flag_at_line(16), 0) << "nothing of line 16 drawn yet";
    EXPECT_EQ(flag_at_line(17), 1);
    EXPECT_EQ(flag_at_line(100), 1);
    EXPECT_EQ(flag_at_line(216), 1);
    EXPECT_EQ(flag_at_line(217), 0);
    EXPECT_EQ(flag_at_line(250), 0);
    EXPECT_EQ(flag_at_line(frame_length / tstates_per_line), 0);
  }
}

TEST_F(Raster, WholeFramesMatchThePixelOracle) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 2048; ++i) CHAR_ROM[i] = static_cast<uint8_t>(rng());
  for (int i = 0; i < 0x800; ++i) ram[0x3000 + i] = static_cast<uint8_t>(rng());
  // Instruction lengths of every alignment, as real code produces them.
  const std::vector<std::vector<uint32_t>> programs = {{4}, {7, 11, 4, 13, 10, 19, 6, 23, 5}, {21, 16, 8}};
  for (uint8_t standard : {0, 1}) {
    for (const auto& lengths : programs) {
      SCOPED_TRACE(testing::Message() << "standard " << int(standard) << " first length " << lengths[0]);
      set_timing(standard);
      clear_display_buffer();
      t_state = screen_t_state = 0;
      run_frame(lengths);
      EXPECT_EQ(wrong_pixels(), 0);
    }
  }
}

TEST_F(Raster, MidFrameWriteShowsFromTheRasterPosition) {
  ram[0x3405] = 0x71;
  std::memset(CHAR_ROM, 0, 8);      // code 0 empty
  std::memset(CHAR_ROM + 8, 0xFF, 8);  // code 1 solid
  // Compose up to the middle of line 19 (row 0 of the text), then the CPU writes column 5.
  run_to(19 * 229 + 120);
  z80bus::write(0x3005, 0x01);
  run_frame({4});
  for (int line = 16; line < 24; ++line)
    EXPECT_EQ(pixel(line, 16 + 5 * 8 + 3), line <= 19 ? colour(1) : colour(7)) << line;
}

TEST_F(Raster, OnlyChangedCellsAreDrawnAgainEachWhenTheBeamReachesIt) {
  std::mt19937 rng(99);
  for (int i = 0; i < 2048; ++i) CHAR_ROM[i] = static_cast<uint8_t>(rng());
  for (int i = 0; i < 0x800; ++i) ram[0x3000 + i] = static_cast<uint8_t>(rng());
  run_frame({7, 4, 11});
  run_frame({7, 4, 11});
  // A still screen: no cell is drawn again, so a pixel painted over stays, and nothing is new.
  picture_presented();
  display_buffer[100 * 352 + 100] = 0x123456;
  run_frame({7, 4, 11});
  EXPECT_EQ(pixel(100, 100), 0x123456u);
  EXPECT_FALSE(picture_changed());
  display_buffer[100 * 352 + 100] = expected_pixel(100, 100);

  // The CPU writes with the beam on line 100 at x = 120: row 10 (lines 96-103) column 5 has
  // been passed down to line 100, row 20 is all ahead, row 2 all behind.
  const uint8_t old_10 = ram[0x3000 + 405], old_2 = ram[0x3400 + 87];
  run_to(100 * 229 + 120);
  z80bus::write(0x3000 + 405, static_cast<uint8_t>(old_10 ^ 0x55));
  z80bus::write(0x3000 + 803, static_cast<uint8_t>(ram[0x3000 + 803] ^ 0x0F));
  z80bus::write(0x3400 + 87, static_cast<uint8_t>(old_2 ^ 0x33));
  run_frame({7, 4, 11});
  for (int k = 0; k < 8; ++k) {
    for (int line = 96; line < 104; ++line)
      EXPECT_EQ(pixel(line, 56 + k), line <= 100 ? glyph_pixel(line, k, old_10, ram[0x3400 + 405])
                                                 : expected_pixel(line, 56 + k)) << line;
    for (int line = 176; line < 184; ++line) EXPECT_EQ(pixel(line, 40 + k), expected_pixel(line, 40 + k)) << line;
    for (int line = 32; line < 40; ++line)
      EXPECT_EQ(pixel(line, 72 + k), glyph_pixel(line, k, ram[0x3000 + 87], old_2)) << line;
  }
  EXPECT_EQ(changed_first_line, 101u);
  EXPECT_EQ(changed_last_line, 183u);
  run_frame({7, 4, 11});
  EXPECT_EQ(wrong_pixels(), 0) << "the next frame shows every write whole";

  // What changes outside the CPU between frames (a loader, a ROM switch, the border's cell)
  // shows from the next frame on.
  ram[0x3000 + 999] ^= 0xFF;
  ram[0x3400] ^= 0x11;
  CHAR_ROM[0x41 * 8 + 3] ^= 0xFF;
  t_state = screen_t_state = 0;  // no cell of line 0 left for the frame after
  run_frame({7, 4, 11});
  EXPECT_EQ(wrong_pixels(), 0);
}

}  // namespace
