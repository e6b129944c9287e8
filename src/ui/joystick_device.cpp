// The first two host joysticks, polled through SDL's event queue at the start of every frame.
// Joysticks plugged in while the program runs take the first free controller; unplugging one
// frees its controller, with nothing left pressed.
#include "ui/joystick_device.h"

#include <SDL.h>

#include "core/host.h"
#include "input/joystick.h"

namespace {

SDL_Joystick* device_of(int controller) { return static_cast<SDL_Joystick*>(hand_controller[controller].joystick); }

// The controller a joystick instance drives, or -1.
int controller_of(SDL_JoystickID id) {
  for (int c = 0; c < HAND_CONTROLLERS; ++c)
    if (device_of(c) && SDL_JoystickInstanceID(device_of(c)) == id) return c;
  return -1;
}

void take_device(int device_index) {
  for (int c = 0; c < HAND_CONTROLLERS; ++c) {
    if (device_of(c)) {
      if (SDL_JoystickGetDeviceInstanceID(device_index) == SDL_JoystickInstanceID(device_of(c))) return;
      continue;
    }
    SDL_Joystick* stick = SDL_JoystickOpen(device_index);
    if (!stick) return;
    joystick_release(c);
    hand_controller[c].joystick = stick;
    joystick_enabled |= static_cast<uint8_t>(1u << c);
    return;
  }
}

void drop_controller(int c) {
  if (c < 0) return;
  if (device_of(c)) SDL_JoystickClose(device_of(c));
  hand_controller[c].joystick = nullptr;
  joystick_release(c);
  joystick_enabled &= static_cast<uint8_t>(~(1u << c));
  // Register 14 keeps what was last read into it: an unplugged controller leaves nothing held.
  if (c == 0) get_joystick_input();
}

}  // namespace

void init_joysticks() {
  for (int c = 0; c < HAND_CONTROLLERS; ++c) hand_controller[c] = joystick_state{nullptr, 0, 0, 0, 0, JOYSTICK_NO_BUTTON, 0};
  joystick_enabled = 0;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) take_device(i);
  // The queue already holds an added event for each joystick just opened; they find it taken.
}

void close_joysticks() {
  for (int c = 0; c < HAND_CONTROLLERS; ++c) drop_controller(c);
}

void get_joystick_state() {
  // SDL's pump costs system calls: with no joystick there it looks for one plugged in twice a
  // second only (a joystick SDL already counts, a virtual one, is taken at once).
  constexpr uint32_t FRAMES_BETWEEN_LOOKS = 25;
  static uint32_t frames_since_look;
  if (!joystick_enabled && SDL_NumJoysticks() == 0 && ++frames_since_look < FRAMES_BETWEEN_LOOKS) return;
  frames_since_look = 0;
  SDL_Event event;
  // SDL has no window here, so its queue holds only device events; all but the joysticks'
  // are of no use to the machine and are dropped.
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_JOYDEVICEADDED:
        take_device(event.jdevice.which);
        break;
      case SDL_JOYDEVICEREMOVED:
        drop_controller(controller_of(event.jdevice.which));
        break;
      case SDL_JOYAXISMOTION:
        if (int c = controller_of(event.jaxis.which); c >= 0) joystick_axis_motion(event.jaxis.axis, event.jaxis.value, c);
        break;
      case SDL_JOYHATMOTION:
        if (int c = controller_of(event.jhat.which); c >= 0) joystick_hat_motion(SDL_JoystickGetHat(device_of(c), 0), c);
        break;
      case SDL_JOYBUTTONDOWN:
        if (int c = controller_of(event.jbutton.which); c >= 0) joystick_button_down(event.jbutton.button, c);
        break;
      case SDL_JOYBUTTONUP:
        if (int c = controller_of(event.jbutton.which); c >= 0) joystick_button_up(c);
        break;
      default:
        break;
    }
  }
}
