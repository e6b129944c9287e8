// Sample making, the per-instruction clocking, the FIFO and the device-side fill, with the
// headless host behind the seam (its host_audio_wait drains the FIFO).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/frame.h"
#include "core/ports.h"
#include "sound/audio_out.h"
#include "sound/ay.h"
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
    sound_close();
  }
};

TEST_F(AudioOutTest, DerivedConstantsForBothTimings) {
  // PAL: 71590 x 50 / 44100 = 81.16 -> 81; 71590 / 81 = 883 samples; 4 bytes each.
  EXPECT_EQ(snd.sample_tstates, 81u);
  EXPECT_EQ(snd.ay_tick_tstates, 16u);
  EXPECT_EQ(snd_sub_buffer_size, 3532);
  EXPECT_EQ(sound_fifo.size, 16384);  // 2 x 3532 x 2 + 1 = 14129, rounded up
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
  EXPECT_EQ(sound_fifo.size, 16384);  // 11777 rounded up
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
    EXPECT_EQ(snd.sample_acc, 19);
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
  // A 23 T-state instruction with ay_acc at 10: 33 -> two ticks, 1 left.
  snd.ay_acc = 10;
  snd.sample_acc = 0;
  sound_clock(23);
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
  // Over one PAL frame of 4 T-state instructions: 71590 / 81 samples and 71590 / 16 ticks,
  // give or take the accumulators' remainders.
  AY_init();
  snd.sample_tstates = 81;
  snd.reg_select = 0; AY_reg_write(0);  // tone period 0: one flip per tick
  WriteBufferPos = 0;
  long flips = 0, samples = 0;
  uint8_t last = 0;
  for (uint32_t t = 0; t < 71588; t += 4) {
    const int64_t before = WriteBufferPos;
    sound_clock(4);
    if (WriteBufferPos != before) ++samples;
    if (snd.tone_out[0] != last) ++flips;
    last = snd.tone_out[0];
  }
  EXPECT_NEAR(samples, 71588 / 81, 1);
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
  std::vector<uint8_t> filler(16383, 0xAA);
  ASSERT_EQ(sfifo_write(&sound_fifo, filler.data(), 16383), 16383);
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
