// Host keyboard: the emulator's hot keys, the menus' shortcuts, the matrix through the key queue,
// paste.
#include "core/config.h"
#include "core/frame.h"
#include "core/ports.h"
#include "input/joystick.h"
#include "input/key_queue.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui/debugger_window.h"
#include "ui/desktop.h"

void release_all_keys() {
  controller_keys_release();
  key_queue_clear();
  ClearPorts();
}

void keys_frame_end() { key_queue_frame_end(); }

gboolean on_focus_out(GtkWidget*, GdkEvent*, gpointer) {
  // A key held while the window loses focus (a menu opened, another window) would never see
  // its release here.
  release_all_keys();
  return FALSE;
}

// A menu or a dialog takes a grab: the keys held then never see their release here.
void on_grab_notify(GtkWidget*, gboolean was_grabbed, gpointer) {
  if (!was_grabbed) release_all_keys();
}

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

namespace {

void leave_full_screen() {
  if (fscreen) toggle_full_screen();
}

constexpr GdkModifierType ANY_MODIFIERS = static_cast<GdkModifierType>(0);

// Shift+F9 before F9, which takes any modifiers.
constexpr hot_key hot_key_table[] = {
    {GDK_KEY_F2, ANY_MODIFIERS, toggle_unlimited_speed, nullptr},
    {GDK_KEY_F4, ANY_MODIFIERS, toggle_full_screen, nullptr},
    {GDK_KEY_Escape, ANY_MODIFIERS, leave_full_screen, "leaves full screen"},
    {GDK_KEY_F5, ANY_MODIFIERS, quick_save_state, nullptr},
    {GDK_KEY_F7, ANY_MODIFIERS, quick_load_state, nullptr},
    {GDK_KEY_F8, ANY_MODIFIERS, show_debugger_window, nullptr},
    {GDK_KEY_F9, GDK_SHIFT_MASK, hard_reset, nullptr},
    {GDK_KEY_F9, ANY_MODIFIERS, soft_reset, nullptr},
    {GDK_KEY_F11, ANY_MODIFIERS, take_screenshot, nullptr},
    {GDK_KEY_F12, ANY_MODIFIERS, paste_text, nullptr},
    {GDK_KEY_Pause, ANY_MODIFIERS, toggle_pause, "pauses the machine or lets it go on"},
    {GDK_KEY_p, GDK_CONTROL_MASK, toggle_pause, nullptr},
};

}  // namespace

const std::span<const hot_key> hot_keys = hot_key_table;

// The hot keys come first: in full screen the menu bar is hidden and its shortcuts with it. Then
// the window's mnemonics and shortcuts (Alt+F, Ctrl+O, ...), then the machine.
gboolean get_keypress_event(GtkWidget* widget, GdkEventKey* event) {
  const guint keyval = gdk_keyval_to_lower(event->keyval);
  for (const hot_key& key : hot_keys) {
    if (key.keyval != keyval || (event->state & key.modifiers) != key.modifiers) continue;
    key.action();
    return TRUE;
  }
  if (GTK_IS_WINDOW(widget) && gtk_window_activate_key(GTK_WINDOW(widget), event)) return TRUE;
  // A paused machine sees no keys: nothing typed then arrives later.
  if (machine_paused) return TRUE;
  if (controller_key_event(event->keyval, true)) return TRUE;
  key_queue_press(event->keyval, event->hardware_keycode);
  return TRUE;
}

gboolean get_keyrelease_event(GtkWidget*, GdkEventKey* event) {
  if (controller_key_event(event->keyval, false)) return TRUE;
  if (event->keyval != KEY_F2 && event->keyval != KEY_F4) key_queue_release(event->keyval, event->hardware_keycode);
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
