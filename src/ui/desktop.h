// The desktop program: the GTK window, its menus and handlers, the presentation of the picture,
// the host keyboard and the main loop.
#pragma once
#include <gtk/gtk.h>

#include <cstdint>
#include <span>
#include <string>

// A window is 44 rows taller than its picture: the menu bar above it, the status bar below.
constexpr int MENU_AND_STATUS_ROWS = 44;

// Main window and menus.
extern GtkWidget* main_window;        // the one top-level window
extern GtkWidget* vbox;               // menu bar, drawing area, status bar, top to bottom
extern GtkWidget* menubar;            // "File", "Operation", "Options", "Help"
extern GtkWidget* status_bar;         // horizontal box under the picture
extern GtkWidget* model_status;       // model name + RAM name, right
extern GtkWidget* fps_status;         // "FPS: %d", left
extern GtkWidget* notice_status;      // a passing notice ("Tape saved: ..."), between the two; empty otherwise
extern GtkWidget* no_sound_status;    // "No sound device", left of the model, only while there is none
extern GtkWidget* autoload_item;      // "CAQ Autoload" check item
extern GtkWidget* microex_item;       // "Micro Expander" check item
extern GtkWidget* unlimited_speed_item;  // "Unlimited Speed" check item (F2)
extern GtkWidget* full_screen_item;   // "Full Screen" check item (F4)
extern GtkWidget* integer_scaling_item;  // "Integer Scaling" check item
extern GtkWidget* keypad_controller_item;  // "Keypad as Hand Controller" check item
extern GtkWidget* cursor_controller_item;  // "Cursor Keys as Hand Controller" check item
extern GtkWidget* displaysizex[2];    // "100%", "200%"
extern GtkWidget* frames_per_secondx[2];  // "PAL", "NTSC"
extern GtkWidget* keyboard_typex[2];  // "NATIVE", "PI"
extern GtkWidget* model_typex[2];     // "Aquarius I", "Aquarius II"
extern GtkWidget* rom_typex[2];       // "SERIES 1", "SERIES 2"
extern const GtkTargetEntry targetentries[2];  // drop targets: UTF8_STRING, text/uri-list
extern int arg_c;                     // command line, handed to gtk_init
extern char** arg_v;

// Presentation.
extern GtkWidget* gtkui_drawing_area;  // the emulated screen
extern bool fscreen;                   // full screen (F4)
extern uint8_t prev_draw_size;         // windowed size to return to from full screen
extern uint32_t disp_width, disp_height;       // drawing-area size in screen pixels
extern int32_t stride;                          // bytes per row of the picture for cairo

extern const char* const displaySize[2];   // "100%", "200%"
extern const char* const display_mode[2];  // "PAL", "NTSC"
extern const char* const program_name;     // "Vantorel"
extern const char* const program_version;  // " v1.02"

// Logo PNG embedded at build time.
extern const unsigned char vantorel_logo_png[];
extern const unsigned vantorel_logo_png_size;

// Window, menus, status bar, timer.
void initialise_libraries();
void ui_event();
// Sleeps until the frame's deadline, one frame period after the last (a steady clock).
void update_timer();
gboolean update_status_window(gpointer data);
// Shows text in the status bar for STATUS_NOTICE_MS; a newer notice replaces it.
void show_status_notice(const std::string& text);
// Loads a file as a drop does (also a recent file), a save state as Load State does; a failure
// is said in the status bar.
void load_dropped_file(const std::string& name);
// The file named on the command line: loaded so that it runs (see open_at_start), a save state
// as Load State does.
void open_file_at_start(const std::string& name);
// The window title: "Vantorel v1.02 - NAME" after NAME was loaded, plain with an empty name.
void show_loaded_title(const std::string& name);
constexpr guint STATUS_NOTICE_MS = 4000;
gboolean shutdown(GtkWidget* widget, gpointer data);
void on_window_realize(GtkWidget* widget, gpointer window);
// Sets a two-choice pair: the item of the choice in force is greyed out.
void set_choice_sensitivity(GtkWidget* const pair[2], int current_choice);
// Shows on a check item a state changed elsewhere (a hot key, the paste); nothing is switched.
void show_check_state(GtkWidget* item, bool on);
// Centres a dialog on the main window and makes it wide enough for its whole title.
void place_dialog(GtkWidget* dialog);

// Where the picture goes in a drawing area: the largest size that fits with square pixels (a
// whole multiple with whole_multiple, when one fits), centred.
struct picture_fit {
  double scale;
  int x, y, width, height;
};
picture_fit fit_picture(int area_width, int area_height, bool whole_multiple);

// Presentation.
void init_display();
gboolean gtkdisplay_draw(GtkWidget* widget, cairo_t* cr, gpointer data);
void update_display();
void fullscreen();
void unfullscreen();
void update_display_size(GtkWidget* widget, gpointer index);
void set_integer_scaling(bool on);

// Keyboard and the hot keys' actions (also on the menus).
void connect_key_events(GtkWidget* window);
gboolean get_keypress_event(GtkWidget* widget, GdkEventKey* event);
gboolean get_keyrelease_event(GtkWidget* widget, GdkEventKey* event);
// Frame end: key events whose time has come reach the matrix (a press held two frames, a frame
// up between a release and the next press).
void keys_frame_end();
// Lets go of every key, forgetting those still queued (focus lost, menus).
void release_all_keys();
gboolean on_focus_out(GtkWidget* widget, GdkEvent* event, gpointer data);
void update_keyboard(GtkWidget* widget, gpointer data);
void text_request_callback(GtkClipboard* clipboard, const gchar* text, gpointer data);
void paste_text();
void toggle_unlimited_speed();
void toggle_full_screen();
// Operation → Soft Reset and Hard Reset; after a hard reset the title names no file.
void soft_reset();
void hard_reset();

// The keys the window takes before its menus (hidden in full screen) and before the machine.
// A key with modifiers needs them held; one without takes any.
struct hot_key {
  guint keyval;
  GdkModifierType modifiers;
  void (*action)();
  const char* what;  // said in the help; null for the shortcut of a menu item, which the menu names
};
extern const std::span<const hot_key> hot_keys;
// Help → Keyboard…: the two layouts, the function keys and shortcuts, the host-key controllers.
void show_keyboard_help();

// Opens the audio device; without one the status bar says "No sound device" and the Sound
// dialog says why.
void start_sound();
void show_sound_device_missing(bool missing);

// Option dialogs and settings.
void update_fps(GtkWidget* widget, gpointer index);
void select_sound();
void select_ram();
void select_model(GtkWidget* widget, gpointer data);
void update_rom(GtkWidget* widget, gpointer data);
void select_help(GtkWidget* widget, gpointer data);
// Decodes the embedded logo; null if it does not decode. The caller owns the reference.
GdkPixbuf* load_logo();

// File actions: save states, screenshots, recent files, pause.
extern std::string last_loaded_name;  // base name without extension of the file last loaded
extern GtkWidget* pause_item;
// F5 and F7: the quick slot states/quick.vst in the program directory.
void quick_save_state();
void quick_load_state();
// "Save State As…" and "Load State…": a chooser of .vst files.
void save_state_as();
void load_state_chosen();
// Loads the state in path, asking first whether one made with other ROM images should be loaded
// all the same; the status bar says it was loaded, an error box why not.
void load_state_from(const std::string& path, const std::string& shown_name);
// F11: screenshots/NAME-YYYYMMDD-HHMMSS.png, named in the status bar.
void take_screenshot();
void toggle_pause();
// A file was loaded: its name for screenshots and state files, and the Recent Files menu.
void note_loaded_file(const std::string& path);
void rebuild_recent_menu();
// At start-up, after the machine is built: Sound Enabled and the Micro Expander as at the last quit.
void restore_extra_session();
// After a state load: the menus' marks and the status bar tell the machine now running.
void refresh_machine_menus();

// The cassette as the user handles it: File → Rewind Tape, Eject Tape, Export Tape as WAV…
extern GtkWidget* tape_status;        // "NAME 42%" while a cassette is inserted, left of the model
extern GtkWidget* rewind_tape_item;   // "Rewind Tape", greyed out with no cassette in
extern GtkWidget* eject_tape_item;    // "Eject Tape", greyed out with no cassette in
void rewind_tape();
void eject_tape();
// A chooser of the tape to export (the inserted cassette's file chosen already, else the
// recordings in tapes/), then one of where to save the WAV.
void export_tape_as_wav();
// The status bar's tape field and the tape items' sensitivity, as the cassette now is.
void show_tape_status();

// Loading from the menu and by drag-and-drop.
int load_file();
// A modal chooser centred on the window, Cancel and the given accepting button, the latter default.
GtkWidget* new_file_chooser(const char* title, GtkFileChooserAction action, const char* accept_label);
// Runs a chooser and destroys it: the path chosen, or empty.
std::string run_chooser(GtkWidget* chooser);
void add_filter_defaults(GtkWidget* chooser);
// Adds to a chooser filter the files whose names end in extension (".vst"), in any case.
void add_extension_pattern(GtkFileFilter* filter, const char* extension);
void on_drag_data_received(GtkWidget* widget, GdkDragContext* context, gint x, gint y,
                           GtkSelectionData* selection, guint info, guint time, gpointer data);
// The file name a dropped URI list stands for: the last entry's, when it is a local file.
// Empty when the list is empty or its last entry is not a file: URI.
std::string dropped_file_name(const char* text);

// File → Printer Output… (printer_window.cpp): the paper in a window of its own, and the status
// bar's "Printing…" label, which add_printer_status puts in the bar and keeps up to date.
extern GtkWidget* printer_window;      // null until first opened; hidden, not destroyed, when closed
extern GtkWidget* printer_paper_area;  // the paper, twice its size, at the window's top left
extern GtkWidget* printer_status;      // "Printing…", shown while bytes come in
void on_printer_output(GtkWidget* widget, gpointer data);
void add_printer_status(GtkWidget* bar);
