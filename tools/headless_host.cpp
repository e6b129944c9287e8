// Headless implementation of the host seam.
#include "tools/headless_host.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "core/frame.h"
#include "core/host_file.h"
#include "core/host.h"
#include "sound/audio_out.h"

int headless_error_count = 0;
bool headless_tape_failed = false;
// A stream written as the run goes; it still goes through the one writer, so that a link is
// followed, a device refused, and a recording that fails or is cut short by a kill leaves no
// half file behind (only a temporary beside it, in the last case).
static saved_file wav;
static uint32_t wav_data_bytes = 0;
static std::string wav_error;   // the first write of the recording that failed (a full disk)

static void put_le(uint8_t* p, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

static void wav_header(uint8_t (&h)[44]) {
  static const uint8_t start[24] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                    16, 0, 0, 0, 1, 0, 2, 0};
  std::copy(start, start + sizeof start, h);
  put_le(h + 4, 36 + wav_data_bytes, 4);
  put_le(h + 24, snd_freq, 4);
  put_le(h + 28, snd_freq * 4, 4);
  put_le(h + 32, 4, 2);
  put_le(h + 34, 16, 2);
  h[36] = 'd'; h[37] = 'a'; h[38] = 't'; h[39] = 'a';
  put_le(h + 40, wav_data_bytes, 4);
}

bool headless_audio_open(const std::string& path, std::string& error) {
  wav_data_bytes = 0;
  wav_error.clear();
  if (!start_saved_file(wav, path, error)) return false;
  uint8_t h[44];
  wav_header(h);
  if (write_saved_file(wav, h, sizeof h, error)) return true;
  abandon_saved_file(wav);
  return false;
}

void headless_audio_drain() {
  uint8_t chunk[4096];
  int n;
  while ((n = sfifo_read(&sound_fifo, chunk, sizeof chunk)) > 0) {
    if (wav.fd >= 0 && wav_error.empty()) {
      write_saved_file(wav, chunk, static_cast<size_t>(n), wav_error);
      wav_data_bytes += static_cast<uint32_t>(n);
    }
  }
}

bool headless_audio_close(std::string& error) {
  if (WriteBufferPos > 0) WriteDataToBuffer();
  headless_audio_drain();
  if (wav.fd < 0) return true;
  uint8_t h[44];
  wav_header(h);
  if (wav_error.empty() && rewrite_saved_file(wav, 0, h, sizeof h, wav_error) && finish_saved_file(wav, wav_error))
    return true;
  abandon_saved_file(wav);
  error = wav_error;
  return false;
}

void host_initialise() {
  initialise_timings();
  sound_setup();
}

void host_show_error(const std::string& text) {
  ++headless_error_count;
  std::fprintf(stderr, "%s\n", text.c_str());
}

void host_tape_notice(const std::string& text, bool failed) {
  if (failed) headless_tape_failed = true;
  std::fprintf(stderr, "%s\n", text.c_str());
}

void host_request_repaint() {}
void host_audio_device_pause(bool) {}
void host_audio_wait() { headless_audio_drain(); }

uint32_t host_ticks_ms() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void get_joystick_state() {}
