// The SDL audio device against SDL's dummy driver and a missing driver: opening, pausing, the
// silent fallback and a device that stops draining. (What the device plays is compared with
// the machine's samples end to end in desktop_audio_test.)
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "core/frame.h"
#include "core/ports.h"
#include "sound/audio_out.h"
#include "sound/ay.h"
#include "sound/rate_control.h"
#include "ui/audio_device.h"

namespace {

TEST(AudioDevice, NoDeviceMeansSilentRunning) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  frame_length = 71590;
  frames_per_second = 50;
  EXPECT_EQ(InitSound(), 1);
  EXPECT_EQ(play_audio, 0);
  EXPECT_EQ(audio_device_id, 0u);
  EXPECT_TRUE(audio_device_frames == 0 && !rate_control_on);  // no device buffer, no steering
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
  EXPECT_TRUE(audio_device_frames == 441 && rate_control_on);  // 10 ms, steered
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio_device_id), SDL_AUDIO_PLAYING);
  pause_audio();
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio_device_id), SDL_AUDIO_PAUSED);
  EXPECT_EQ(play_audio, 0);
  resume_audio();
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio_device_id), SDL_AUDIO_PLAYING);
  // A resume without a pause before it leaves the running device running.
  resume_audio();
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
