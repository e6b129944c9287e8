// The SDL audio device behind the sample FIFO.
#pragma once
#include <cstdint>
#include <string>

// 441 frames, 10 ms: with the FIFO half full the sound is some 35 ms behind the picture. A whole
// number of milliseconds, since timer-driven drivers wait that many whole milliseconds per buffer.
constexpr int DEVICE_BUFFER_FRAMES = 441;

extern uint32_t audio_device_id;         // the opened SDL audio device, 0 when none
extern std::string audio_device_error;   // why no device could be opened (SDL's text); empty when one is
extern bool machine_paused;              // Operation -> Pause: no frames run and the device stays stopped

// Starts SDL's audio and joystick subsystems, sets up the sound state and opens the device
// (44,100 Hz, S16LE, two channels). 0 on success, 1 when the device cannot be opened; the
// emulator then runs silently and audio_device_error says why.
int InitSound();
void SDLAudioCallback(void* userdata, uint8_t* stream, int len);
void CloseSound();
