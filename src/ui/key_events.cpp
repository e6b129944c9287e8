// Host keyboard: the emulator's hot keys, the menus' shortcuts, the matrix through the held-key
// layer, paste.
#include "core/config.h"
#include "core/frame.h"
#include "core/ports.h"
#include "input/joystick.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui/desktop.h"

namespace {

// The machine keys each held host key put down, by hardware key code, so that its release lets
// go of exactly those (the key value of a release may differ from the press's: Shift+9 pressed,
// Shift let go, then 9). Host key events wait in a queue for the frame ends at which the ROM's
// keyboard scan can see them: a press stays down for at least MIN_HOLD_FRAMES frames, and after
// a release every key stays up for a frame before the next press, so no quick tap is lost.
constexpr uint32_t MIN_HOLD_FRAMES = 2;
struct held_key {
  bool in_use;
  uint16_t hardware_code;
  uint8_t down[8];         // matrix bits this key cleared
  uint32_t pressed_frame;
};
struct key_event {
  bool press;
  uint32_t keyval;
  uint16_t hardware_code;
};
held_key held_keys[16];
key_event queued[64];
size_t queued_count = 0;
uint32_t key_frames = 0;           // frame ends since start
uint32_t last_release_frame = 0;   // frame count when a key was last let go
bool released_once = false;

held_key* held(uint16_t code) {
  for (held_key& k : held_keys)
    if (k.in_use && k.hardware_code == code) return &k;
  return nullptr;
}

void let_go(held_key& key) {
  key.in_use = false;
  for (int column = 0; column < 8; ++column) {
    uint8_t still_down = 0;
    for (const held_key& other : held_keys)
      if (other.in_use) still_down |= other.down[column];
    keyboard_map[column] |= static_cast<uint8_t>(key.down[column] & ~still_down);
  }
  last_release_frame = key_frames;
  released_once = true;
}

// Carries out one queued event if its time has come; false to keep it (and those after it) waiting.
bool apply(const key_event& e) {
  held_key* key = held(e.hardware_code);
  if (!e.press) {
    if (!key) {
      // Its press found every slot taken: released by its key value.
      keyboard_release(e.keyval);
      return true;
    }
    if (key_frames - key->pressed_frame < MIN_HOLD_FRAMES) return false;
    let_go(*key);
    return true;
  }
  if (key) return true;  // the host's auto-repeat: the machine's ROM repeats by itself
  if (released_once && key_frames == last_release_frame) return false;
  held_key* slot = nullptr;
  for (held_key& k : held_keys)
    if (!k.in_use) slot = &k;
  uint8_t before[8];
  for (int c = 0; c < 8; ++c) before[c] = keyboard_map[c];
  keyboard_press(e.keyval);
  if (!slot) return true;
  *slot = held_key{true, e.hardware_code, {}, key_frames};
  for (int c = 0; c < 8; ++c) slot->down[c] = static_cast<uint8_t>(before[c] & ~keyboard_map[c]);
  return true;
}

bool queued_press(uint16_t code) {
  for (size_t i = 0; i < queued_count; ++i)
    if (queued[i].press && queued[i].hardware_code == code) return true;
  return false;
}

void run_queue() {
  size_t done = 0;
  while (done < queued_count && apply(queued[done])) ++done;
  for (size_t i = done; i < queued_count; ++i) queued[i - done] = queued[i];
  queued_count -= done;
}

void queue_key(bool press, const GdkEventKey* event) {
  // A key the machine lacks has nothing to time. A release is judged by its press, though: a
  // keypad key let go after Num Lock changed says End where its press said 1.
  if (press ? !machine_key_value(event->keyval) : !held(event->hardware_keycode) && !queued_press(event->hardware_keycode))
    return;
  if (queued_count == sizeof queued / sizeof queued[0]) return;  // a flood: the rest is dropped
  queued[queued_count++] = {press, event->keyval, event->hardware_keycode};
  run_queue();
}

}  // namespace

void release_all_keys() {
  keypad_controller_release();
  for (held_key& k : held_keys) k.in_use = false;
  queued_count = 0;
  ClearPorts();
}

void keys_frame_end() {
  ++key_frames;
  run_queue();
}

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
    case GDK_KEY_F5:
      quick_save_state();
      return TRUE;
    case GDK_KEY_F7:
      quick_load_state();
      return TRUE;
    case GDK_KEY_F11:
      take_screenshot();
      return TRUE;
    case GDK_KEY_Pause:
      toggle_pause();
      return TRUE;
    case GDK_KEY_p:
    case GDK_KEY_P:
      if (!(event->state & GDK_CONTROL_MASK)) break;
      toggle_pause();
      return TRUE;
    default:
      break;
  }
  if (GTK_IS_WINDOW(widget) && gtk_window_activate_key(GTK_WINDOW(widget), event)) return TRUE;
  // A paused machine sees no keys: nothing typed then arrives later.
  if (machine_paused) return TRUE;
  if (keypad_controller_key(event->keyval, true)) return TRUE;
  queue_key(true, event);
  return TRUE;
}

gboolean get_keyrelease_event(GtkWidget*, GdkEventKey* event) {
  if (keypad_controller_key(event->keyval, false)) return TRUE;
  if (event->keyval != KEY_F2 && event->keyval != KEY_F4) queue_key(false, event);
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
