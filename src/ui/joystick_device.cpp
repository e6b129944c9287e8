// The first host joystick, polled through SDL's event queue at the start of every frame.
#include "ui/joystick_device.h"

#include <SDL.h>

#include "core/host.h"
#include "input/joystick.h"

void init_joysticks() {
  game = joystick_state{};
  game.button = JOYSTICK_NO_BUTTON;
  if (SDL_NumJoysticks() < 1) return;
  game.joystick = SDL_JoystickOpen(0);
  joystick_enabled = game.joystick ? 1 : 0;
}

void close_joysticks() {
  joystick_enabled = 0;
  if (game.joystick) SDL_JoystickClose(static_cast<SDL_Joystick*>(game.joystick));
  game.joystick = nullptr;
}

void get_joystick_state() {
  if (!joystick_enabled) return;
  SDL_Event event;
  // SDL has no window here, so its queue holds only device events; all but the joystick's
  // are of no use to the machine and are dropped.
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_JOYAXISMOTION:
        joystick_axis_motion(event.jaxis.axis, event.jaxis.value);
        break;
      case SDL_JOYHATMOTION:
        // The position is read from the opened joystick, whichever device sent the event.
        joystick_hat_motion(SDL_JoystickGetHat(static_cast<SDL_Joystick*>(game.joystick), 0));
        break;
      case SDL_JOYBUTTONDOWN:
        joystick_button_down(event.jbutton.button);
        break;
      case SDL_JOYBUTTONUP:
        joystick_button_up();
        break;
      default:
        break;
    }
  }
}
