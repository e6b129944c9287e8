// STUB
#include "ui/audio_device.h"
#include "core/host.h"
int InitSound() { return 1; }
void SDLAudioCallback(void*, uint8_t*, int) {}
void CloseSound() {}
void host_audio_device_pause(bool) {}
void host_audio_wait() {}
