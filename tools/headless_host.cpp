// Headless implementation of the host seam.
#include "tools/headless_host.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "core/frame.h"
#include "core/host.h"
#include "sound/audio_out.h"

int headless_error_count = 0;
bool headless_tape_failed = false;
static FILE* wav_file = nullptr;
static uint32_t wav_data_bytes = 0;
static bool wav_write_failed = false;   // a write of the recording did not go through (a full disk)

static void put_le(uint8_t* p, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

static void write_wav_header() {
  uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                   16, 0, 0, 0, 1, 0, 2, 0};
  put_le(h + 4, 36 + wav_data_bytes, 4);
  put_le(h + 24, snd_freq, 4);
  put_le(h + 28, snd_freq * 4, 4);
  put_le(h + 32, 4, 2);
  put_le(h + 34, 16, 2);
  h[36] = 'd'; h[37] = 'a'; h[38] = 't'; h[39] = 'a';
  put_le(h + 40, wav_data_bytes, 4);
  if (std::fseek(wav_file, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, wav_file) != sizeof h ||
      std::fseek(wav_file, 0, SEEK_END) != 0)
    wav_write_failed = true;
}

bool headless_audio_open(const std::string& path) {
  wav_file = std::fopen(path.c_str(), "wb");
  if (!wav_file) return false;
  wav_data_bytes = 0;
  wav_write_failed = false;
  write_wav_header();
  return !wav_write_failed;
}

void headless_audio_drain() {
  uint8_t chunk[4096];
  int n;
  while ((n = sfifo_read(&sound_fifo, chunk, sizeof chunk)) > 0) {
    if (wav_file && !wav_write_failed) {
      if (std::fwrite(chunk, 1, static_cast<size_t>(n), wav_file) != static_cast<size_t>(n)) wav_write_failed = true;
      wav_data_bytes += static_cast<uint32_t>(n);
    }
  }
}

bool headless_audio_close() {
  if (WriteBufferPos > 0) WriteDataToBuffer();
  headless_audio_drain();
  if (!wav_file) return true;
  write_wav_header();
  if (std::fflush(wav_file) != 0) wav_write_failed = true;
  if (std::fclose(wav_file) != 0) wav_write_failed = true;
  wav_file = nullptr;
  return !wav_write_failed;
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
