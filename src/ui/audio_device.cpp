// The SDL audio device: its callback drains the sample FIFO on SDL's audio thread.
#include "ui/audio_device.h"

#include <SDL.h>

#include "core/host.h"
#include "debug/run_control.h"
#include "sound/audio_out.h"
#include "sound/rate_control.h"

uint32_t audio_device_id;
std::string audio_device_error;

int InitSound() {
  // SDL would turn SIGINT and SIGTERM into quit events that this program never reads (SDL has no
  // window here), leaving the emulator deaf to Ctrl+C and to kill; keep the default actions.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Started one by one: a host without a usable sound driver still gets its joystick.
  SDL_Init(SDL_INIT_JOYSTICK);
  const bool audio_started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  sound_setup();
  audio_device_frames = 0;
  rate_control_start(false);
  // The first failure is the one that tells why (no such driver, no server); opening on an
  // audio subsystem that did not start would only say that it did not.
  audio_device_error = audio_started ? "" : SDL_GetError();
  if (!audio_started) audio_device_id = 0;
  if (audio_started) {
    SDL_AudioSpec wanted{};
    wanted.freq = snd_freq;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = 2;
    wanted.samples = DEVICE_BUFFER_FRAMES;
    wanted.callback = [](void* userdata, Uint8* stream, int len) { SDLAudioCallback(userdata, stream, len); };
    wanted.userdata = nullptr;
    // No changes allowed: SDL converts whenever the device differs from what we make, and the
    // buffer is the size asked for.
    SDL_AudioSpec obtained{};
    audio_device_id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (audio_device_id == 0) audio_device_error = SDL_GetError();
    else audio_device_frames = obtained.samples;
  }
  if (audio_device_id == 0) {
    if (audio_device_error.empty()) audio_device_error = "the audio device could not be opened";
    sfifo_close(&sound_fifo);  // blocks are then dropped instead of waiting for a device
    return 1;
  }
  rate_control_start(true);
  play_audio = 1;
  audio_device_paused = false;
  SDL_PauseAudioDevice(audio_device_id, 0);
  return 0;
}

void SDLAudioCallback(void*, uint8_t* stream, int len) { sound_play_device_buffer(stream, len); }

void CloseSound() {
  play_audio = 0;
  if (audio_device_id) {
    SDL_PauseAudioDevice(audio_device_id, 1);
    SDL_LockAudioDevice(audio_device_id);
    SDL_UnlockAudioDevice(audio_device_id);
    SDL_CloseAudioDevice(audio_device_id);
    audio_device_id = 0;
  }
  rate_control_start(false);
  audio_device_frames = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  sound_close();
}

// SDL_PauseAudioDevice takes the device lock, so once it returns the callback is not running
// and will not run again until the device is un-paused.
bool machine_paused = false;

void host_audio_device_pause(bool paused) {
  // While the machine is paused or stopped by the debugger only the end of that starts the
  // device again.
  if (!paused && (machine_paused || machine_stopped())) return;
  if (audio_device_id) SDL_PauseAudioDevice(audio_device_id, paused ? 1 : 0);
}

void host_audio_wait() { SDL_Delay(1); }
