// The desktop program: start the machine, then run frames until the window is closed.
#include <SDL.h>

#include "core/frame.h"
#include "core/roms.h"
#include "ui/desktop.h"

int main(int argc, char** argv) {
  arg_c = argc;
  arg_v = argv;
  Initialise_Emulator();
  while (!quit_requested) {
    const uint32_t start_time = SDL_GetTicks();
    one_Z80_frame();
    ui_event();
    if (!speed && !quit_requested) update_timer(start_time);
  }
  return 0;
}
