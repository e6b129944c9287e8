// Host keyboard: the emulator's hot keys, the matrix through the host key tables, paste.
#include "core/config.h"
#include "core/frame.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "sound/audio_out.h"
#include "ui/desktop.h"

void text_request_callback(GtkClipboard*, const gchar* text, gpointer) {
  if (text) aqua_arch_get_spool_file(text);
}

gboolean get_keypress_event(GtkWidget*, GdkEventKey* event) {
  switch (event->keyval) {
    case KEY_F4:
      fscreen = !fscreen;
      if (fscreen)
        fullscreen();
      else
        unfullscreen();
      break;
    case KEY_F12:
      gtk_clipboard_request_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text_request_callback, nullptr);
      break;
    case KEY_F2:
      speed = !speed;
      if (speed)
        pause_audio();
      else
        resume_audio();
      break;
    default:
      keyboard_press(event->keyval);
  }
  return TRUE;
}

gboolean get_keyrelease_event(GtkWidget*, GdkEventKey* event) {
  if (event->keyval != KEY_F2 && event->keyval != KEY_F4) keyboard_release(event->keyval);
  return TRUE;
}

void update_keyboard(GtkWidget*, gpointer) {
  pause_audio();
  keyboard_mode = !keyboard_mode;
  set_choice_sensitivity(keyboard_typex, keyboard_mode ? 1 : 0);
  select_keyboard_table();
  resume_audio();
}
