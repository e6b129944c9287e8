// The SDL audio device: samples made by the machine go through the FIFO and the callback into
// SDL's disk audio driver, whose output file is what a sound card would have played.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/frame.h"
#include "core/ports.h"
#include "sound/audio_out.h"
#include "sound/ay.h"
#include "ui/audio_device.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Puts the generator and the speaker in state i of a counting pattern (three amplitudes and the
// speaker bit as digits) and returns the level a sample must then have: twice the scaled
// volume table per channel, plus 8192 for the speaker.
int set_pattern(int i) {
  const uint16_t level[16] = {0, 52, 77, 108, 163, 249, 342, 545, 655, 1045, 1436, 1795, 2272, 2811, 3374, 3999};
  const int a = i % 16, b = (i / 16) % 16, c = (i / 256) % 16, e = (i / 4096) % 2;
  snd.regs[8] = static_cast<uint8_t>(a);
  snd.regs[9] = static_cast<uint8_t>(b);
  snd.regs[10] = static_cast<uint8_t>(c);
  earbit = static_cast<uint8_t>(e);
  return 2 * (level[a] + level[b] + level[c]) + 8192 * e;
}

TEST(AudioDevice, DiskDriverReceivesEverySampleInOrder) {
  char path_template[] = "/tmp/vantorel-disk-audio-XXXXXX";
  const int fd = mkstemp(path_template);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path_template, 1);
  frame_length = 71590;
  frames_per_second = 50;

  ASSERT_EQ(InitSound(), 0) << SDL_GetError();
  EXPECT_EQ(play_audio, 1);
  EXPECT_NE(audio_device_id, 0u);
  snd.regs[7] = 0x3F;  // every channel constantly on at its amplitude

  // A quarter of a second of samples, made much faster than the device plays them: the
  // producer waits on the full FIFO as in real play.
  const int count = 11000;
  std::vector<int> expected;
  for (int i = 1; i <= count; ++i) {
    expected.push_back(set_pattern(i));
    GetSample();
  }
  WriteDataToBuffer();
  for (int waited = 0; sfifo_used(&sound_fifo) > 0 && waited < 3000; waited += 10) SDL_Delay(10);
  SDL_Delay(150);  // let the device write out its last buffer
  CloseSound();
  EXPECT_EQ(play_audio, 0);
  EXPECT_EQ(audio_device_id, 0u);
  EXPECT_EQ(sound_fifo.buffer, nullptr);

  const std::vector<uint8_t> out = read_file(path_template);
  unlink(path_template);
  ASSERT_EQ(out.size() % 4, 0u);
  std::vector<int> left, right;
  for (size_t p = 0; p + 4 <= out.size(); p += 4) {
    left.push_back(int16_t(out[p] | out[p + 1] << 8));
    right.push_back(int16_t(out[p + 2] | out[p + 3] << 8));
  }
  EXPECT_EQ(left, right);
  // Before the first block: silence. Then every sample in order; an underrun may only repeat
  // the level last played, never insert anything else.
  size_t p = 0;
  while (p < left.size() && left[p] == 0) ++p;
  size_t next = 0, held = 0, wrong = 0;
  for (; p < left.size() && next < expected.size(); ++p) {
    if (left[p] == expected[next]) ++next;
    else if (next > 0 && left[p] == expected[next - 1]) ++held;
    else ++wrong;
  }
  EXPECT_EQ(next, expected.size());
  EXPECT_EQ(wrong, 0u);
  // After the last sample the device holds its level rather than dropping to 0 (no click).
  for (; p < left.size(); ++p) ASSERT_EQ(left[p], expected.back()) << p;
  RecordProperty("underrun_frames", static_cast<int>(held));
}

TEST(AudioDevice, NoDeviceMeansSilentRunning) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  frame_length = 71590;
  frames_per_second = 50;
  EXPECT_EQ(InitSound(), 1);
  EXPECT_EQ(play_audio, 0);
  EXPECT_EQ(audio_device_id, 0u);
  // Pausing and resuming work on no device; the blocks made afterwards are dropped, not waited on.
  pause_audio();
  resume_audio();
  EXPECT_EQ(play_audio, 1);
  earbit = 1;
  for (int i = 0; i < 10 * 884; ++i) GetSample();
  EXPECT_LE(WriteBufferPos, 3536);
  CloseSound();
  EXPECT_EQ(play_audio, 0);
}

TEST(AudioDevice, PauseStopsTheCallbackAndResumeRestartsIt) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  frame_length = 59659;
  frames_per_second = 60;
  ASSERT_EQ(InitSound(), 0) << SDL_GetError();
  EXPECT_EQ(snd_sub_buffer_size, 2944);
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio_device_id), SDL_AUDIO_PLAYING);
  pause_audio();
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio_device_id), SDL_AUDIO_PAUSED);
  EXPECT_EQ(play_audio, 0);
  resume_audio();
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio_device_id), SDL_AUDIO_PLAYING);
  // A resume without a pause before it leaves the running device and its FIFO alone.
  uint8_t bytes[400] = {};
  sfifo_write(&sound_fifo, bytes, 400);
  SDL_LockAudioDevice(audio_device_id);  // hold the callback off while we look
  const int held = sfifo_used(&sound_fifo);
  resume_audio();
  EXPECT_EQ(sfifo_used(&sound_fifo), held);
  SDL_UnlockAudioDevice(audio_device_id);
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio_device_id), SDL_AUDIO_PLAYING);
  CloseSound();
}

TEST(AudioDevice, StalledDeviceDoesNotFreezeTheMachine) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  frame_length = 71590;
  frames_per_second = 50;
  ASSERT_EQ(InitSound(), 0) << SDL_GetError();
  SDL_LockAudioDevice(audio_device_id);  // the callback can no longer run: a stalled device
  earbit = 1;
  const uint32_t start = SDL_GetTicks();
  for (int i = 0; i < 8 * 884; ++i) GetSample();  // eight blocks, more than the FIFO holds
  const uint32_t first_stall = SDL_GetTicks() - start;
  // The producer gave up after its bounded wait instead of hanging; the next blocks are dropped
  // without waiting again.
  EXPECT_GE(first_stall, 400u);
  EXPECT_LT(sfifo_space(&sound_fifo), 4);  // full, to the last whole frame
  const uint32_t again = SDL_GetTicks();
  for (int i = 0; i < 4 * 884; ++i) GetSample();
  EXPECT_LT(SDL_GetTicks() - again, 200u);
  // Once the device drains again, blocks are delivered again.
  SDL_UnlockAudioDevice(audio_device_id);
  for (int waited = 0; sfifo_used(&sound_fifo) > 0 && waited < 2000; waited += 5) SDL_Delay(5);
  // ... whole frames only: nothing of a dropped block is left over to shift the stream.
  EXPECT_EQ(sfifo_used(&sound_fifo), 0);
  SDL_LockAudioDevice(audio_device_id);
  for (int i = 0; i < 884; ++i) GetSample();
  EXPECT_EQ(sfifo_used(&sound_fifo), 3536);
  SDL_UnlockAudioDevice(audio_device_id);
  CloseSound();
}

}  // namespace
