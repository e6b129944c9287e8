// The host seam for the audio device test, less the audio half, which comes from the SDL
// audio device under test.
#include "core/host.h"

void host_initialise() {}
void host_show_error(const std::string&) {}
void host_request_repaint() {}
uint32_t host_ticks_ms() { return 0; }
void host_tape_notice(const std::string&, bool) {}
void get_joystick_state() {}
