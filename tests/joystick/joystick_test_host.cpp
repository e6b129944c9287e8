// The host seam for the joystick test, less the joystick poll, which comes from the SDL side
// under test.
#include "core/host.h"

void host_initialise() {}
void host_show_error(const std::string&) {}
void host_request_repaint() {}
void host_audio_device_pause(bool) {}
void host_audio_wait() {}
uint32_t host_ticks_ms() { return 0; }
void host_tape_notice(const std::string&, bool) {}
