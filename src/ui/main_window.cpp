// The main window: menu tree, status bar, drop target, event pump, pacing and shutdown.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ch376/ch376.h"
#include "core/config.h"
#include "core/extra_settings.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "debug/run_control.h"
#include "input/joystick.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui/debugger_window.h"
#include "ui/desktop.h"
#include "video/raster.h"

GtkWidget* main_window;
GtkWidget* vbox;
GtkWidget* menubar;
GtkWidget* status_bar;
GtkWidget* model_status;
GtkWidget* fps_status;
GtkWidget* notice_status;
GtkWidget* autoload_item;
GtkWidget* microex_item;
GtkWidget* unlimited_speed_item;
GtkWidget* full_screen_item;
GtkWidget* integer_scaling_item;
GtkWidget* keypad_controller_item;
GtkWidget* cursor_controller_item;
GtkWidget* no_sound_status;
GtkWidget* pause_item;
GtkWidget* recent_menu;
GtkWidget* tape_status;
GtkWidget* rewind_tape_item;
GtkWidget* eject_tape_item;
GtkWidget* displaysizex[2];
GtkWidget* frames_per_secondx[2];
GtkWidget* keyboard_typex[2];
GtkWidget* model_typex[2];
GtkWidget* rom_typex[2];
const GtkTargetEntry targetentries[2] = {
    {const_cast<gchar*>("UTF8_STRING"), 0, 0},
    {const_cast<gchar*>("text/uri-list"), 0, 1},
};
int arg_c;
char** arg_v;

const char* const display_mode[2] = {"PAL", "NTSC"};
const char* const program_name = "Vantorel";
const char* const program_version = " v" VANTOREL_VERSION;

namespace {

bool shutdown_done;
// Room on each side of "No sound device".
constexpr guint NO_SOUND_MARGIN = 6;
// The timer that clears the status bar's notice; 0 when none is shown.
guint notice_timer;
// The notice is too long to stand beside the status bar's fixed fields, which give way to it.
bool notice_takes_bar;
// No audio device could be opened: "No sound device" stands in the status bar.
bool sound_device_missing;
// VANTOREL_LOG_FPS=1 in the environment: every status-bar refresh also writes the frame-rate
// label to standard error, so the rate can be measured without reading the window.
bool log_fps;
// VANTOREL_FRAME_DELAY_MS=N: every frame takes N ms longer, as on a host whose cores are busy,
// so that the host's events pile up between frames (the typing tests).
gulong frame_delay_us;
// The shortcuts shown in the menus and taken by the window.
GtkAccelGroup* accelerators;

GtkWidget* add_menu_head(const char* label) {
  GtkWidget* head = gtk_menu_item_new_with_mnemonic(label);
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(head), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(menubar), head);
  return menu;
}

void add_shortcut(GtkWidget* item, guint key, GdkModifierType modifiers) {
  if (key) gtk_widget_add_accelerator(item, "activate", accelerators, key, modifiers, GTK_ACCEL_VISIBLE);
}

// Labels carry their mnemonic ("_Quit"); key 0 means no shortcut.
GtkWidget* add_item(GtkWidget* menu, const char* label, GCallback handler, guint key = 0,
                    GdkModifierType modifiers = static_cast<GdkModifierType>(0)) {
  GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  g_signal_connect(item, "activate", handler, nullptr);
  add_shortcut(item, key, modifiers);
  return item;
}

GtkWidget* add_check_item(GtkWidget* menu, const char* label, bool on, GCallback handler, guint key = 0) {
  GtkWidget* item = gtk_check_menu_item_new_with_mnemonic(label);
  // Set before the handler is connected, so that nothing is switched.
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), on);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  g_signal_connect(item, "activate", handler, nullptr);
  add_shortcut(item, key, static_cast<GdkModifierType>(0));
  return item;
}

// A submenu of two exclusive choices; the items get 0 and 1 as user data.
void add_choice_menu(GtkWidget* menu, const char* label, const char* const names[2], GtkWidget* pair[2],
                     int current_choice, GCallback handler) {
  GtkWidget* head = gtk_menu_item_new_with_mnemonic(label);
  GtkWidget* submenu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(head), submenu);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), head);
  for (int choice = 0; choice < 2; ++choice) {
    pair[choice] = gtk_menu_item_new_with_label(names[choice]);
    gtk_menu_shell_append(GTK_MENU_SHELL(submenu), pair[choice]);
  }
  set_choice_sensitivity(pair, current_choice);
  for (int choice = 0; choice < 2; ++choice)
    g_signal_connect(pair[choice], "activate", handler, GINT_TO_POINTER(choice));
}

void on_autoload_toggled(GtkWidget*, gpointer) { select_autoload(); }

// The expansion stays off when its ROM is missing, so the mark follows the outcome rather than
// the click; the handler is blocked so that correcting the mark does not switch again.
void on_microex_toggled(GtkWidget* item, gpointer);

void show_microex_state(GtkWidget* item) {
  if (gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) != per_MicroEx) {
    g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(on_microex_toggled), nullptr);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), per_MicroEx);
    g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(on_microex_toggled), nullptr);
  }
}

void on_microex_toggled(GtkWidget* item, gpointer) {
  select_MicroEx();
  show_microex_state(item);
}

bool check_active(GtkWidget* item) { return gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)); }

// The hot keys switch these too; a mark that already tells the state switches nothing.
void on_unlimited_speed_toggled(GtkWidget* item, gpointer) {
  if (check_active(item) != (speed != 0)) toggle_unlimited_speed();
}
void on_full_screen_toggled(GtkWidget* item, gpointer) {
  if (check_active(item) != fscreen) toggle_full_screen();
}
void on_integer_scaling_toggled(GtkWidget* item, gpointer) { set_integer_scaling(check_active(item)); }
void on_paste_text(GtkWidget*, gpointer) { paste_text(); }

void on_pause_toggled(GtkWidget* item, gpointer) {
  if (check_active(item) != machine_paused) toggle_pause();
}
void on_keypad_controller_toggled(GtkWidget* item, gpointer) {
  keypad_controller = check_active(item);
  release_all_keys();
}
void on_cursor_controller_toggled(GtkWidget* item, gpointer) {
  cursor_controller = check_active(item);
  release_all_keys();
}
void on_quick_save_state(GtkWidget*, gpointer) { quick_save_state(); }
void on_quick_load_state(GtkWidget*, gpointer) { quick_load_state(); }
void on_save_state_as(GtkWidget*, gpointer) { save_state_as(); }
void on_load_state(GtkWidget*, gpointer) { load_state_chosen(); }
void on_screenshot(GtkWidget*, gpointer) { take_screenshot(); }
void on_recent_file(GtkWidget* item, gpointer) {
  const char* path = static_cast<const char*>(g_object_get_data(G_OBJECT(item), "path"));
  if (path) load_dropped_file(path);
}
void on_clear_recent(GtkWidget*, gpointer) {
  recent_files.clear();
  rebuild_recent_menu();
}

void on_load_file(GtkWidget*, gpointer) { load_file(); }
void on_rewind_tape(GtkWidget*, gpointer) { rewind_tape(); }
void on_eject_tape(GtkWidget*, gpointer) { eject_tape(); }
void on_export_tape(GtkWidget*, gpointer) { export_tape_as_wav(); }
void on_hard_reset(GtkWidget*, gpointer) { hard_reset(); }
void on_soft_reset(GtkWidget*, gpointer) { soft_reset(); }
void on_sound(GtkWidget*, gpointer) { select_sound(); }
void on_keyboard_help(GtkWidget*, gpointer) { show_keyboard_help(); }
void on_ram(GtkWidget*, gpointer) { select_ram(); }

gboolean on_delete(GtkWidget* widget, GdkEvent*, gpointer data) {
  shutdown(widget, data);
  return FALSE;
}

// Items that open a dialog end in an ellipsis.
void build_menus() {
  GtkWidget* file_menu = add_menu_head("_File");
  add_item(file_menu, "_Load File…", G_CALLBACK(on_load_file), GDK_KEY_o, GDK_CONTROL_MASK);
  GtkWidget* recent_head = gtk_menu_item_new_with_mnemonic("_Recent Files");
  recent_menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(recent_head), recent_menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(file_menu), recent_head);
  rebuild_recent_menu();
  gtk_menu_shell_append(GTK_MENU_SHELL(file_menu), gtk_separator_menu_item_new());
  rewind_tape_item = add_item(file_menu, "Re_wind Tape", G_CALLBACK(on_rewind_tape));
  eject_tape_item = add_item(file_menu, "_Eject Tape", G_CALLBACK(on_eject_tape));
  add_item(file_menu, "E_xport Tape as WAV…", G_CALLBACK(on_export_tape));
  gtk_menu_shell_append(GTK_MENU_SHELL(file_menu), gtk_separator_menu_item_new());
  add_item(file_menu, "_Save State", G_CALLBACK(on_quick_save_state), GDK_KEY_F5);
  add_item(file_menu, "Loa_d State", G_CALLBACK(on_quick_load_state), GDK_KEY_F7);
  add_item(file_menu, "Save State _As…", G_CALLBACK(on_save_state_as));
  add_item(file_menu, "Load S_tate…", G_CALLBACK(on_load_state));
  gtk_menu_shell_append(GTK_MENU_SHELL(file_menu), gtk_separator_menu_item_new());
  add_item(file_menu, "Save Scree_nshot", G_CALLBACK(on_screenshot), GDK_KEY_F11);
  add_item(file_menu, "_Printer Output…", G_CALLBACK(on_printer_output));
  gtk_menu_shell_append(GTK_MENU_SHELL(file_menu), gtk_separator_menu_item_new());
  add_item(file_menu, "_Quit", G_CALLBACK(shutdown), GDK_KEY_q, GDK_CONTROL_MASK);

  GtkWidget* operation_menu = add_menu_head("_Operation");
  // Function keys: the machine has none, so no typing is lost to them.
  add_item(operation_menu, "_Hard Reset", G_CALLBACK(on_hard_reset), GDK_KEY_F9, GDK_SHIFT_MASK);
  add_item(operation_menu, "_Soft Reset", G_CALLBACK(on_soft_reset), GDK_KEY_F9);
  gtk_menu_shell_append(GTK_MENU_SHELL(operation_menu), gtk_separator_menu_item_new());
  unlimited_speed_item = add_check_item(operation_menu, "_Unlimited Speed", speed != 0,
                                        G_CALLBACK(on_unlimited_speed_toggled), GDK_KEY_F2);
  add_item(operation_menu, "_Paste Text", G_CALLBACK(on_paste_text), GDK_KEY_F12);
  pause_item = add_check_item(operation_menu, "P_ause", machine_paused, G_CALLBACK(on_pause_toggled));
  add_shortcut(pause_item, GDK_KEY_p, GDK_CONTROL_MASK);
  add_debugger_menu_items(operation_menu, accelerators);

  GtkWidget* options_menu = add_menu_head("O_ptions");
  add_choice_menu(options_menu, "_Display Size", displaySize, displaysizex, draw_size == 2 ? 1 : 0,
                  G_CALLBACK(update_display_size));
  GtkWidget* size_menu = gtk_widget_get_parent(displaysizex[0]);
  gtk_menu_shell_append(GTK_MENU_SHELL(size_menu), gtk_separator_menu_item_new());
  full_screen_item = add_check_item(size_menu, "_Full Screen", fscreen, G_CALLBACK(on_full_screen_toggled), GDK_KEY_F4);
  integer_scaling_item =
      add_check_item(size_menu, "_Integer Scaling", integer_scaling, G_CALLBACK(on_integer_scaling_toggled));
  add_choice_menu(options_menu, "_Timing", display_mode, frames_per_secondx, timing_type == 1 ? 0 : 1,
                  G_CALLBACK(update_fps));
  add_choice_menu(options_menu, "_Keyboard Type", keyboard_type, keyboard_typex, keyboard_mode ? 1 : 0,
                  G_CALLBACK(update_keyboard));
  gtk_widget_set_tooltip_text(keyboard_typex[0],
                              "Keys by position: each of your keys is the Aquarius key in its place, and your "
                              "Shift is SHIFT (Help → Keyboard… lists them)");
  gtk_widget_set_tooltip_text(keyboard_typex[1],
                              "Keys by character: the Aquarius types the character on your key, SHIFT added or "
                              "let go as it needs (Help → Keyboard… lists them)");
  add_choice_menu(options_menu, "Select _Machine", model_name, model_typex, model ? 1 : 0,
                  G_CALLBACK(select_model));
  add_choice_menu(options_menu, "Select _ROM", rom_type, rom_typex, rom_mode ? 1 : 0, G_CALLBACK(update_rom));
  add_item(options_menu, "_Sound…", G_CALLBACK(on_sound));
  add_item(options_menu, "Select R_AM size…", G_CALLBACK(on_ram));
  // The autoload mark starts from the saved setting so that it tells the truth from the first frame.
  autoload_item = add_check_item(options_menu, "_CAQ Autoload", caq_autoload, G_CALLBACK(on_autoload_toggled));
  microex_item = add_check_item(options_menu, "Micro _Expander", per_MicroEx, G_CALLBACK(on_microex_toggled));
  keypad_controller_item = add_check_item(options_menu, "Keypad as _Hand Controller", keypad_controller,
                                          G_CALLBACK(on_keypad_controller_toggled));
  cursor_controller_item = add_check_item(options_menu, "C_ursor Keys as Hand Controller", cursor_controller,
                                          G_CALLBACK(on_cursor_controller_toggled));

  GtkWidget* help_menu = add_menu_head("_Help");
  add_item(help_menu, "_Keyboard…", G_CALLBACK(on_keyboard_help));
  add_item(help_menu, "_About…", G_CALLBACK(select_help));
}

// The status timer keeps to whole seconds of the clock. A plain 1000 ms timer starts each
// interval when the previous one was dispatched, which here is after the frame in progress, so
// it would count frames over about a second and half a frame (50.5 a second under PAL).
gint64 status_due_us;

gboolean on_status_tick(gpointer) {
  update_status_window(nullptr);
  const gint64 now = g_get_monotonic_time();
  status_due_us += 1000000;
  if (status_due_us <= now) status_due_us = now + 1000000;
  g_timeout_add(static_cast<guint>((status_due_us - now + 999) / 1000), on_status_tick, nullptr);
  return G_SOURCE_REMOVE;
}

// The fixed fields stand unless a notice needs the whole bar; "No sound device" only while
// there is none. Each is shown here alone: the window's show-all leaves them be.
void show_status_fields() {
  if (!status_bar) return;
  gtk_widget_set_visible(fps_status, !notice_takes_bar);
  gtk_widget_set_visible(model_status, !notice_takes_bar);
  gtk_widget_set_visible(no_sound_status, sound_device_missing && !notice_takes_bar);
  if (tape_status) gtk_widget_set_visible(tape_status, caq_percent_read() >= 0 && !notice_takes_bar);
}

// The width a field takes when shown (the toolkit sizes a hidden widget as nothing).
int natural_width(GtkWidget* widget) {
  const bool hidden = !gtk_widget_get_visible(widget);
  if (hidden) gtk_widget_show(widget);
  int minimum = 0, natural = 0;
  gtk_widget_get_preferred_width(widget, &minimum, &natural);
  if (hidden) gtk_widget_hide(widget);
  return natural;
}

// Shows text as the notice. Beside the fixed fields when it fits there; else the notice takes
// the whole bar, wrapped into more lines when even that is too narrow, and the bar grows taller
// for as long as it shows (the picture keeps its size and place).
void set_notice_text(const std::string& text) {
  // A window no taller than its contents need grew for a wrapped notice: it is made as tall as
  // the new text needs, which the toolkit does not do by itself. A window made taller by the
  // user had room for the lines and keeps its size.
  const int width = gtk_widget_get_allocated_width(main_window);
  int least_height = 0, natural_height = 0;
  gtk_widget_get_preferred_height_for_width(main_window, width, &least_height, &natural_height);
  const bool fitted = !fscreen && gtk_widget_get_allocated_height(main_window) <= least_height;
  gtk_label_set_text(GTK_LABEL(notice_status), text.c_str());
  PangoLayout* layout = gtk_widget_create_pango_layout(notice_status, text.c_str());
  int text_width = 0;
  pango_layout_get_pixel_size(layout, &text_width, nullptr);
  g_object_unref(layout);
  int beside = gtk_widget_get_allocated_width(status_bar) - natural_width(fps_status) - natural_width(model_status) -
               2 * gtk_box_get_spacing(GTK_BOX(status_bar));
  if (sound_device_missing) beside -= natural_width(no_sound_status) + 2 * NO_SOUND_MARGIN;
  if (caq_percent_read() >= 0) beside -= natural_width(tape_status) + 2 * NO_SOUND_MARGIN;
  notice_takes_bar = text_width > beside;
  show_status_fields();
  if (fitted) gtk_window_resize(GTK_WINDOW(main_window), width, 1);
}

// Room for the tape field's text; a longer name is shortened in the middle.
constexpr int TAPE_STATUS_CHARS = 24;

// The status bar's notice goes after its time, leaving the usual labels.
gboolean end_status_notice(gpointer) {
  set_notice_text(machine_paused ? "Paused" : "");
  notice_timer = 0;
  return FALSE;
}

void set_model_status() {
  char text[64];
  std::snprintf(text, sizeof text, "%s%s", model_name[model ? 1 : 0], ram_name[ram_size < 5 ? ram_size : 4]);
  gtk_label_set_text(GTK_LABEL(model_status), text);
}

}  // namespace

void set_choice_sensitivity(GtkWidget* const pair[2], int current_choice) {
  gtk_widget_set_sensitive(pair[0], current_choice != 0);
  gtk_widget_set_sensitive(pair[1], current_choice == 0);
}

void show_check_state(GtkWidget* item, bool on) {
  if (item && check_active(item) != on) gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), on);
}

// Window managers cut a title that is wider than its window, and a dialog of a few radio
// buttons is narrower than "Select RAM Size" with the title bar's buttons beside it.
void place_dialog(GtkWidget* dialog) {
  constexpr int TITLE_BAR_BUTTONS = 128;
  if (main_window) gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(main_window));
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  const char* title = gtk_window_get_title(GTK_WINDOW(dialog));
  if (!title || !*title) return;
  PangoLayout* layout = gtk_widget_create_pango_layout(dialog, title);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  gint current_width = 0, current_height = 0;
  gtk_window_get_default_size(GTK_WINDOW(dialog), &current_width, &current_height);
  if (current_width < width + TITLE_BAR_BUTTONS)
    gtk_window_set_default_size(GTK_WINDOW(dialog), width + TITLE_BAR_BUTTONS, current_height);
}

void initialise_libraries() {
  gtk_init(&arg_c, &arg_v);
  fscreen = false;
  shutdown_done = false;
  const char* log_fps_setting = std::getenv("VANTOREL_LOG_FPS");
  log_fps = log_fps_setting && std::strcmp(log_fps_setting, "1") == 0;
  const char* frame_delay_setting = std::getenv("VANTOREL_FRAME_DELAY_MS");
  frame_delay_us = frame_delay_setting ? 1000 * std::min(std::strtoul(frame_delay_setting, nullptr, 10), 1000ul) : 0;
  // Only the two window sizes can be started with; anything else in the settings means 100 %.
  if (draw_size != 1 && draw_size != 2) draw_size = 1;

  main_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(main_window), display_width * draw_size,
                              display_height * draw_size + MENU_AND_STATUS_ROWS);
  std::string title = std::string(program_name) + program_version;
  gtk_window_set_title(GTK_WINDOW(main_window), title.c_str());
  gtk_window_move(GTK_WINDOW(main_window), windowpos_X, windowpos_Y);

  g_signal_connect(main_window, "delete_event", G_CALLBACK(on_delete), nullptr);
  gtk_widget_show(main_window);
  vbox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(main_window), vbox);

  accelerators = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(main_window), accelerators);
  load_extra_settings();
  // Before the first power-on, so that the check covers the boot.
  set_unwritten_read_check(unwritten_read_break);

  gtk_drag_dest_set(main_window, GTK_DEST_DEFAULT_ALL, targetentries, 2, GDK_ACTION_COPY);
  g_signal_connect(main_window, "drag-data-received", G_CALLBACK(on_drag_data_received), nullptr);

  menubar = gtk_menu_bar_new();
  gtk_box_pack_start(GTK_BOX(vbox), menubar, FALSE, FALSE, 0);
  build_menus();
  gtk_widget_show(menubar);

  connect_key_events(main_window);
  g_signal_connect(main_window, "destroy", G_CALLBACK(shutdown), nullptr);

  init_display();

  status_bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 1);
  gtk_box_pack_start(GTK_BOX(vbox), status_bar, FALSE, FALSE, 1);
  model_status = gtk_label_new("");
  gtk_label_set_width_chars(GTK_LABEL(model_status), 19);
  set_model_status();
  gtk_box_pack_end(GTK_BOX(status_bar), model_status, FALSE, FALSE, 0);
  fps_status = gtk_label_new("FPS: ");
  gtk_label_set_width_chars(GTK_LABEL(fps_status), 8);
  gtk_box_pack_start(GTK_BOX(status_bar), fps_status, FALSE, FALSE, 0);
  notice_status = gtk_label_new("");
  gtk_label_set_line_wrap(GTK_LABEL(notice_status), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(notice_status), PANGO_WRAP_WORD_CHAR);
  gtk_box_pack_start(GTK_BOX(status_bar), notice_status, TRUE, TRUE, 0);
  notice_timer = 0;
  no_sound_status = gtk_label_new("No sound device");
  gtk_box_pack_end(GTK_BOX(status_bar), no_sound_status, FALSE, FALSE, NO_SOUND_MARGIN);
  // The tape's name gives way (shortened in the middle) before the fixed fields do.
  tape_status = gtk_label_new("");
  gtk_label_set_ellipsize(GTK_LABEL(tape_status), PANGO_ELLIPSIZE_MIDDLE);
  gtk_label_set_max_width_chars(GTK_LABEL(tape_status), TAPE_STATUS_CHARS);
  gtk_box_pack_end(GTK_BOX(status_bar), tape_status, FALSE, FALSE, NO_SOUND_MARGIN);
  for (GtkWidget* field : {fps_status, model_status, no_sound_status, tape_status})
    gtk_widget_set_no_show_all(field, TRUE);
  add_printer_status(status_bar);
  show_tape_status();

  gtk_widget_show_all(main_window);
  status_due_us = g_get_monotonic_time() + 1000000;
  g_timeout_add(1000, on_status_tick, nullptr);
  select_keyboard_table();
}

gboolean update_status_window(gpointer) {
  set_model_status();
  char text[32];
  std::snprintf(text, sizeof text, "FPS: %u", static_cast<unsigned>(frame_count));
  gtk_label_set_text(GTK_LABEL(fps_status), text);
  if (log_fps) std::fprintf(stderr, "%s\n", text);
  frame_count = 0;
  // A paste switches unlimited speed on and off by itself.
  show_check_state(unlimited_speed_item, speed != 0);
  show_tape_status();
  return TRUE;
}

void ui_event() {
  // Once shut down, the RAM is gone: no further handler may run against the machine.
  // One look at the sources per pass: asking whether events are pending first polls them twice.
  while (!quit_requested && g_main_context_iteration(nullptr, FALSE)) {
  }
}

void update_timer() {
  pace_frame();
  if (frame_delay_us) g_usleep(frame_delay_us);
}

void on_window_realize(GtkWidget* widget, gpointer) {
  gint x = 0, y = 0;
  gtk_window_get_position(GTK_WINDOW(widget), &x, &y);
  windowpos_X = x;
  windowpos_Y = y;
}

void show_status_notice(const std::string& text) {
  if (!notice_status) return;
  set_notice_text(text);
  if (notice_timer) g_source_remove(notice_timer);
  notice_timer = g_timeout_add(STATUS_NOTICE_MS, end_status_notice, nullptr);
}

gboolean shutdown(GtkWidget*, gpointer) {
  if (shutdown_done) return FALSE;
  shutdown_done = true;
  // Quitting ends a tape recording in progress; it is saved before the machine goes.
  tape_recorder_finish();
  quit_requested = true;
  memory_free();
  CloseSound();
  SDL_Quit();
  // In full screen the window sits at 0,0 and covers the screen; what is worth keeping is the
  // windowed size and position, which fullscreen() stored on the way in.
  if (fscreen)
    draw_size = prev_draw_size;
  else
    on_window_realize(main_window, nullptr);
  micro_expander_on = per_MicroEx;
  sound_enabled = snd_sound != 0;
  save_config();
  save_extra_settings();
  return FALSE;
}

void rebuild_recent_menu() {
  if (!recent_menu) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(recent_menu));
  for (GList* child = children; child; child = child->next) gtk_widget_destroy(GTK_WIDGET(child->data));
  g_list_free(children);
  for (const std::string& path : present_recent_files()) {
    // The path shown as it is: no mnemonic may be taken from an underscore in a file name.
    GtkWidget* item = gtk_menu_item_new_with_label(path.c_str());
    g_object_set_data_full(G_OBJECT(item), "path", g_strdup(path.c_str()), g_free);
    g_signal_connect(item, "activate", G_CALLBACK(on_recent_file), nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(recent_menu), item);
  }
  if (!recent_files.empty()) gtk_menu_shell_append(GTK_MENU_SHELL(recent_menu), gtk_separator_menu_item_new());
  GtkWidget* clear = add_item(recent_menu, "_Clear Recent Files", G_CALLBACK(on_clear_recent));
  gtk_widget_set_sensitive(clear, !recent_files.empty());
  gtk_widget_show_all(recent_menu);
}

void refresh_machine_menus() {
  set_choice_sensitivity(frames_per_secondx, timing_type == 1 ? 0 : 1);
  set_choice_sensitivity(model_typex, model ? 1 : 0);
  set_choice_sensitivity(rom_typex, rom_mode ? 1 : 0);
  show_microex_state(microex_item);
  set_model_status();
  show_tape_status();
}

void show_tape_status() {
  if (!tape_status) return;
  const int percent = caq_percent_read();
  if (percent >= 0) {
    // The bar is narrow at 100 %: the name and the share read, the rest in the tooltip.
    const std::string text = caq_shown_name() + " " + std::to_string(percent) + "%";
    const std::string tip = "The cassette in the machine: " + (caq_path.empty() ? caq_shown_name() : caq_path) + ", " +
                            std::to_string(percent) + "% read";
    gtk_label_set_text(GTK_LABEL(tape_status), text.c_str());
    gtk_widget_set_tooltip_text(tape_status, tip.c_str());
  }
  gtk_widget_set_sensitive(rewind_tape_item, percent >= 0);
  gtk_widget_set_sensitive(eject_tape_item, percent >= 0);
  show_status_fields();
}

void show_sound_device_missing(bool missing) {
  sound_device_missing = missing;
  show_status_fields();
}

void soft_reset() { SoftReset(); }

void hard_reset() {
  HardReset();
  show_loaded_title("");  // the loaded file is gone from the machine
}

void show_loaded_title(const std::string& name) {
  std::string title = std::string(program_name) + program_version;
  if (!name.empty()) title += " - " + name;
  if (main_window) gtk_window_set_title(GTK_WINDOW(main_window), title.c_str());
}
