// The AY-3-8910 model: register widths, tone periods, the sixteen envelope shapes, the mixer,
// the volume table and the noise sequence, checked against the chip's documented behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/ports.h"
#include "input/joystick.h"
#include "sound/audio_out.h"
#include "sound/ay.h"

namespace {

void write_reg(uint8_t reg, uint8_t value) {
  snd.reg_select = reg;
  AY_reg_write(value);
}

uint8_t read_reg(uint8_t reg) {
  snd.reg_select = reg;
  return AY_reg_read();
}

void tick(int n = 1) {
  for (int i = 0; i < n; ++i) {
    snd.ay_acc += 16;
    update_AY_state();
  }
}

class AyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    snd_aysound = 1;
    joystick_enabled = 0;
    AY_init();
  }
};

TEST_F(AyTest, RegistersKeepTheChipsWidthsAndThePortsIgnoreWrites) {
  // Widths of R0..R13 on the chip: coarse tone periods and the shape 4 bits, noise period and
  // amplitudes 5 bits, the rest 8.
  const uint8_t kept_of_ff[14] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F,
                                  0xFF, 0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F};
  for (uint8_t reg = 0; reg < 14; ++reg) {
    write_reg(reg, 0xFF);
    EXPECT_EQ(read_reg(reg), kept_of_ff[reg]) << "R" << int(reg);
    write_reg(reg, 0x5A);
    EXPECT_EQ(read_reg(reg), 0x5A & kept_of_ff[reg]) << "R" << int(reg);
  }
  // The I/O ports start at 0xFF and no write reaches them.
  EXPECT_EQ(read_reg(14), 0xFF);
  write_reg(14, 0x12);
  write_reg(15, 0x34);
  EXPECT_EQ(read_reg(14), 0xFF);
  EXPECT_EQ(read_reg(15), 0xFF);
  // Only the low four bits of the select byte count: 0x1E is R14, 0x23 is R3.
  EXPECT_EQ(read_reg(0x1E), 0xFF);
  write_reg(0x23, 0x07);
  EXPECT_EQ(snd.regs[3], 0x07);
  EXPECT_EQ(read_reg(3), 0x07);
}

TEST_F(AyTest, VolumeTableIsTheChipsLevelsScaledBy125Over128) {
  const uint16_t chip[16] = {0, 54, 79, 111, 167, 255, 351, 559, 671, 1071, 1471, 1839, 2327, 2879, 3455, 4095};
  const uint16_t scaled[16] = {0, 52, 77, 108, 163, 249, 342, 545, 655, 1045, 1436, 1795, 2272, 2811, 3374, 3999};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(AY_spec_volumes[i], chip[i]) << i;
    EXPECT_EQ(AY_volumes[i], scaled[i]) << i;
  }
}

// The chip's tone counter toggles the output every `period` ticks (clock / (16 x period)), and a
// period of 0 toggles on every tick, as 1 does.
TEST_F(AyTest, ToneFlipFlopChangesEveryPeriodTicks) {
  for (uint16_t period : {0, 1, 100, 4095}) {
    AY_init();
    // Channel A gets the period under test; B and C get other periods so that a mix-up of the
    // register pairs shows.
    write_reg(0, period & 0xFF);
    write_reg(1, period >> 8);
    write_reg(2, 7);
    write_reg(4, 0);
    write_reg(5, 1);  // C: 256
    std::vector<long> flips[3];
    uint8_t last[3] = {0, 0, 0};
    const long ticks = 3L * (period + 1) + 600;
    for (long t = 1; t <= ticks; ++t) {
      tick();
      for (int ch = 0; ch < 3; ++ch) {
        if (snd.tone_out[ch] != last[ch]) flips[ch].push_back(t);
        last[ch] = snd.tone_out[ch];
      }
    }
    const long expect_a = std::max<long>(period, 1);
    ASSERT_GE(flips[0].size(), 3u) << period;
    EXPECT_EQ(flips[0][0], expect_a) << period;
    for (size_t i = 1; i < flips[0].size(); ++i) EXPECT_EQ(flips[0][i] - flips[0][i - 1], expect_a) << period;
    ASSERT_GE(flips[1].size(), 3u);
    for (size_t i = 1; i < flips[1].size(); ++i) EXPECT_EQ(flips[1][i] - flips[1][i - 1], 7);
    ASSERT_GE(flips[2].size(), 2u);
    for (size_t i = 1; i < flips[2].size(); ++i) EXPECT_EQ(flips[2][i] - flips[2][i - 1], 256);
  }
  // The coarse register's upper bits do not belong to the period: 0xF1 is period 0x100.
  AY_init();
  write_reg(1, 0xF1);
  tick(256);
  EXPECT_EQ(snd.tone_out[0], 1);
  tick(255);
  EXPECT_EQ(snd.tone_out[0], 1);
  tick(1);
  EXPECT_EQ(snd.tone_out[0], 0);
  // A count at the top of its range (a state saved by an earlier version, where counts ran one
  // further) ends the running period on the next tick instead of wrapping around.
  write_reg(0, 0xFF);
  write_reg(1, 0x0F);
  snd.tone_count[0] = 0x0FFF;
  tick();
  EXPECT_EQ(snd.tone_out[0], 1);
}

// Level after writing R13 followed by the level after each of 40 envelope steps, one hex digit
// per level, written from the chip's shape descriptions.
struct ShapeExpectation {
  uint8_t shape;
  const char* levels;
};
const ShapeExpectation shape_table[] = {
    // 0-3 and 9: fall to silence and stay silent.
    {0, "FEDCBA98765432100000000000000000000000000"},
    {1, "FEDCBA98765432100000000000000000000000000"},
    {2, "FEDCBA98765432100000000000000000000000000"},
    {3, "FEDCBA98765432100000000000000000000000000"},
    {9, "FEDCBA98765432100000000000000000000000000"},
    // 4-7 and 15: rise to full, then drop to silence and stay there.
    {4, "0123456789ABCDEF0000000000000000000000000"},
    {5, "0123456789ABCDEF0000000000000000000000000"},
    {6, "0123456789ABCDEF0000000000000000000000000"},
    {7, "0123456789ABCDEF0000000000000000000000000"},
    {15, "0123456789ABCDEF0000000000000000000000000"},
    // 8: falling saw. 12: rising saw.
    {8, "FEDCBA9876543210FEDCBA9876543210FEDCBA987"},
    {12, "0123456789ABCDEF0123456789ABCDEF012345678"},
    // 10: triangle starting downwards, each end held for two steps.
    {10, "FEDCBA98765432100123456789ABCDEFFEDCBA987"},
    // 14: triangle starting upwards.
    {14, "0123456789ABCDEFFEDCBA9876543210012345678"},
    // 11: fall, then held at full. 13: rise, then held at full.
    {11, "FEDCBA9876543210FFFFFFFFFFFFFFFFFFFFFFFFF"},
    {13, "0123456789ABCDEFFFFFFFFFFFFFFFFFFFFFFFFFF"},
};

std::string envelope_levels(uint8_t shape, int steps, int ticks_per_step) {
  write_reg(13, shape);
  std::string seen;
  auto digit = [](int level) { return "0123456789ABCDEF"[level & 15]; };
  seen += digit(snd.env_volume);
  for (int i = 0; i < steps; ++i) {
    tick(ticks_per_step);
    seen += digit(snd.env_volume);
  }
  return seen;
}

TEST_F(AyTest, EveryEnvelopeShapeFollowsItsLevelSequence) {
  for (const ShapeExpectation& e : shape_table) {
    ASSERT_EQ(std::string(e.levels).size(), 41u) << "table row for shape " << int(e.shape);
    AY_init();
    // Period 0: a step on every envelope tick, which is every second generator tick.
    EXPECT_EQ(envelope_levels(e.shape, 40, 2), e.levels) << "shape " << int(e.shape);
  }
}

TEST_F(AyTest, EnvelopePeriodAndRestart) {
  // Period 2 (R12:R11 = 0x0002): a step every two envelope ticks, four generator ticks.
  write_reg(11, 2);
  write_reg(12, 0);
  EXPECT_EQ(envelope_levels(12, 5, 4), "012345");
  tick(3);
  EXPECT_EQ(snd.env_volume, 5);
  tick(1);
  EXPECT_EQ(snd.env_volume, 6);
  // The coarse register counts 256 envelope ticks: period 0x0100 steps every 256 of them.
  write_reg(11, 0);
  write_reg(12, 1);
  write_reg(13, 13);
  tick(2 * 256 - 2);
  EXPECT_EQ(snd.env_volume, 0);
  tick(2);
  EXPECT_EQ(snd.env_volume, 1);
  // Writing the same shape again restarts it from the beginning.
  write_reg(11, 0);
  write_reg(12, 0);
  write_reg(13, 13);
  tick(20);
  EXPECT_EQ(snd.env_volume, 10);
  write_reg(13, 13);
  EXPECT_EQ(snd.env_volume, 0);
  EXPECT_EQ(snd.env_state, ATTACK);
  tick(2);
  EXPECT_EQ(snd.env_volume, 1);
  // The same for the envelope count at the top of its range.
  write_reg(11, 0xFF);
  write_reg(12, 0xFF);
  write_reg(13, 8);
  snd.env_count = 0xFFFF;
  tick(2);
  EXPECT_EQ(snd.env_volume, 14);
}

// The machine runs the ticks in batches (per sample, before a register write, or after a long
// silence); the generator must end exactly where ticking one at a time leaves it, whatever the
// registers.
TEST_F(AyTest, BatchedTicksEqualSingleTicks) {
  std::mt19937 random(7);
  AYState batched = snd;
  for (int round = 0; round < 4000; ++round) {
    // Short periods and every envelope shape, so that batches cross flips and steps.
    const uint8_t reg = static_cast<uint8_t>(random() % 14);
    const uint8_t value = static_cast<uint8_t>(reg == 13 ? random() % 16 : reg == 6 || reg % 2 ? random() % 4 : random() % 24);
    // Now and then a run far longer than the noise register's and the envelope's cycles, as a
    // silent generator owes.
    const uint32_t ticks = round % 1000 == 999 ? 700000 + random() % 1000 : random() % 12;
    AYState single = snd;
    for (uint32_t i = 0; i < ticks; ++i) tick();
    single = snd;
    snd = batched;
    AY_advance(ticks);
    const auto counters = [](const AYState& a) {
      return std::vector<uint64_t>{a.noise_out, a.env_volume, a.noise_count, a.noise_period,
                                   static_cast<uint64_t>(a.env_state), a.env_phase, a.tone_out[0], a.tone_out[1],
                                   a.tone_out[2], a.tone_count[0], a.tone_count[1], a.tone_count[2], a.env_count,
                                   a.noise_state[0], a.noise_state[1], a.ay_acc};
    };
    ASSERT_EQ(counters(snd), counters(single)) << "round " << round << ", " << ticks << " ticks";
    write_reg(reg, value);
    batched = snd;
  }
}

TEST_F(AyTest, FrozenWhenAySoundIsOff) {
  write_reg(13, 8);
  snd_aysound = 0;
  snd.ay_acc = 16 * 100 + 20;
  for (int i = 0; i < 100; ++i) update_AY_state();
  EXPECT_EQ(snd.ay_acc, 20u);  // the accumulator is still consumed
  EXPECT_EQ(snd.env_volume, 15);
  EXPECT_EQ(snd.tone_out[0], 0);
  EXPECT_EQ(snd.tone_count[0], 0);
  snd_aysound = 1;
  tick(2);
  EXPECT_EQ(snd.tone_out[0], 0);
  EXPECT_EQ(snd.env_volume, 14);
}

TEST_F(AyTest, MixerGatesToneAndNoiseAndPicksTheLevel) {
  struct Case {
    uint8_t mixer, amplitude, tone, noise, env;
    uint16_t level;
  };
  // Levels are twice the scaled volume table: 15 -> 7998, 7 -> 1090, 3 -> 216.
  const Case cases[] = {
      {0x09, 15, 0, 0, 0, 7998},   // tone and noise switched off: always on
      {0x09, 0, 1, 1, 0, 0},       // always on, but at amplitude 0
      {0x00, 15, 1, 1, 0, 7998},   // both enabled and both high
      {0x00, 15, 1, 0, 0, 0},      // both enabled, noise low
      {0x00, 15, 0, 1, 0, 0},      // both enabled, tone low
      {0x08, 15, 1, 0, 0, 7998},   // tone only, tone high
      {0x08, 15, 0, 1, 0, 0},      // tone only, tone low
      {0x01, 15, 0, 1, 0, 7998},   // noise only, noise high
      {0x01, 15, 1, 0, 0, 0},      // noise only, noise low
      {0x09, 0x10, 0, 0, 7, 1090}, // envelope mode takes the envelope level
      {0x09, 0x1F, 0, 0, 3, 216},  // ... whatever the low bits say
      {0x09, 0x27, 0, 0, 0, 1090}, // bits above 4 are not envelope mode
  };
  for (const Case& c : cases) {
    snd.noise_out = c.noise;
    snd.env_volume = c.env;
    EXPECT_EQ(mix_output(c.mixer, c.amplitude, c.tone), c.level)
        << "mixer " << int(c.mixer) << " amplitude " << int(c.amplitude) << " tone " << int(c.tone)
        << " noise " << int(c.noise);
  }
  // The whole generator: R7 = 0x3F (all off, so always on), amplitudes 15, 0, 7.
  write_reg(7, 0x3F);
  write_reg(8, 15);
  write_reg(9, 0);
  write_reg(10, 7);
  get_AY_sample();
  EXPECT_EQ(snd.chan_level[0], 7998);
  EXPECT_EQ(snd.chan_level[1], 0);
  EXPECT_EQ(snd.chan_level[2], 1090);
  // Enabling B's tone (bit 1 clear) with its flip-flop low silences only B.
  write_reg(9, 15);
  write_reg(7, 0x3D);
  get_AY_sample();
  EXPECT_EQ(snd.chan_level[0], 7998);
  EXPECT_EQ(snd.chan_level[1], 0);
  snd.tone_out[1] = 1;
  get_AY_sample();
  EXPECT_EQ(snd.chan_level[1], 7998);
}

TEST_F(AyTest, NoiseIsAMaximalLength17BitSequenceAtHalfTheToneRate) {
  EXPECT_EQ(snd.noise_out, 0);
  write_reg(6, 0);  // the shortest noise period
  constexpr long P = (1L << 17) - 1;
  std::vector<uint8_t> bits(2 * P);
  long changed_inside_a_pair = 0;
  for (long i = 0; i < 2 * P; ++i) {
    // The noise register shifts at most once per two ticks (half the rate of a period-0 tone).
    tick();
    const uint8_t first = snd.noise_out;
    tick();
    bits[i] = snd.noise_out;
    changed_inside_a_pair += first != bits[i];
    ASSERT_LE(bits[i], 1);
  }
  EXPECT_EQ(changed_inside_a_pair, 0);
  long mismatches = 0, ones = 0;
  for (long i = 0; i < P; ++i) {
    mismatches += bits[i] != bits[i + P];
    ones += bits[i];
  }
  // Repeats after 2^17 - 1 shifts; as 2^17 - 1 is prime and the sequence is not constant, no
  // shorter period is possible. A maximal sequence holds 2^16 ones and 2^16 - 1 zeros.
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(ones, 1L << 16);
  // Its longest run of zeros is 16 (the register never holds 17 zeros).
  long longest_zero_run = 0, run = 0;
  for (long i = 0; i < P; ++i) {
    run = bits[i] ? 0 : run + 1;
    longest_zero_run = std::max(longest_zero_run, run);
  }
  EXPECT_EQ(longest_zero_run, 16);
}

// The chip shifts its noise register every 2 R6 ticks of the tone clock, with R6 = 0 as 1.
TEST_F(AyTest, NoiseShiftsEveryTwiceR6Ticks) {
  for (const uint8_t r6 : {0, 1, 2, 31}) {
    SCOPED_TRACE(int(r6));
    write_reg(6, r6);
    for (int i = 0; i < 200; ++i) tick();  // let the running period end
    const long expected = 2L * (r6 ? r6 : 1);
    uint64_t last = snd.noise_state[0];
    long since = 0, shifts = 0;
    while (shifts < 40) {
      tick();
      ++since;
      if (snd.noise_state[0] == last) continue;
      last = snd.noise_state[0];
      if (shifts++ > 0) {
        ASSERT_EQ(since, expected);
      }
      since = 0;
    }
  }
}

}  // namespace
