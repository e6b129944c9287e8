// STUB: desktop implementation of the host seam.
#include "core/host.h"
void host_initialise() {}
void host_show_error(const std::string&) {}
void host_request_repaint() {}
void host_audio_device_pause(bool) {}
void host_audio_wait() {}
uint32_t host_ticks_ms() { return 0; }
