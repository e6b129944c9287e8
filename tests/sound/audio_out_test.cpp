// Sample making, the per-instruction clocking, the FIFO and the device-side fill, with the
// headless host behind the seam (its host_audio_wait drains the FIFO).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/frame.h"
#include "core/ports.h"
#include "sound/audio_out.h"
#include "sound/ay.h"
#include "sound/rate_control.h"
#include "sound/sfifo.h"

namespace {

uint16_t staged_sample(int index) {
  return static_cast<uint16_t>(sound_buffer[2 * index] | sound_buffer[2 * index + 1] << 8);
}

class AudioOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_length = 71590;
    frames_per_second = 50;
    speed = 0;
    earbit = 0;
    ASSERT_EQ(sound_setup(), 0);
    play_audio = 1;
    audio_device_paused = false;
  }
  void TearDown() override {
    play_audio = 0;
    rate_control_start(false);
    sound_close();
  }
};

// Samples made over `frames` PAL frames of 4 T-state instructions.
long samples_over(int frames) {
  long samples = 0;
  for (long t = 0; t < 71590L * frames; t += 4) {
    const int64_t before = WriteBufferPos;
    sound_clock(4);
    samples += WriteBufferPos != before;
    if (WriteBufferPos > 8000) WriteBufferPos = 0;
  }
  return samples;
}

// Frames of 16-bit stereo at one level into the FIFO.
void queue_level(int frames, int level) {
  const uint8_t frame[4] = {uint8_t(level), uint8_t(level >> 8), uint8_t(level), uint8_t(level >> 8)};
  for (int i = 0; i < frames; ++i) sfifo_write(&sound_fifo, frame, 4);
}

int left_at(const std::vector<uint8_t>& stream, size_t frame) {
  return static_cast<int16_t>(stream[4 * frame] | stream[4 * frame + 1] << 8);
}

TEST_F(AudioOutTest, DerivedConstantsForBothTimings) {
  // PAL: 71590 x 50 / 44100 = 81.16 -> 81; 71590 / 81 = 883 samples; 4 bytes each.
  EXPECT_EQ(snd.sample_tstates, 81u);
  EXPECT_EQ(snd.ay_tick_tstates, 16u);
  EXPECT_EQ(snd_sub_buffer_size, 3532);
  EXPECT_EQ(sound_fifo.size, 8192);  // 46 ms, whatever the timing
  EXPECT_EQ(snd_sound, 1);
  EXPECT_EQ(snd_stereo, 1);
  EXPECT_EQ(snd_aysound, 1);
  EXPECT_EQ(snd.regs[14], 0xFF);
  // NTSC: 59659 x 60 / 44100 = 81.17 -> 81; 59659 / 81 = 736.
  frame_length = 59659;
  frames_per_second = 60;
  ASSERT_EQ(sound_setup(), 0);
  EXPECT_EQ(snd.sample_tstates, 81u);
  EXPECT_EQ(snd_sub_buffer_size, 2944);
  EXPECT_EQ(sound_fifo.size, 8192);
  // The set-up switches sound on and keeps the stereo and AY settings the file gave.
  snd_sound = snd_stereo = snd_aysound = 0;
  ASSERT_EQ(sound_setup(), 0);
  EXPECT_EQ(snd_sound, 1);
  EXPECT_EQ(snd_stereo + snd_aysound, 0);
  snd_stereo = snd_aysound = 1;
}

TEST_F(AudioOutTest, SampleLevelsFromSpeakerAndChannels) {
  // AY silent (all amplitudes 0), speaker on: every sample 8192, left and right alike.
  earbit = 1;
  for (int i = 0; i < 10; ++i) {
    snd.sample_acc = 100;
    GetSample();
    // A period is 81 T-states, and one more whenever its fraction (0.17) adds up to a whole one.
    EXPECT_TRUE(snd.sample_acc == 19 || snd.sample_acc == 18) << snd.sample_acc;
  }
  ASSERT_EQ(WriteBufferPos, 40);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(staged_sample(i), 8192) << i;
  // Everything at full: 3 x 7998 + 8192.
  WriteBufferPos = 0;
  snd.reg_select = 7; AY_reg_write(0x3F);
  for (uint8_t r = 8; r <= 10; ++r) { snd.reg_select = r; AY_reg_write(15); }
  GetSample();
  EXPECT_EQ(staged_sample(0), 32186);
  EXPECT_EQ(staged_sample(1), 32186);
  // Sound switched off: the samples are still made, at level 0.
  snd_sound = 0;
  WriteBufferPos = 0;
  for (int i = 0; i < 5; ++i) GetSample();
  EXPECT_EQ(WriteBufferPos, 20);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(staged_sample(i), 0);
  // Mono still fills both device channels: the stream keeps its rate.
  snd_sound = 1;
  snd_stereo = 0;
  WriteBufferPos = 0;
  GetSample();
  EXPECT_EQ(WriteBufferPos, 4);
  EXPECT_EQ(staged_sample(0), 32186);
  EXPECT_EQ(staged_sample(1), 32186);
}

TEST_F(AudioOutTest, ClockingMakesSamplesAndTicksAtTheirRates) {
  // A 23 T-state instruction with ay_acc at 10: 33 T-states owed, run as two ticks, 1 left,
  // when a sample or a register write needs the generator.
  snd.ay_acc = 10;
  snd.sample_acc = 0;
  sound_clock(23);
  EXPECT_EQ(snd.ay_acc, 33u);
  AY_catch_up();
  EXPECT_EQ(snd.ay_acc, 1u);
  EXPECT_EQ(snd.sample_acc, 23);
  EXPECT_EQ(WriteBufferPos, 0);
  // At most one sample per instruction, taken once the accumulator exceeds 81.
  snd.sample_acc = 81;
  sound_clock(0);
  EXPECT_EQ(WriteBufferPos, 0);
  sound_clock(1);
  EXPECT_EQ(WriteBufferPos, 4);
  EXPECT_EQ(snd.sample_acc, 1);
  // Unlimited speed or paused audio: nothing moves.
  speed = 1;
  sound_clock(20);
  speed = 0;
  play_audio = 0;
  sound_clock(20);
  play_audio = 1;
  EXPECT_EQ(snd.sample_acc, 1);
  EXPECT_EQ(WriteBufferPos, 4);
  // Over one PAL frame of 4 T-state instructions: 44,100 samples a second of the CPU clock and
  // 71590 / 16 ticks, give or take the accumulators' remainders.
  AY_init();
  snd.sample_tstates = 81;
  snd.reg_select = 0; AY_reg_write(0);  // tone period 0: one flip per tick
  WriteBufferPos = 0;
  long flips = 0, samples = 0;
  uint8_t last = 0;
  for (uint32_t t = 0; t < 71588; t += 4) {
    const int64_t before = WriteBufferPos;
    sound_clock(4);
    AY_catch_up();  // as a register write would: the flips owed so far
    if (WriteBufferPos != before) ++samples;
    if (snd.tone_out[0] != last) ++flips;
    last = snd.tone_out[0];
  }
  EXPECT_NEAR(samples, 71588.0 * 44100 / 3579545, 1);
  EXPECT_NEAR(flips, 71588 / 16, 1);
}

TEST_F(AudioOutTest, BlocksReachTheFifoWhole) {
  // A block is handed over once the staging buffer holds more than 3532 bytes: 884 frames.
  earbit = 1;
  for (int i = 0; i < 883; ++i) GetSample();
  EXPECT_EQ(WriteBufferPos, 3532);
  EXPECT_EQ(sfifo_used(&sound_fifo), 0);
  GetSample();
  EXPECT_EQ(WriteBufferPos, 0);
  EXPECT_EQ(sfifo_used(&sound_fifo), 3536);
  std::vector<uint8_t> out(3536);
  ASSERT_EQ(sfifo_read(&sound_fifo, out.data(), 3536), 3536);
  for (int i = 0; i < 3536; i += 2) ASSERT_EQ(out[i] | out[i + 1] << 8, 8192) << i;

  // A full FIFO: the producer waits (the headless host drains it) and loses nothing of the block.
  std::vector<uint8_t> filler(8191, 0xAA);
  ASSERT_EQ(sfifo_write(&sound_fifo, filler.data(), 8191), 8191);
  for (int i = 0; i < 1000; ++i) sound_buffer[i] = static_cast<uint8_t>(i * 7 + 3);
  WriteBufferPos = 1000;
  WriteDataToBuffer();
  EXPECT_EQ(WriteBufferPos, 0);
  ASSERT_EQ(sfifo_used(&sound_fifo), 1000);
  ASSERT_EQ(sfifo_read(&sound_fifo, out.data(), 1000), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(out[i], static_cast<uint8_t>(i * 7 + 3)) << i;

  // No FIFO at all (no device): the block is dropped and the producer carries on.
  sfifo_close(&sound_fifo);
  WriteBufferPos = 1000;
  WriteDataToBuffer();
  EXPECT_EQ(WriteBufferPos, 0);
  for (int i = 0; i < 2000; ++i) GetSample();
  EXPECT_LE(WriteBufferPos, 3536);
}

TEST_F(AudioOutTest, PauseFlushesAndResumeOnlyUndoesItsOwnPause) {
  earbit = 1;
  for (int i = 0; i < 100; ++i) GetSample();
  uint8_t bytes[64] = {1, 2, 3, 4};
  sfifo_write(&sound_fifo, bytes, 64);
  pause_audio();
  EXPECT_EQ(play_audio, 0);
  EXPECT_EQ(WriteBufferPos, 0);
  EXPECT_EQ(sfifo_used(&sound_fifo), 0);
  for (uint8_t b : sound_buffer) ASSERT_EQ(b, 0);
  resume_audio();
  EXPECT_EQ(play_audio, 1);
  EXPECT_FALSE(audio_device_paused);
  // A resume with no pause before it (unlimited speed switched off during a paste) leaves
  // what the running device has still to play.
  sfifo_write(&sound_fifo, bytes, 64);
  speed = 1;
  resume_audio();
  speed = 0;
  EXPECT_EQ(play_audio, 1);
  EXPECT_EQ(sfifo_used(&sound_fifo), 64);
  uint8_t back[64];
  ASSERT_EQ(sfifo_read(&sound_fifo, back, 64), 64);
  EXPECT_EQ(std::memcmp(back, bytes, 64), 0);
}

TEST_F(AudioOutTest, DeviceFillTakesWholeFramesAndHoldsTheLastLevel) {
  // 1030 bytes held, 4096 asked: 1028 delivered (257 frames), 2 left in the FIFO.
  std::vector<uint8_t> held(1030);
  for (int i = 0; i < 1030; ++i) held[i] = static_cast<uint8_t>(i % 251);
  ASSERT_EQ(sfifo_write(&sound_fifo, held.data(), 1030), 1030);
  std::vector<uint8_t> stream(4096, 0xEE);
  EXPECT_EQ(sound_fill_device_buffer(stream.data(), 4096), 1028);
  EXPECT_EQ(sfifo_used(&sound_fifo), 2);
  for (int i = 0; i < 1028; ++i) ASSERT_EQ(stream[i], held[i]) << i;
  // The rest repeats the last frame delivered (bytes 1024..1027).
  for (int i = 1028; i < 4096; ++i) ASSERT_EQ(stream[i], held[1024 + (i & 3)]) << i;
  // Asking for less than is held takes exactly that; an empty FIFO keeps holding the level.
  uint8_t more[6] = {9, 9, 9, 9, 9, 9};
  sfifo_write(&sound_fifo, more, 6);  // 8 bytes now: the 2 left over and these
  std::vector<uint8_t> small(4);
  EXPECT_EQ(sound_fill_device_buffer(small.data(), 4), 4);
  EXPECT_EQ(small[0], held[1028]);
  EXPECT_EQ(small[1], held[1029]);
  EXPECT_EQ(small[2], 9);
  EXPECT_EQ(sound_fill_device_buffer(small.data(), 4), 4);
  EXPECT_EQ(sound_fill_device_buffer(small.data(), 4), 0);
  EXPECT_EQ(small[0], 9);
  EXPECT_EQ(small[3], 9);
}

// The desktop steers the sample period; the headless recording keeps the nominal one.
TEST_F(AudioOutTest, RateSteeringStaysWithinHalfAPercentAndPullsTowardHalfFull) {
  // Off: 44,100 samples per second of the 3,579,545 Hz clock. On: the same times the ratio,
  // which a FIFO held full or empty pins at 0.995 or 1.005 and never beyond. A full FIFO for a
  // minute (a stalled device) does not hold the rate down once it runs dry.
  rate_control_start(false);
  EXPECT_NEAR(samples_over(50), 50.0 * 71590 * 44100 / 3579545, 1);
  rate_control_start(true);
  EXPECT_NEAR(samples_over(50), 50.0 * 71590 * 44100 / 3579545, 1);
  const int capacity = sound_fifo.size;
  for (int fill : {capacity - 1, 0}) {
    const double pinned = fill ? 0.995 : 1.005;
    for (int i = 0; i < 3000; ++i) {
      const double ratio = rate_control_update(fill, capacity);
      ASSERT_TRUE(ratio >= 0.995 - 1e-12 && ratio <= 1.005 + 1e-12) << ratio;
      if (i >= 25) { ASSERT_NEAR(ratio, pinned, 1e-12) << i; }  // the smoothed level has turned
    }
    EXPECT_NEAR(samples_over(50), 50.0 * 71590 * 44100 * pinned / 3579545, 2);
  }
  // A device whose clock runs off the machine's: a frame puts in 882 x ratio frames, the device
  // takes 882 x (1 + offset) in the frame's time. Within reach the level settles at half and the
  // sample rate at the device's, the picture keeping its period; further off, the frame period
  // makes up the rest.
  struct Device { double offset, start_fill; } devices[] = {{0.003, 400}, {-0.003, 7600}, {0.02, 4096}, {-0.025, 400}};
  for (const Device& d : devices) {
    rate_control_start(true);
    double fill = d.start_fill, lowest = capacity, highest = 0;
    for (int frame = 0; frame < 3000; ++frame) {
      rate_control_update(static_cast<int>(fill), capacity);
      fill = std::clamp(fill + 4 * 882 * (rate_control_ratio - (1 + d.offset) * (1 + frame_stretch)), 0.0, capacity - 1.0);
      if (frame > 500) lowest = std::min(lowest, fill), highest = std::max(highest, fill);
    }
    EXPECT_TRUE(lowest > capacity * 3 / 8.0 && highest < capacity * 5 / 8.0) << d.offset << ": " << lowest << ".." << highest;
    EXPECT_NEAR((1 + d.offset) * (1 + frame_stretch), rate_control_ratio, 0.0005) << d.offset;
    if (std::abs(d.offset) < RATE_CONTROL_MAX_DEVIATION) { EXPECT_EQ(frame_stretch, 0.0) << d.offset; }
  }
}

// The desktop's callback: a start at half full, underruns counted, the level filtered away.
TEST_F(AudioOutTest, DesktopCallbackStartsHalfFullCountsUnderrunsAndLeavesNoLevelBehind) {
  audio_underruns = 0;
  std::vector<uint8_t> stream(441 * 4, 0xEE);
  // Under half full: silence, nothing taken. At half full playing starts, and the speaker's held
  // level counts as the level already there: silence still.
  queue_level(1000, 8192);
  sound_play_device_buffer(stream.data(), 441 * 4);
  EXPECT_EQ(sfifo_used(&sound_fifo), 4000);
  queue_level(100, 8192);
  queue_level(500, 0);
  for (int call = 0; call < 2; ++call) {
    sound_play_device_buffer(stream.data(), 441 * 4);
    for (size_t f = 0; f < 441; ++f) ASSERT_EQ(left_at(stream, f), 0) << f;
  }
  EXPECT_EQ(sfifo_used(&sound_fifo), (1600 - 882) * 4);
  // The speaker going off is a step down, passed whole, both channels alike; after it the
  // output climbs back toward 0 instead of sitting at -8192.
  sound_play_device_buffer(stream.data(), 441 * 4);
  EXPECT_NEAR(left_at(stream, 1100 - 882), -8192, 2);
  EXPECT_EQ(stream[1202] | stream[1203] << 8, stream[1200] | stream[1201] << 8);
  EXPECT_GT(left_at(stream, 440), -8192 + 500);
  EXPECT_EQ(audio_underruns, 0u);
  // 277 frames left, 441 asked: one underrun; the rest holds the input level, so the output
  // carries on without a jump; then playing waits for half full again.
  sound_play_device_buffer(stream.data(), 441 * 4);
  EXPECT_EQ(audio_underruns, 1u);
  for (size_t f = 1; f < 441; ++f) ASSERT_LE(std::abs(left_at(stream, f) - left_at(stream, f - 1)), 20) << f;
  queue_level(100, 0);
  sound_play_device_buffer(stream.data(), 441 * 4);
  EXPECT_EQ(sfifo_used(&sound_fifo), 400);
}

// The DC-blocking high-pass, against the one-pole's own frequency response.
TEST(DcBlocker, ConstantDecaysStepLeavesNoOffsetTonesPass) {
  const double R = std::exp(-2 * M_PI * 10 / 44100.0);
  // A constant from the start: nothing comes out. A step passes whole, then decays as R^n:
  // under 0.2 % of it a tenth of a second later, nothing a second later.
  DcBlocker constant, step;
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(dc_block(constant, 8192), 0.0f);
  dc_block(step, 0);
  EXPECT_FLOAT_EQ(dc_block(step, 8192), 8192.0f);
  for (int n = 1; n <= 44100; ++n) {
    const float y = dc_block(step, 8192);
    if (n == 4410) { EXPECT_NEAR(y, 8192 * std::pow(R, n), 1.0); }
    if (n == 44100) { EXPECT_LT(std::abs(y), 0.01); }
  }
  // Tones: the amplitude after settling is |1 - e^-jw| / |1 - R e^-jw| of the input's, about
  // 0.7 at 10 Hz and all of it from 440 Hz up.
  struct Tone { double hz, at_least; } tones[] = {{10, 0.70}, {100, 0.99}, {440, 0.999}, {4000, 0.9999}};
  for (const Tone& t : tones) {
    const double w = 2 * M_PI * t.hz / 44100;
    const double gain = std::hypot(1 - std::cos(w), std::sin(w)) / std::hypot(1 - R * std::cos(w), R * std::sin(w));
    DcBlocker f;
    double peak = 0;
    for (int n = 0; n < 44100 * 2; ++n) {
      const float out = dc_block(f, static_cast<float>(10000 + 8000 * std::sin(w * n)));
      if (n >= 44100) peak = std::max(peak, std::abs(static_cast<double>(out)));
    }
    EXPECT_NEAR(peak / 8000, gain, 0.002) << t.hz;
    EXPECT_GE(peak / 8000, t.at_least) << t.hz;
  }
}

TEST(SampleFifo, SizesAndLimits) {
  sfifo f;
  struct { int asked, size; } sizes[] = {{11777, 16384}, {14129, 16384}, {16383, 16384}, {16384, 32768},
                                          {1, 2}, {0, 1}, {-1, 1}, {-100000, 1}};
  for (auto s : sizes) {
    ASSERT_EQ(sfifo_init(&f, s.asked), 0);
    EXPECT_EQ(f.size, s.size) << s.asked;
    EXPECT_EQ(sfifo_used(&f), 0);
    EXPECT_EQ(sfifo_space(&f), s.size - 1) << s.asked;
  }
  // A one-byte FIFO holds nothing.
  uint8_t byte = 1;
  EXPECT_EQ(sfifo_write(&f, &byte, 1), 0);
  EXPECT_EQ(sfifo_read(&f, &byte, 1), 0);
  // 20000 into an empty 16384-byte FIFO: 16383 accepted, then none.
  ASSERT_EQ(sfifo_init(&f, 14129), 0);
  std::vector<uint8_t> data(20000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
  EXPECT_EQ(sfifo_write(&f, data.data(), 20000), 16383);
  EXPECT_EQ(sfifo_write(&f, data.data(), 1), 0);
  EXPECT_EQ(sfifo_space(&f), 0);
  // Reading across the end of the storage returns the bytes in order.
  std::vector<uint8_t> out(20000);
  EXPECT_EQ(sfifo_read(&f, out.data(), 10000), 10000);
  EXPECT_EQ(sfifo_write(&f, data.data() + 16383, 3617), 3617);  // wraps
  EXPECT_EQ(sfifo_read(&f, out.data() + 10000, 20000), 10000);
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(out[i], data[i]) << i;
  EXPECT_EQ(sfifo_used(&f), 0);
  // Flush empties and zeroes; a closed FIFO reports no device and flushing it is harmless.
  sfifo_write(&f, data.data(), 100);
  sfifo_flush(&f);
  EXPECT_EQ(sfifo_used(&f), 0);
  for (int i = 0; i < f.size; ++i) ASSERT_EQ(f.buffer[i], 0);
  sfifo_close(&f);
  EXPECT_EQ(f.buffer, nullptr);
  EXPECT_EQ(sfifo_write(&f, data.data(), 10), SFIFO_ENODEV);
  EXPECT_EQ(sfifo_read(&f, out.data(), 10), SFIFO_ENODEV);
  sfifo_flush(&f);
  EXPECT_EQ(sfifo_used(&f), 0);
  // A size the positions cannot address is refused rather than overflowing.
  EXPECT_EQ(sfifo_init(&f, 0x7FFFFFFF), SFIFO_ENOMEM);
  EXPECT_EQ(f.buffer, nullptr);
}

}  // namespace
