// STUB
#include "ui/audio_device.h"
int InitSound() { return 1; }
void SDLAudioCallback(void*, uint8_t*, int) {}
void CloseSound() {}
