// The host joysticks, through SDL, driving hand controllers 1 and 2.
#pragma once

void init_joysticks();
void close_joysticks();
