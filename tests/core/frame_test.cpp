// Whole frames of real Z80 code: the T-state overshoot carried from frame to frame, and a
// screen write in the middle of a frame showing from the raster position onwards; the real-time
// pacing of frames.
#include <gtest/gtest.h>

#include <cstring>

#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "video/raster.h"
#include "z80/z80.h"

extern const unsigned char firmware_frame_overshoot[];
extern const unsigned firmware_frame_overshoot_size;
extern const unsigned char firmware_frame_screen[];
extern const unsigned firmware_frame_screen_size;

namespace {

void boot(const unsigned char* program, unsigned size) {
  memory_allocate();
  std::memset(AQUA_ROM, 0, sizeof AQUA_ROM);
  std::memcpy(AQUA_ROM, program, size);
  model = 0;
  Rebuild_Mem();
  set_timing(0);
  Reset_Z80();
  t_state = screen_t_state = 0;
  clear_display_buffer();
}

TEST(Frame, OvershootIsCarriedIntoTheNextFrame) {
  boot(firmware_frame_overshoot, firmware_frame_overshoot_size);
  // Instructions end at 17m + 7 and 17m + 17; frame k ends at the first of those at or past
  // k frame lengths, and what lies past that point stays in t_state.
  auto first_boundary_from = [](uint64_t t) {
    uint64_t m = t / 17, base = 17 * m;
    if (base >= t) return base;
    return base + 7 >= t ? base + 7 : base + 17;
  };
  const uint32_t before = frame_count;
  for (uint64_t k = 1; k <= 6; ++k) {
    one_Z80_frame();
    const uint64_t expected = first_boundary_from(k * 71590) - k * 71590;
    EXPECT_EQ(t_state, expected) << "frame " << k;
    EXPECT_EQ(screen_t_state, t_state) << "frame " << k;
    EXPECT_LT(t_state, 10u);
  }
  EXPECT_EQ(frame_count - before, 6u);
  // The same under NTSC, switched between frames: the carried excess counts there too.
  const uint64_t carried = t_state;
  set_timing(1);
  one_Z80_frame();
  const uint64_t total_pal = 6 * 71590;
  EXPECT_EQ(t_state, first_boundary_from(total_pal + 59659) - total_pal - 59659);
  EXPECT_LE(carried, 10u);
  set_timing(0);
}

TEST(Frame, ScreenWriteAppearsFromTheRasterPositionOfTheWrite) {
  boot(firmware_frame_screen, firmware_frame_screen_size);
  ram[0x3405] = 0x71;  // foreground 7 (white), background 1 (red)
  std::memset(CHAR_ROM, 0, sizeof CHAR_ROM);
  std::memset(CHAR_ROM + 8, 0xFF, 8);  // character 1 solid, character 0 empty
  // The writing instruction: 10 + 7 + (255 * 13 + 8) + 7 + (85 * 13 + 8) T-states precede it.
  const uint32_t write_start = 10 + 7 + 255 * 13 + 8 + 7 + 85 * 13 + 8;
  one_Z80_frame();
  ASSERT_EQ(ReadByte(0x3005), 1);
  const uint32_t white = 0xF0F0F0, red = 0xF01010;
  int old_lines = 0;
  for (uint32_t line = 16; line < 24; ++line) {
    // Column 5 is cell 7 of the line, four T-states from position 28.
    const bool drawn_before_write = line * 229 + 31 < write_start;
    old_lines += drawn_before_write;
    for (int k = 0; k < 8; ++k)
      EXPECT_EQ(display_buffer[line * 352 + 56 + k], drawn_before_write ? red : white) << line;
  }
  EXPECT_EQ(old_lines, 4) << "lines 16 to 19 were drawn before the write";
  // The next frame shows the character whole.
  one_Z80_frame();
  for (uint32_t line = 16; line < 24; ++line) EXPECT_EQ(display_buffer[line * 352 + 60], white) << line;
}

}  // namespace

// Frame times of the 3.579545 MHz clock: 71590 and 59659 T-states, the fraction of a
// nanosecond carried. Expected deadlines are floor(n x frame_length x 10^9 / 3579545).
TEST(Frame, PacingCarriesTheFractionAndForgetsALongStall) {
  set_timing(0);
  pace_deadline_ns = 0;
  const int64_t start = 5000000000;
  EXPECT_EQ(pace_frame(start), 19999748);  // a whole frame from the first call
  for (int frame = 1; frame < 50; ++frame) pace_frame(pace_deadline_ns);
  EXPECT_EQ(pace_deadline_ns - start, 999987428);
  set_timing(1);
  const int64_t ntsc_start = pace_deadline_ns;
  for (int frame = 0; frame < 60; ++frame) pace_frame(pace_deadline_ns);
  EXPECT_EQ(pace_deadline_ns - ntsc_start, 999998603);
  // Three frames late (a dialog was open), the loop starts afresh from now.
  EXPECT_EQ(pace_frame(pace_deadline_ns + 3 * 16666643), 16666643);
  set_timing(0);
}
