// Desktop side of the host seam: the GTK window, the error box, repaint requests and SDL's clock.
#include <SDL.h>

#include <cstdio>

#include "core/host.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui/desktop.h"
#include "ui/joystick_device.h"

void start_sound() { show_sound_device_missing(InitSound() != 0); }

void host_initialise() {
  initialise_libraries();
  start_sound();
  init_joysticks();
}

void host_show_error(const std::string& text) {
  // Before the window exists GTK is not initialised and cannot show anything.
  if (!main_window) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return;
  }
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(main_window),
                                          static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), program_name);
  place_dialog(box);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

void host_tape_notice(const std::string& text, bool failed) {
  if (!failed) {
    show_status_notice(text);
    return;
  }
  pause_audio();
  host_show_error(text);
  resume_audio();
}

void host_request_repaint() { update_display(); }

uint32_t host_ticks_ms() { return SDL_GetTicks(); }
