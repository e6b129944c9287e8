// STUB: desktop implementation of the host seam.
#include "core/host.h"
void host_initialise() {}
void host_show_error(const std::string&) {}
void host_request_repaint() {}
uint32_t host_ticks_ms() { return 0; }
