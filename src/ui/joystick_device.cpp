// STUB
#include "ui/joystick_device.h"
#include "core/host.h"
void init_joysticks() {}
void close_joysticks() {}
void get_joystick_state() {}
