// The SDL audio device behind the sample FIFO.
#pragma once
#include <cstdint>

extern uint32_t audio_device_id;  // the opened SDL audio device, 0 when none
extern bool machine_paused;       // Operation -> Pause: no frames run and the device stays stopped

// Starts SDL's audio and joystick subsystems, sets up the sound state and opens the device
// (44,100 Hz, S16LE, two channels). 0 on success, 1 when the device cannot be opened; the
// emulator then runs silently.
int InitSound();
void SDLAudioCallback(void* userdata, uint8_t* stream, int len);
void CloseSound();
