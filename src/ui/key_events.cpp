// Host keyboard: the emulator's hot keys, the menus' shortcuts, the matrix through the held-key
// layer, paste.
#include "core/config.h"
#include "core/frame.h"
#include "input/host_keys.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "sound/audio_out.h"
#include "ui/desktop.h"

namespace {

// Keys held while the window loses the keyboard would never see their release: a menu or a
// dialog takes a grab, another window takes the focus. Everything is let go at once.
gboolean on_focus_out(GtkWidget*, GdkEventFocus*, gpointer) {
  release_all_host_keys();
  return FALSE;
}

void on_grab_notify(GtkWidget*, gboolean was_grabbed, gpointer) {
  if (!was_grabbed) release_all_host_keys();
}

}  // namespace

void text_request_callback(GtkClipboard*, const gchar* text, gpointer) {
  if (text) aqua_arch_get_spool_file(text);
}

void paste_text() {
  gtk_clipboard_request_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text_request_callback, nullptr);
}

void toggle_unlimited_speed() {
  speed = !speed;
  if (speed)
    pause_audio();
  else
    resume_audio();
  show_check_state(unlimited_speed_item, speed != 0);
}

void toggle_full_screen() {
  fscreen = !fscreen;
  if (fscreen)
    fullscreen();
  else
    unfullscreen();
  show_check_state(full_screen_item, fscreen);
}

// The hot keys come first: in full screen the menu bar is hidden and its shortcuts with it. Then
// the window's mnemonics and shortcuts (Alt+F, Ctrl+O, ...), then the machine.
gboolean get_keypress_event(GtkWidget* widget, GdkEventKey* event) {
  switch (event->keyval) {
    case KEY_F4:
      toggle_full_screen();
      return TRUE;
    case KEY_F12:
      paste_text();
      return TRUE;
    case KEY_F2:
      toggle_unlimited_speed();
      return TRUE;
    case GDK_KEY_Escape:
      if (fscreen) toggle_full_screen();
      return TRUE;
    default:
      break;
  }
  if (GTK_IS_WINDOW(widget) && gtk_window_activate_key(GTK_WINDOW(widget), event)) return TRUE;
  host_key_down(event->hardware_keycode, event->keyval);
  return TRUE;
}

gboolean get_keyrelease_event(GtkWidget*, GdkEventKey* event) {
  host_key_up(event->hardware_keycode);
  return TRUE;
}

void connect_key_events(GtkWidget* window) {
  g_signal_connect(window, "key_press_event", G_CALLBACK(get_keypress_event), nullptr);
  g_signal_connect(window, "key_release_event", G_CALLBACK(get_keyrelease_event), nullptr);
  g_signal_connect(window, "focus-out-event", G_CALLBACK(on_focus_out), nullptr);
  g_signal_connect(window, "grab-notify", G_CALLBACK(on_grab_notify), nullptr);
}

void update_keyboard(GtkWidget*, gpointer) {
  pause_audio();
  keyboard_mode = !keyboard_mode;
  set_choice_sensitivity(keyboard_typex, keyboard_mode ? 1 : 0);
  select_keyboard_table();
  resume_audio();
}
