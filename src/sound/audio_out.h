// Sample making: the speaker bit and the AY channels into 44,100 Hz 16-bit stereo, through the FIFO.
#pragma once
#include <atomic>
#include <cstdint>
#include "sound/ay.h"
#include "sound/sfifo.h"

constexpr int snd_freq = 44100;
constexpr int snd_soundbits = 16;
constexpr int SOUND_BUFFER_BYTES = 16384;
// 2047 stereo frames, 46 ms: the desktop keeps it about half full, and a frame's samples
// (882 frames at 50 Hz) fit on top of that.
constexpr int SOUND_FIFO_BYTES = 8192;
// The output coupling's corner: a one-pole high-pass this low takes the speaker's held level
// away within tens of milliseconds and leaves every audible tone as it is.
constexpr double DC_BLOCK_HZ = 10.0;

// One-pole DC-blocking high-pass, y = x - x1 + R * y1.
struct DcBlocker {
  float x1 = 0;         // previous input
  float y1 = 0;         // previous output
  bool primed = false;  // x1 holds a real input: the first one after a reset is taken as the
                        // level already there, so a stream that starts at a held level starts silent
};

extern uint8_t snd_sound;            // master switch: multiplies every sample
extern uint8_t snd_stereo;           // kept in vantorel.ini only: the machine is mono, both channels carry it
extern uint8_t snd_aysound;          // the AY generator runs
extern uint8_t play_audio;           // audio output running
extern uint8_t sound_buffer[SOUND_BUFFER_BYTES];  // staging buffer
extern int64_t WriteBufferPos;       // bytes in sound_buffer
extern int snd_sub_buffer_size;      // block size in bytes: 4 x samples per frame
extern sfifo sound_fifo;             // staging blocks on their way to the audio callback
extern bool audio_device_paused;     // pause_audio paused the device; resume_audio un-pauses it
extern bool audio_device_stalled;    // the device stopped draining: blocks are dropped, not waited on
extern uint8_t device_last_frame[4]; // last stereo frame handed to the device (callback thread)
extern int audio_device_frames;      // frames the device buffers per callback; 0 without a device
extern bool device_stream_started;   // callback side: the FIFO reached half full since the last resume
extern std::atomic<uint32_t> audio_underruns;  // callbacks that found the FIFO short once playing
extern DcBlocker device_filter;      // the desktop output's high-pass (callback thread)

// Derived constants, sound switches on, AY initial state, FIFO allocated. Needs the timing
// state (initialise_timings) first. Returns the FIFO's sfifo_init result.
int sound_setup();
// Per-instruction clocking (called by the CPU's common end with the instruction's length).
inline void sound_clock(uint32_t t);
void GetSample();
// True when the sample clock of a generator state (one read from a save state) is this
// program's: the period it makes samples with, and at most one period accumulated, never
// below 0 (each sample takes a period off a count that exceeded one, and the steering a
// T-state more at most). Any other period or count would overflow the signed count or
// never catch up with it.
bool sample_clock_valid(const AYState& a);
void WriteDataToBuffer();
void pause_audio();
void resume_audio();
// Releases the FIFO (after the device has been closed).
void sound_close();
// The audio callback's work, on the audio thread: fills len bytes of the device buffer with the
// whole stereo frames the FIFO holds and the rest with the last frame played (no click on an
// underrun). Returns the number of bytes taken from the FIFO.
int sound_fill_device_buffer(uint8_t* stream, int len);
// The desktop's callback: waits (holding the level) until the FIFO is half full after a start
// or an underrun, counts underruns, fills through sound_fill_device_buffer and high-passes the
// result. The headless recording reads the FIFO itself and stays unfiltered.
void sound_play_device_buffer(uint8_t* stream, int len);
// One sample through the high-pass.
float dc_block(DcBlocker& filter, float x);

#include "core/frame.h"
inline void sound_clock(uint32_t t) {
  if (speed || !play_audio) return;
  snd.sample_acc += static_cast<int32_t>(t);
  // The sample sees the generator as it stood at the end of the previous instruction; a silent
  // generator sounds the same wherever its counters stand.
  if (snd.sample_acc > static_cast<int32_t>(snd.sample_tstates)) {
    if (!AY_silent() || snd.ay_acc > AY_SILENT_DEBT_LIMIT) AY_catch_up();
    GetSample();
  }
  snd.ay_acc += t;
}
