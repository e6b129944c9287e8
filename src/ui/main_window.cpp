// The main window: menu tree, status bar, drop target, event pump, pacing and shutdown.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "ch376/ch376.h"
#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/tape_recorder.h"
#include "ui/audio_device.h"
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
const char* const program_version = " v1.02";

namespace {

bool shutdown_done;
// The timer that clears the status bar's notice; 0 when none is shown.
guint notice_timer;
// VANTOREL_LOG_FPS=1 in the environment: every status-bar refresh also writes the frame-rate
// label to standard error, so the rate can be measured without reading the window.
bool log_fps;

GtkWidget* add_menu_head(const char* label) {
  GtkWidget* head = gtk_menu_item_new_with_label(label);
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(head), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(menubar), head);
  return menu;
}

GtkWidget* add_item(GtkWidget* menu, const char* label, GCallback handler) {
  GtkWidget* item = gtk_menu_item_new_with_label(label);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  g_signal_connect(item, "activate", handler, nullptr);
  return item;
}

// A submenu of two exclusive choices; the items get 0 and 1 as user data.
void add_choice_menu(GtkWidget* menu, const char* label, const char* const names[2], GtkWidget* pair[2],
                     int current_choice, GCallback handler) {
  GtkWidget* head = gtk_menu_item_new_with_label(label);
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
void on_microex_toggled(GtkWidget* item, gpointer) {
  select_MicroEx();
  if (gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) != per_MicroEx) {
    g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(on_microex_toggled), nullptr);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), per_MicroEx);
    g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(on_microex_toggled), nullptr);
  }
}

void on_load_file(GtkWidget*, gpointer) { load_file(); }
void on_hard_reset(GtkWidget*, gpointer) {
  HardReset();
  show_loaded_title("");  // the loaded file is gone from the machine
}
void on_soft_reset(GtkWidget*, gpointer) { SoftReset(); }
void on_sound(GtkWidget*, gpointer) { select_sound(); }
void on_ram(GtkWidget*, gpointer) { select_ram(); }

gboolean on_delete(GtkWidget* widget, GdkEvent*, gpointer data) {
  shutdown(widget, data);
  return FALSE;
}

void build_menus() {
  GtkWidget* file_menu = add_menu_head("File");
  add_item(file_menu, "Load File", G_CALLBACK(on_load_file));
  add_item(file_menu, "Quit", G_CALLBACK(shutdown));

  GtkWidget* operation_menu = add_menu_head("Operation");
  add_item(operation_menu, "Hard Reset", G_CALLBACK(on_hard_reset));
  add_item(operation_menu, "Soft Reset", G_CALLBACK(on_soft_reset));

  GtkWidget* options_menu = add_menu_head("Options");
  add_choice_menu(options_menu, "Display Size", displaySize, displaysizex, draw_size == 2 ? 1 : 0,
                  G_CALLBACK(update_display_size));
  add_choice_menu(options_menu, "Timing", display_mode, frames_per_secondx, timing_type == 1 ? 0 : 1,
                  G_CALLBACK(update_fps));
  add_choice_menu(options_menu, "Keyboard Type", keyboard_type, keyboard_typex, keyboard_mode ? 1 : 0,
                  G_CALLBACK(update_keyboard));
  add_choice_menu(options_menu, "Select Machine", model_name, model_typex, model ? 1 : 0,
                  G_CALLBACK(select_model));
  add_choice_menu(options_menu, "Select ROM", rom_type, rom_typex, rom_mode ? 1 : 0, G_CALLBACK(update_rom));
  add_item(options_menu, "Sound", G_CALLBACK(on_sound));
  add_item(options_menu, "Select RAM size", G_CALLBACK(on_ram));

  // The autoload mark starts from the saved setting so that it tells the truth from the first
  // frame; it is set before the handler is connected, so nothing is toggled.
  autoload_item = gtk_check_menu_item_new_with_label("CAQ Autoload");
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(autoload_item), caq_autoload);
  gtk_menu_shell_append(GTK_MENU_SHELL(options_menu), autoload_item);
  g_signal_connect(autoload_item, "activate", G_CALLBACK(on_autoload_toggled), nullptr);

  microex_item = gtk_check_menu_item_new_with_label("Micro Expander");
  gtk_menu_shell_append(GTK_MENU_SHELL(options_menu), microex_item);
  g_signal_connect(microex_item, "activate", G_CALLBACK(on_microex_toggled), nullptr);

  GtkWidget* help_menu = add_menu_head("Help");
  add_item(help_menu, "About", G_CALLBACK(select_help));
}

// The status bar's notice goes after its time, leaving the usual two labels.
gboolean end_status_notice(gpointer) {
  gtk_label_set_text(GTK_LABEL(notice_status), "");
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

void initialise_libraries() {
  gtk_init(&arg_c, &arg_v);
  fscreen = false;
  shutdown_done = false;
  const char* log_fps_setting = std::getenv("VANTOREL_LOG_FPS");
  log_fps = log_fps_setting && std::strcmp(log_fps_setting, "1") == 0;
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

  gtk_drag_dest_set(main_window, GTK_DEST_DEFAULT_ALL, targetentries, 2, GDK_ACTION_COPY);
  g_signal_connect(main_window, "drag-data-received", G_CALLBACK(on_drag_data_received), nullptr);

  menubar = gtk_menu_bar_new();
  gtk_box_pack_start(GTK_BOX(vbox), menubar, FALSE, FALSE, 0);
  build_menus();
  gtk_widget_show(menubar);

  g_signal_connect(main_window, "key_press_event", G_CALLBACK(get_keypress_event), nullptr);
  g_signal_connect(main_window, "key_release_event", G_CALLBACK(get_keyrelease_event), nullptr);
  g_signal_connect(main_window, "focus-out-event", G_CALLBACK(on_focus_out), nullptr);
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
  gtk_label_set_ellipsize(GTK_LABEL(notice_status), PANGO_ELLIPSIZE_END);
  gtk_box_pack_start(GTK_BOX(status_bar), notice_status, TRUE, TRUE, 0);
  notice_timer = 0;

  gtk_widget_show_all(main_window);
  g_timeout_add(1000, update_status_window, nullptr);
  select_keyboard_table();
}

gboolean update_status_window(gpointer) {
  set_model_status();
  char text[32];
  std::snprintf(text, sizeof text, "FPS: %u", static_cast<unsigned>(frame_count));
  gtk_label_set_text(GTK_LABEL(fps_status), text);
  if (log_fps) std::fprintf(stderr, "%s\n", text);
  frame_count = 0;
  return TRUE;
}

void ui_event() {
  // Once shut down, the RAM is gone: no further handler may run against the machine.
  while (!quit_requested && gtk_events_pending()) gtk_main_iteration();
}

void update_timer() { pace_frame(); }

void on_window_realize(GtkWidget* widget, gpointer) {
  gint x = 0, y = 0;
  gtk_window_get_position(GTK_WINDOW(widget), &x, &y);
  windowpos_X = x;
  windowpos_Y = y;
}

void show_status_notice(const std::string& text) {
  if (!notice_status) return;
  gtk_label_set_text(GTK_LABEL(notice_status), text.c_str());
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
  save_config();
  return FALSE;
}

void show_loaded_title(const std::string& name) {
  std::string title = std::string(program_name) + program_version;
  if (!name.empty()) title += " - " + name;
  if (main_window) gtk_window_set_title(GTK_WINDOW(main_window), title.c_str());
}
