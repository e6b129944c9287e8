// The first host joystick, through SDL, driving hand controller 1.
#pragma once

void init_joysticks();
void close_joysticks();
