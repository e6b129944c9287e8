// Sample making: every 81.17 T-states (the CPU clock over 44,100: 81 and a carried fraction) the
// speaker bit and the three AY channels become one 16-bit sample, staged here and handed to the
// FIFO about once a frame. On the desktop the period is steered around that (rate_control) so
// that the FIFO stays half full; a FIFO that fills all the same (a device slower than the
// steering can follow) blocks the emulation until the device has played enough, so the audio
// device then paces the machine.
#include "sound/audio_out.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/frame.h"
#include "core/host.h"
#include "core/ports.h"
#include "sound/rate_control.h"

uint8_t snd_sound = 1, snd_stereo = 1, snd_aysound = 1, play_audio;
uint8_t sound_buffer[SOUND_BUFFER_BYTES];
int64_t WriteBufferPos;
int snd_sub_buffer_size;
sfifo sound_fifo;
bool audio_device_paused;
bool audio_device_stalled;
uint8_t device_last_frame[4];
int audio_device_frames;
bool device_stream_started;
std::atomic<uint32_t> audio_underruns;
DcBlocker device_filter;

namespace {

// Level of the one-bit speaker when it is on; the AY adds up to 3 x 7998 on top.
constexpr uint32_t SPEAKER_LEVEL = 8192;

// A device that stops draining (a stalled host audio server) must not freeze the machine: after
// this many waits (about half a second on the desktop, ten times what the full FIFO holds)
// without the FIFO taking a byte the block is dropped, and so are the following blocks, at
// once, until the device takes bytes again.
constexpr int MAX_WAITS_WITHOUT_PROGRESS = 500;

void store_le16(uint32_t value) {
  sound_buffer[WriteBufferPos] = static_cast<uint8_t>(value);
  sound_buffer[WriteBufferPos + 1] = static_cast<uint8_t>(value >> 8);
  WriteBufferPos += 2;
}

}  // namespace

int sound_setup() {
  const uint32_t rate = frames_per_second ? frames_per_second : 50;
  // Stereo and AY sound come from the settings file, read before this; sound itself starts on.
  snd_sound = 1;
  AY_init();
  snd.ay_tick_tstates = AY_TICK_TSTATES;
  snd.sample_tstates = static_cast<uint32_t>(static_cast<uint64_t>(frame_length) * rate / snd_freq);
  if (snd.sample_tstates == 0) snd.sample_tstates = 81;
  const int samples_per_frame = static_cast<int>(frame_length / snd.sample_tstates);
  snd_sub_buffer_size = 4 * samples_per_frame;
  // Two staging blocks' room in the FIFO (at least; the size is rounded up to a power of two).
  // The staging buffer must hold one block plus the sample that overfills it.
  if (snd_sub_buffer_size > SOUND_BUFFER_BYTES - 8) snd_sub_buffer_size = SOUND_BUFFER_BYTES - 8;
  WriteBufferPos = 0;
  std::memset(device_last_frame, 0, sizeof device_last_frame);
  device_stream_started = false;
  device_filter = DcBlocker{};
  rate_control_start(false);
  return sfifo_init(&sound_fifo, SOUND_FIFO_BYTES - 1);
}

void GetSample() {
  snd.sample_acc -= static_cast<int32_t>(snd.sample_tstates);
  // The period's fraction: a whole T-state more (or less, steered) whenever it adds up to one.
  rate_step_acc += rate_step;
  if (rate_step_acc >= RATE_STEP_ONE) {
    rate_step_acc -= RATE_STEP_ONE;
    --snd.sample_acc;
  } else if (rate_step_acc < 0) {
    rate_step_acc += RATE_STEP_ONE;
    ++snd.sample_acc;
  }
  get_AY_sample();
  const uint32_t value =
      (snd.chan_level[0] + snd.chan_level[1] + snd.chan_level[2] + (earbit ? SPEAKER_LEVEL : 0)) * snd_sound;
  // The device always runs with two channels. A sample written only once in mono would pair
  // consecutive samples into one frame and play the stream at twice its speed, an octave high,
  // so both settings fill the left and the right channel with the same (mono) level.
  store_le16(value);
  store_le16(value);
  if (WriteBufferPos > snd_sub_buffer_size) WriteDataToBuffer();
}

bool sample_clock_valid(const AYState& a) {
  return a.sample_tstates == snd.sample_tstates && a.sample_acc >= 0 &&
         static_cast<uint32_t>(a.sample_acc) <= a.sample_tstates;
}

void WriteDataToBuffer() {
  int64_t done = 0;
  int idle_waits = 0;
  while (done < WriteBufferPos) {
    // Whole stereo frames only, so that a block dropped part way leaves the stream aligned.
    const int room = sfifo_space(&sound_fifo) & ~3;
    const int wanted = static_cast<int>(std::min<int64_t>(WriteBufferPos - done, room));
    const int taken = sfifo_write(&sound_fifo, sound_buffer + done, wanted);
    if (taken < 0) break;  // no FIFO (no device): the block is dropped
    if (taken > 0) {
      done += taken;
      idle_waits = 0;
      audio_device_stalled = false;
      continue;
    }
    if (audio_device_stalled || ++idle_waits > MAX_WAITS_WITHOUT_PROGRESS) {
      audio_device_stalled = true;
      break;
    }
    host_audio_wait();
  }
  WriteBufferPos = 0;
}

void pause_audio() {
  host_audio_device_pause(true);
  audio_device_paused = true;
  play_audio = 0;
  WriteBufferPos = 0;
  std::memset(sound_buffer, 0, sizeof sound_buffer);
  sfifo_flush(&sound_fifo);
}

void resume_audio() {
  play_audio = 1;
  // The FIFO may only be reset while the callback is stopped. A device that pause_audio did not
  // pause (unlimited speed switched off during a paste) is still playing what the FIFO holds.
  if (!audio_device_paused) return;
  sfifo_flush(&sound_fifo);
  std::memset(device_last_frame, 0, sizeof device_last_frame);
  device_stream_started = false;
  device_filter = DcBlocker{};
  audio_device_paused = false;
  host_audio_device_pause(false);
}

void sound_close() {
  play_audio = 0;
  WriteBufferPos = 0;
  sfifo_flush(&sound_fifo);
  sfifo_close(&sound_fifo);
}

int sound_fill_device_buffer(uint8_t* stream, int len) {
  if (len <= 0) return 0;
  int wanted = std::min(len, sfifo_used(&sound_fifo)) & ~3;
  int delivered = 0;
  while (delivered < wanted) {
    const int n = sfifo_read(&sound_fifo, stream + delivered, wanted - delivered);
    if (n <= 0) break;
    delivered += n;
  }
  delivered &= ~3;
  if (delivered >= 4) std::memcpy(device_last_frame, stream + delivered - 4, 4);
  // The output is unipolar: falling to 0 from a held level would click, so an underrun holds
  // the last level instead.
  for (int pos = delivered; pos < len; ++pos) stream[pos] = device_last_frame[pos & 3];
  return delivered;
}

float dc_block(DcBlocker& filter, float x) {
  static const float R = static_cast<float>(std::exp(-2.0 * M_PI * DC_BLOCK_HZ / snd_freq));
  if (!filter.primed) {
    filter.x1 = x;
    filter.primed = true;
  }
  const float y = x - filter.x1 + R * filter.y1;
  filter.x1 = x;
  filter.y1 = y;
  return y;
}

void sound_play_device_buffer(uint8_t* stream, int len) {
  if (len <= 0) return;
  // A start at half full leaves the steering nothing to catch up, and the device a FIFO's
  // worth of slack from the first callback on.
  if (!device_stream_started && sfifo_used(&sound_fifo) >= sound_fifo.size / 2) device_stream_started = true;
  if (device_stream_started) {
    if (sound_fill_device_buffer(stream, len) < (len & ~3)) {
      audio_underruns.fetch_add(1, std::memory_order_relaxed);
      device_stream_started = false;
    }
  } else if (!device_filter.primed) {
    std::memset(stream, 0, static_cast<size_t>(len));  // nothing played yet since the reset
    return;
  } else {
    for (int pos = 0; pos < len; ++pos) stream[pos] = device_last_frame[pos & 3];
  }
  // The machine is mono: the left channel is filtered and both carry the result. A held level
  // (an underrun, the wait before a start) goes through the filter as well and fades to 0.
  for (int pos = 0; pos + 4 <= len; pos += 4) {
    const float x = static_cast<float>(static_cast<int16_t>(stream[pos] | stream[pos + 1] << 8));
    const float y = std::clamp(std::round(dc_block(device_filter, x)), -32768.0f, 32767.0f);
    const auto value = static_cast<uint16_t>(static_cast<int16_t>(y));
    stream[pos] = stream[pos + 2] = static_cast<uint8_t>(value);
    stream[pos + 1] = stream[pos + 3] = static_cast<uint8_t>(value >> 8);
  }
}
