// vantorel-bench-audio: the desktop's pacing loop (a frame, then pace_frame) with the desktop's
// SDL audio device, opened on SDL's disk driver, which takes its buffers at the pace of the
// clock and writes them to a scratch file. After a second to settle, 30 emulated seconds are
// measured (or as many as the one argument says): the latency (FIFO plus device buffer, at both
// ends of every frame's sleep) and the callbacks that found the FIFO short.
#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_machine.h"
#include "core/frame.h"
#include "core/host.h"
#include "sound/audio_out.h"
#include "sound/rate_control.h"
#include "ui/audio_device.h"


void host_initialise() {
  initialise_timings();
  InitSound();
}
void host_show_error(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }
void host_request_repaint() {}
uint32_t host_ticks_ms() { return SDL_GetTicks(); }
void host_tape_notice(const std::string& text, bool) { std::fprintf(stderr, "%s\n", text.c_str()); }
void get_joystick_state() {}

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 30;
  if (seconds <= 0 || seconds > 24 * 3600) {
    std::fprintf(stderr, "usage: vantorel-bench-audio [seconds to measure, 1 to 86400]\n");
    return 2;
  }
  char raw[] = "/tmp/vantorel-bench-audio-XXXXXX";
  const int fd = mkstemp(raw);
  if (fd < 0) {
    std::perror("vantorel-bench-audio: scratch file");
    return 1;
  }
  close(fd);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw, 1);
  int status = 0;
  {
    BenchMachine machine("vantorel-bench-audio");
    if (!machine.ready() || !audio_device_id) {
      std::fprintf(stderr, "vantorel-bench-audio: no disk audio device: %s\n", audio_device_error.c_str());
      status = 1;
    } else {
      // The AY busy as well: a tone on A, noise on B, an envelope on C.
      const uint8_t setup[][2] = {{7, 0x2E}, {0, 100}, {6, 7}, {8, 15}, {9, 12}, {10, 0x10}, {11, 50}, {13, 14}};
      for (const auto& r : setup) {
        snd.reg_select = r[0];
        AY_reg_write(r[1]);
      }
      speed = 0;
      const uint32_t settle = frames_per_second, measured = static_cast<uint32_t>(seconds) * frames_per_second;
      for (uint32_t i = 0; i < settle; ++i) { one_Z80_frame(); pace_frame(); }
      audio_latency_reset();
      const uint32_t underruns_before = audio_underruns.load();
      const auto start = std::chrono::steady_clock::now();
      for (uint32_t i = 0; i < measured; ++i) { one_Z80_frame(); pace_frame(); }
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("audio_latency_ms_mean=%.1f\n", audio_latency_count ? audio_latency_sum_ms / audio_latency_count : 0.0);
      std::printf("audio_latency_ms_max=%.1f\n", audio_latency_max_ms);
      std::printf("audio_underruns=%u\n", audio_underruns.load() - underruns_before);
      // Not a figure of the sound path but of the device: how far the picture had to follow it.
      std::fprintf(stderr, "vantorel-bench-audio: the machine ran at %.2f %% of real time\n",
                   100.0 * seconds / wall);
    }
    CloseSound();
  }
  SDL_Quit();
  unlink(raw);
  return status;
}
