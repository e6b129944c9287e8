// The main window: menu tree, two-choice menus, status bar, window size, painting, keyboard.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ch376/ch376.h"

#include "core/extra_settings.h"
#include "core/host.h"
#include "core/ports.h"
#include "debug/run_control.h"
#include "core/printer.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "sound/audio_out.h"
#include "sound/ay.h"
#include "ui/audio_device.h"
#include "ui/debugger_window.h"
#include "ui_fixture.h"
#include "video/raster.h"
#include "z80/z80.h"

using namespace ui_test;

namespace {

struct menu_row {
  const char* head;
  std::vector<std::string> items;
};

// The menu tree as the user sees it ("-" is a separator).
const std::vector<menu_row> expected_menus = {
    {"File",
     {"Load File…", "Recent Files", "-", "Rewind Tape", "Eject Tape", "Export Tape as WAV…", "-", "Save State",
      "Load State", "Save State As…", "Load State…", "-", "Save Screenshot", "Printer Output…", "-", "Quit"}},
    {"Operation",
     {"Hard Reset", "Soft Reset", "-", "Unlimited Speed", "Paste Text", "Pause", "-", "Debugger…",
      "Break on Reading Unwritten RAM", "Power-on RAM"}},
    {"Options",
     {"Display Size", "Timing", "Keyboard Type", "Select Machine", "Select ROM", "Sound…", "Select RAM size…",
      "CAQ Autoload", "Micro Expander", "Keypad as Hand Controller", "Cursor Keys as Hand Controller"}},
    {"Help", {"Keyboard…", "About…"}},
};

const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> expected_submenus = {
    {{"Options", "Display Size"}, {"100%", "200%", "-", "Full Screen", "Integer Scaling"}},
    {{"Options", "Timing"}, {"PAL", "NTSC"}},
    {{"Options", "Keyboard Type"}, {"NATIVE", "PI"}},
    {{"Options", "Select Machine"}, {"Aquarius I", "Aquarius II"}},
    {{"Options", "Select ROM"}, {"SERIES 1", "SERIES 2"}},
    {{"Operation", "Power-on RAM"}, {"Zero", "Random"}},
};

bool sensitive(const std::vector<std::string>& path) {
  GtkWidget* item = menu_item(path);
  EXPECT_NE(item, nullptr) << path.back();
  return item && gtk_widget_get_sensitive(item);
}

void activate(const std::vector<std::string>& path) {
  GtkWidget* item = menu_item(path);
  ASSERT_NE(item, nullptr) << path.back();
  gtk_menu_item_activate(GTK_MENU_ITEM(item));
  pump(20);
}

// A key event as the X server would send it. The hardware code tells the physical key; by
// default the one the keymap gives for the key value (the window's shortcuts are matched by it).
void send_key(GdkEventType type, guint keyval, guint16 hardware_code = 0,
              GdkModifierType state = static_cast<GdkModifierType>(0), GtkWidget* target = main_window) {
  GdkEvent* event = gdk_event_new(type);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(target)));
  event->key.keyval = keyval;
  event->key.state = state;
  event->key.hardware_keycode = hardware_code;
  GdkKeymapKey* keys = nullptr;
  gint n_keys = 0;
  if (!hardware_code &&
      gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys, &n_keys) &&
      n_keys > 0)
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
  g_free(keys);
  if (!event->key.hardware_keycode) event->key.hardware_keycode = static_cast<guint16>(keyval & 0xFF);
  event->key.time = GDK_CURRENT_TIME;
  gtk_widget_event(target, event);
  gdk_event_free(event);
}

bool check_active(const std::vector<std::string>& path) {
  GtkWidget* item = menu_item(path);
  return item && gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item));
}

bool visible(GtkWidget* widget) { return gtk_widget_get_visible(widget); }

// Whether one of the window's shortcut groups activates item for key with modifiers, as a
// shortcut shown in the menu.
bool activated_by(GtkWidget* item, guint key, GdkModifierType modifiers) {
  bool found = false;
  GList* closures = gtk_widget_list_accel_closures(item);
  for (GList* c = closures; c; c = c->next) {
    GClosure* closure = static_cast<GClosure*>(c->data);
    guint count = 0;
    GtkAccelGroupEntry* entries = gtk_accel_group_query(gtk_accel_group_from_accel_closure(closure), key, modifiers, &count);
    for (guint i = 0; i < count; ++i)
      found = found || (entries[i].closure == closure && (entries[i].key.accel_flags & GTK_ACCEL_VISIBLE));
  }
  g_list_free(closures);
  return found;
}

void fill_with_pattern() {
  for (uint32_t y = 0; y < display_height; ++y)
    for (uint32_t x = 0; x < display_width; ++x) display_buffer[y * display_width + x] = (x * 0x010203u + y * 0x30507u) & 0xFFFFFF;
}

// Paints the drawing area into a surface of its size and counts the pixels that are not what a
// picture scaled by `scale` at (x0, y0) on black shows.
int wrongly_painted(int scale, int x0, int y0) {
  const int width = gtk_widget_get_allocated_width(gtkui_drawing_area);
  const int height = gtk_widget_get_allocated_height(gtkui_drawing_area);
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(target);
  gtkdisplay_draw(gtkui_drawing_area, cr, nullptr);
  cairo_destroy(cr);
  cairo_surface_flush(target);
  const uint8_t* data = cairo_image_surface_get_data(target);
  const int target_stride = cairo_image_surface_get_stride(target);
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t painted = *reinterpret_cast<const uint32_t*>(data + y * target_stride + x * 4) & 0xFFFFFF;
      const int px = x - x0, py = y - y0;
      const bool inside = px >= 0 && py >= 0 && px < 352 * scale && py < 232 * scale;
      if (painted != (inside ? display_buffer[(py / scale) * display_width + px / scale] : 0u)) ++wrong;
    }
  cairo_surface_destroy(target);
  return wrong;
}

}  // namespace

TEST(MainWindow, MenuTreeHasTheHeadsItemsAndLabelsInOrder) {
  std::string title = gtk_window_get_title(GTK_WINDOW(main_window));
  EXPECT_EQ(title, "Vantorel v1.02");

  std::vector<GtkWidget*> heads = items_of(menubar);
  ASSERT_EQ(heads.size(), expected_menus.size());
  for (size_t h = 0; h < heads.size(); ++h) {
    EXPECT_EQ(label_of(heads[h]), expected_menus[h].head);
    std::vector<GtkWidget*> items = items_of(menu_of(heads[h]));
    ASSERT_EQ(items.size(), expected_menus[h].items.size()) << expected_menus[h].head;
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(label_of(items[i]), expected_menus[h].items[i]);
  }
  for (const auto& [path, choices] : expected_submenus) {
    const std::string& name = path.back();
    GtkWidget* head = menu_item(path);
    ASSERT_NE(head, nullptr) << name;
    std::vector<std::string> labels;
    for (GtkWidget* item : items_of(menu_of(head))) labels.push_back(label_of(item));
    EXPECT_EQ(labels, choices) << name;
  }
  // The switches are check items, plain items everywhere else.
  EXPECT_TRUE(GTK_IS_CHECK_MENU_ITEM(menu_item({"Options", "CAQ Autoload"})));
  EXPECT_TRUE(GTK_IS_CHECK_MENU_ITEM(menu_item({"Options", "Micro Expander"})));
  EXPECT_TRUE(GTK_IS_CHECK_MENU_ITEM(menu_item({"Operation", "Unlimited Speed"})));
  EXPECT_TRUE(GTK_IS_CHECK_MENU_ITEM(menu_item({"Options", "Display Size", "Full Screen"})));
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(menu_item({"Options", "Display Size", "Integer Scaling"}))));
  EXPECT_FALSE(GTK_IS_CHECK_MENU_ITEM(menu_item({"Options", "Sound"})));
  EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(menu_item({"Options", "Micro Expander"}))));
  EXPECT_TRUE(GTK_IS_CHECK_MENU_ITEM(menu_item({"Options", "Cursor Keys as Hand Controller"})));
  // The two layouts say what they do where they are chosen.
  for (const char* layout : {"NATIVE", "PI"}) {
    gchar* tip = gtk_widget_get_tooltip_text(menu_item({"Options", "Keyboard Type", layout}));
    EXPECT_TRUE(tip && std::strlen(tip) > 20) << layout;
    g_free(tip);
  }
}

// The mnemonics and shortcuts a GTK user expects, shown in the menus and taken from the keyboard.
TEST(MainWindow, MenusHaveMnemonicsAndShortcuts) {
  const struct {
    std::vector<std::string> path;
    guint key;
    GdkModifierType modifiers;
  } shortcuts[] = {
      {{"File", "Load File…"}, GDK_KEY_o, GDK_CONTROL_MASK},
      {{"File", "Quit"}, GDK_KEY_q, GDK_CONTROL_MASK},
      {{"Operation", "Unlimited Speed"}, GDK_KEY_F2, static_cast<GdkModifierType>(0)},
      {{"Operation", "Paste Text"}, GDK_KEY_F12, static_cast<GdkModifierType>(0)},
      {{"Options", "Display Size", "Full Screen"}, GDK_KEY_F4, static_cast<GdkModifierType>(0)},
      {{"File", "Save State"}, GDK_KEY_F5, static_cast<GdkModifierType>(0)},
      {{"File", "Load State"}, GDK_KEY_F7, static_cast<GdkModifierType>(0)},
      {{"File", "Save Screenshot"}, GDK_KEY_F11, static_cast<GdkModifierType>(0)},
      {{"Operation", "Pause"}, GDK_KEY_p, GDK_CONTROL_MASK},
      {{"Operation", "Soft Reset"}, GDK_KEY_F9, static_cast<GdkModifierType>(0)},
      {{"Operation", "Hard Reset"}, GDK_KEY_F9, GDK_SHIFT_MASK},
      {{"Operation", "Debugger…"}, GDK_KEY_F8, static_cast<GdkModifierType>(0)},
  };
  for (const auto& shortcut : shortcuts) {
    GtkWidget* item = menu_item(shortcut.path);
    ASSERT_NE(item, nullptr) << shortcut.path.back();
    EXPECT_TRUE(activated_by(item, shortcut.key, shortcut.modifiers)) << shortcut.path.back();
    EXPECT_EQ(gtk_accel_label_get_accel_widget(GTK_ACCEL_LABEL(gtk_bin_get_child(GTK_BIN(item)))), item)
        << shortcut.path.back() << ": the label does not show the item's shortcut";
  }

  // Ctrl+O opens the chooser, and the Control key it came with is not left down on the machine.
  ClearPorts();
  dialog_answer chooser{"Open File", nullptr, GTK_RESPONSE_CANCEL};
  guint source = arm(chooser);
  send_key(GDK_KEY_PRESS, GDK_KEY_Control_L);
  send_key(GDK_KEY_PRESS, GDK_KEY_o, 0, GDK_CONTROL_MASK);
  disarm(source, chooser);
  EXPECT_TRUE(chooser.seen);
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF) << column;
  send_key(GDK_KEY_RELEASE, GDK_KEY_o, 0, GDK_CONTROL_MASK);
  send_key(GDK_KEY_RELEASE, GDK_KEY_Control_L, 0, GDK_CONTROL_MASK);

  // Alt+F opens File; F10 opens the menu bar at its first menu.
  send_key(GDK_KEY_PRESS, GDK_KEY_f, 0, GDK_MOD1_MASK);
  pump(100);
  EXPECT_EQ(gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(menubar)), menu_item({"File"}));
  EXPECT_TRUE(gtk_widget_get_mapped(menu_of(menu_item({"File"}))));
  gtk_menu_shell_cancel(GTK_MENU_SHELL(menubar));
  pump(50);
  send_key(GDK_KEY_PRESS, GDK_KEY_F10);
  pump(100);
  EXPECT_EQ(gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(menubar)), menu_item({"File"}));
  gtk_menu_shell_cancel(GTK_MENU_SHELL(menubar));
  pump(50);
}

TEST(MainWindow, DefaultSizeAndLayoutFollowTheDisplaySize) {
  const int d = draw_size;
  gint width = 0, height = 0;
  gtk_window_get_default_size(GTK_WINDOW(main_window), &width, &height);
  EXPECT_EQ(width, 352 * d);
  EXPECT_EQ(height, 232 * d + 44);
  EXPECT_EQ(gtk_widget_get_allocated_width(gtkui_drawing_area), 352 * d);
  EXPECT_EQ(gtk_widget_get_allocated_height(gtkui_drawing_area), 232 * d);
  EXPECT_EQ(sensitive({"Options", "Display Size", "100%"}), d == 2);
  EXPECT_EQ(sensitive({"Options", "Display Size", "200%"}), d == 1);

  // Top to bottom: menu bar, picture, status bar; model on the right, rate on the left.
  std::vector<GtkWidget*> rows = items_of(vbox);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], menubar);
  EXPECT_EQ(rows[1], gtkui_drawing_area);
  EXPECT_EQ(rows[2], status_bar);
  GtkAllocation model_at, fps_at;
  gtk_widget_get_allocation(model_status, &model_at);
  gtk_widget_get_allocation(fps_status, &fps_at);
  EXPECT_GT(model_at.x, fps_at.x);
  EXPECT_EQ(gtk_label_get_width_chars(GTK_LABEL(model_status)), 19);
  EXPECT_EQ(gtk_label_get_width_chars(GTK_LABEL(fps_status)), 8);
}

TEST(MainWindow, DropTargetsAreUtf8StringThenUriList) {
  GtkTargetList* targets = gtk_drag_dest_get_target_list(main_window);
  ASSERT_NE(targets, nullptr);
  gint count = 0;
  GtkTargetEntry* table = gtk_target_table_new_from_list(targets, &count);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(table[0].target, "UTF8_STRING");
  EXPECT_EQ(table[0].info, 0u);
  EXPECT_STREQ(table[1].target, "text/uri-list");
  EXPECT_EQ(table[1].info, 1u);
  gtk_target_table_free(table, count);
}

TEST(MainWindow, TwoChoiceMenusGreyOutTheChoiceInForce) {
  // Timing.
  ASSERT_EQ(timing_type, 1);
  EXPECT_FALSE(sensitive({"Options", "Timing", "PAL"}));
  EXPECT_TRUE(sensitive({"Options", "Timing", "NTSC"}));
  activate({"Options", "Timing", "NTSC"});
  EXPECT_EQ(timing_type, 2);
  EXPECT_EQ(frame_length, 59659u);
  EXPECT_EQ(frame_period_ns(), 16666643u);
  EXPECT_TRUE(sensitive({"Options", "Timing", "PAL"}));
  EXPECT_FALSE(sensitive({"Options", "Timing", "NTSC"}));
  activate({"Options", "Timing", "PAL"});
  EXPECT_EQ(timing_type, 1);
  EXPECT_EQ(frame_length, 71590u);
  EXPECT_FALSE(sensitive({"Options", "Timing", "PAL"}));

  // Keyboard type: the table in use follows.
  ASSERT_FALSE(keyboard_mode);
  EXPECT_FALSE(sensitive({"Options", "Keyboard Type", "NATIVE"}));
  EXPECT_TRUE(sensitive({"Options", "Keyboard Type", "PI"}));
  activate({"Options", "Keyboard Type", "PI"});
  EXPECT_TRUE(keyboard_mode);
  EXPECT_EQ(keyboard_read, pi_keyboard_read);
  EXPECT_TRUE(sensitive({"Options", "Keyboard Type", "NATIVE"}));
  EXPECT_FALSE(sensitive({"Options", "Keyboard Type", "PI"}));
  activate({"Options", "Keyboard Type", "NATIVE"});
  EXPECT_FALSE(keyboard_mode);
  EXPECT_EQ(keyboard_read, native_keyboard_read);

  // Machine: the ROMs are reloaded (the Aquarius II runs the series 2 system ROM with the
  // extension ROM in RAM at 0x2000) and the CPU restarts.
  ASSERT_EQ(model, 0);
  EXPECT_FALSE(sensitive({"Options", "Select Machine", "Aquarius I"}));
  EXPECT_TRUE(sensitive({"Options", "Select Machine", "Aquarius II"}));
  z80.pc = 0x1234;
  activate({"Options", "Select Machine", "Aquarius II"});
  EXPECT_EQ(model, 1);
  EXPECT_EQ(z80.pc, 0);
  EXPECT_EQ(std::memcmp(AQUA_ROM + 0x100, pattern(8192, SEED_S2).data() + 0x100, 0x1000), 0);
  EXPECT_EQ(std::memcmp(ram + 0x2000, pattern(4096, SEED_EXT).data(), 4096), 0);
  EXPECT_TRUE(sensitive({"Options", "Select Machine", "Aquarius I"}));
  EXPECT_FALSE(sensitive({"Options", "Select Machine", "Aquarius II"}));
  activate({"Options", "Select Machine", "Aquarius I"});
  EXPECT_EQ(model, 0);
  EXPECT_FALSE(sensitive({"Options", "Select Machine", "Aquarius I"}));
  // Without extbasic.rom the switch shows why and changes nothing: no reset, memory and the
  // menus as they were.
  const std::string ext = scratch_dir + "/roms/extbasic.rom";
  ASSERT_EQ(std::rename(ext.c_str(), (ext + ".away").c_str()), 0);
  z80.pc = 0x2345;
  ram[0x4000] = 0x77;
  ram[0x3000] = 'P';
  dialog_answer error_box{"", [](GtkWidget*) {}, GTK_RESPONSE_CLOSE};
  error_box.message_box_only = true;
  guint source = arm(error_box);
  activate({"Options", "Select Machine", "Aquarius II"});
  disarm(source, error_box);
  EXPECT_TRUE(error_box.seen);
  EXPECT_EQ(model, 0);
  EXPECT_EQ(z80.pc, 0x2345);
  EXPECT_EQ(ram[0x4000], 0x77);
  EXPECT_EQ(ram[0x3000], 'P');
  EXPECT_FALSE(sensitive({"Options", "Select Machine", "Aquarius I"}));
  ASSERT_EQ(std::rename((ext + ".away").c_str(), ext.c_str()), 0);

  // ROM series: file names and images follow.
  ASSERT_EQ(rom_mode, 1);
  EXPECT_TRUE(sensitive({"Options", "Select ROM", "SERIES 1"}));
  EXPECT_FALSE(sensitive({"Options", "Select ROM", "SERIES 2"}));
  z80.pc = 0x4321;
  activate({"Options", "Select ROM", "SERIES 1"});
  EXPECT_EQ(rom_mode, 0);
  EXPECT_EQ(current_rom, "aquariusS1.rom");
  EXPECT_EQ(current_char, "charS1.rom");
  EXPECT_EQ(z80.pc, 0);
  EXPECT_EQ(std::memcmp(CHAR_ROM, pattern(2048, SEED_CHAR_S1).data(), 2048), 0);
  EXPECT_EQ(std::memcmp(AQUA_ROM, pattern(8192, SEED_S1).data(), 0x1000), 0);
  EXPECT_FALSE(sensitive({"Options", "Select ROM", "SERIES 1"}));
  EXPECT_TRUE(sensitive({"Options", "Select ROM", "SERIES 2"}));
  activate({"Options", "Select ROM", "SERIES 2"});
  EXPECT_EQ(rom_mode, 1);
  EXPECT_EQ(current_rom, "aquariusS2.rom");
  EXPECT_EQ(std::memcmp(CHAR_ROM, pattern(2048, SEED_CHAR_S2).data(), 2048), 0);
}

TEST(MainWindow, DisplaySizeMenuResizesClearsAndScalesSharply) {
  const uint8_t start = draw_size;
  const char* other = start == 1 ? "200%" : "100%";
  const char* back = start == 1 ? "100%" : "200%";
  for (uint32_t& pixel : display_buffer) pixel = 0x00C0C0C0;
  activate({"Options", "Display Size", other});
  const int d = 3 - start;
  EXPECT_EQ(draw_size, d);
  EXPECT_EQ(disp_width, 352u * d);
  EXPECT_EQ(disp_height, 232u * d);
  EXPECT_EQ(sensitive({"Options", "Display Size", other}), false);
  EXPECT_EQ(sensitive({"Options", "Display Size", back}), true);
  bool all_black = true;
  for (uint32_t pixel : display_buffer) all_black = all_black && pixel == 0;
  EXPECT_TRUE(all_black);
  pump(200);
  EXPECT_EQ(gtk_widget_get_allocated_width(gtkui_drawing_area), 352 * d);
  EXPECT_EQ(gtk_widget_get_allocated_height(gtkui_drawing_area), 232 * d);
  GtkAllocation window_at;
  gtk_widget_get_allocation(main_window, &window_at);
  EXPECT_EQ(window_at.width, 352 * d);

  // Paint at 200 %: every emulated pixel becomes a sharp 2 x 2 block of its own colour.
  if (d != 2) activate({"Options", "Display Size", "200%"});
  pump(200);
  fill_with_pattern();
  EXPECT_EQ(wrongly_painted(2, 0, 0), 0);

  if (draw_size != start) activate({"Options", "Display Size", back});
  EXPECT_EQ(draw_size, start);

  // An 800 x 600 area: 704 x 464 at (48, 68) in whole multiples; else 800 / 352 times, 527 rows.
  const picture_fit whole = fit_picture(800, 600, true), any = fit_picture(800, 600, false);
  EXPECT_EQ(std::vector<int>({whole.x, whole.y, whole.width, whole.height}), std::vector<int>({48, 68, 704, 464}));
  EXPECT_EQ(std::vector<int>({any.x, any.y, any.width, any.height}), std::vector<int>({0, 36, 800, 527}));
}

// The window is painted where the picture changed (a frame that drew cells, a state load even
// while no frame runs, a change of scaling) and not for frames that drew nothing: paint painted
// over the window by someone else stays until then.
TEST(MainWindow, PaintsOnlyWhenThePictureChanges) {
  uint8_t rom_start[2];
  std::memcpy(rom_start, AQUA_ROM, 2);
  AQUA_ROM[0] = 0x18;  // JR $: a machine that leaves the screen alone
  AQUA_ROM[1] = 0xFE;
  Reset_Z80();
  sound_setup();  // as the start-up does: a state holds the sample clock it sets
  GdkWindow* window = gtk_widget_get_window(gtkui_drawing_area);
  const picture_fit fit = fit_picture(gtk_widget_get_allocated_width(gtkui_drawing_area),
                                      gtk_widget_get_allocated_height(gtkui_drawing_area), integer_scaling);
  auto frames = [](int n) {
    for (int i = 0; i < n; ++i) {
      one_Z80_frame();
      pump(10);
    }
  };
  auto scribble = [&] {
    cairo_region_t* all = gdk_window_get_visible_region(window);
    GdkDrawingContext* context = gdk_window_begin_draw_frame(window, all);
    cairo_t* cr = gdk_drawing_context_get_cairo_context(context);
    cairo_set_source_rgb(cr, 1, 0, 1);
    cairo_paint(cr);
    gdk_window_end_draw_frame(window, context);
    cairo_region_destroy(all);
  };
  // Whether the window shows the picture's own pixel at line y, column x (else the scribble).
  auto shows_picture = [&](uint32_t y, uint32_t x) {
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(window, fit.x + static_cast<int>((x + 0.5) * fit.scale),
                                                 fit.y + static_cast<int>((y + 0.5) * fit.scale), 1, 1);
    const guchar* p = gdk_pixbuf_get_pixels(shot);
    const uint32_t shown = uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
    g_object_unref(shot);
    return shown == display_buffer[y * display_width + x];
  };
  frames(3);
  scribble();
  frames(10);
  EXPECT_FALSE(shows_picture(115, 180)) << "frames that drew nothing";
  ram[0x3000 + 12 * 40 + 20] ^= 0xFF;  // lines 112-119, pixels 176-183
  frames(2);
  EXPECT_TRUE(shows_picture(115, 180)) << "a frame that drew a cell";
  EXPECT_FALSE(shows_picture(200, 180)) << "lines below those it drew";
  quick_save_state();
  scribble();
  quick_load_state();
  pump(50);
  EXPECT_TRUE(shows_picture(200, 180)) << "a state loaded";
  scribble();
  set_integer_scaling(!integer_scaling);
  pump(50);
  set_integer_scaling(!integer_scaling);
  pump(50);
  EXPECT_TRUE(shows_picture(200, 180)) << "the scaling changed";
  std::memcpy(AQUA_ROM, rom_start, 2);
}

TEST(MainWindow, FullScreenKeepsTheStatusBarAndReturnsToTheWindowedSize) {
  const uint8_t start = draw_size;
  send_key(GDK_KEY_PRESS, KEY_F4);
  EXPECT_TRUE(fscreen);
  EXPECT_EQ(draw_size, 3);
  EXPECT_FALSE(visible(menubar));
  EXPECT_TRUE(visible(status_bar));
  pump(200);
  // Picture and status bar share the screen: the status bar ends at its bottom edge.
  GdkRectangle screen;
  gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &screen);
  EXPECT_EQ(disp_width, static_cast<uint32_t>(screen.width));
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(full_screen_item)));
  // The largest whole multiple that fits, centred on black.
  const int whole = std::min<int>(disp_width / 352, disp_height / 232);
  fill_with_pattern();
  EXPECT_EQ(wrongly_painted(whole, (disp_width - 352 * whole) / 2, (disp_height - 232 * whole) / 2), 0);
  GtkAllocation picture_at, status_at;
  gtk_widget_get_allocation(gtkui_drawing_area, &picture_at);
  gtk_widget_get_allocation(status_bar, &status_at);
  EXPECT_EQ(picture_at.y, 0);
  EXPECT_EQ(picture_at.width, screen.width);
  EXPECT_EQ(picture_at.height, static_cast<int>(disp_height));
  EXPECT_GT(status_at.height, 0);
  EXPECT_EQ(status_at.y + status_at.height + 1, screen.height);
  const uint8_t before[8] = {keyboard_map[0], keyboard_map[1], keyboard_map[2], keyboard_map[3],
                             keyboard_map[4], keyboard_map[5], keyboard_map[6], keyboard_map[7]};
  send_key(GDK_KEY_RELEASE, KEY_F4);  // a release changes nothing
  EXPECT_EQ(std::memcmp(before, keyboard_map, 8), 0);
  send_key(GDK_KEY_PRESS, GDK_KEY_Escape);
  EXPECT_FALSE(fscreen);
  EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(full_screen_item)));
  EXPECT_EQ(draw_size, start);
  EXPECT_TRUE(visible(menubar));
  EXPECT_EQ(disp_width, 352u * start);
  pump(200);
  EXPECT_EQ(gtk_widget_get_allocated_width(gtkui_drawing_area), 352 * start);
  EXPECT_EQ(gtk_widget_get_allocated_height(gtkui_drawing_area), 232 * start);
}

TEST(MainWindow, KeyEventsReachTheMatrixAndF2TogglesSpeed) {
  keyboard_mode = false;
  select_keyboard_table();
  ClearPorts();
  send_key(GDK_KEY_PRESS, GDK_KEY_a);
  EXPECT_EQ(keyboard_map[6], 0xDF);
  send_key(GDK_KEY_PRESS, GDK_KEY_Return);
  EXPECT_EQ(keyboard_map[0], 0xF7);
  send_key(GDK_KEY_RELEASE, GDK_KEY_a);
  send_key(GDK_KEY_RELEASE, GDK_KEY_Return);
  EXPECT_EQ(keyboard_map[6], 0xDF) << "a press is held for two frames before its release";
  keys_frame_end();
  keys_frame_end();
  EXPECT_EQ(keyboard_map[6], 0xFF);
  EXPECT_EQ(keyboard_map[0], 0xFF);

  // Quick taps of one key between two frames: each is down two frames, then up one (after the
  // frame every key stays up following a release).
  keys_frame_end();
  std::vector<uint8_t> seen;
  for (int tap = 0; tap < 3; ++tap) {
    send_key(GDK_KEY_PRESS, GDK_KEY_b);
    send_key(GDK_KEY_RELEASE, GDK_KEY_b);
  }
  for (int frame = 0; frame < 9; ++frame) {
    seen.push_back(keyboard_map[3]);
    keys_frame_end();
  }
  EXPECT_EQ(seen, (std::vector<uint8_t>{0xDF, 0xDF, 0xFF, 0xDF, 0xDF, 0xFF, 0xDF, 0xDF, 0xFF}));

  // PI: Shift+9 is "(", which the machine types as SHIFT+8. Shift let go first, then the 9 key
  // (whose release now says "9"): every machine key the press put down comes up.
  keyboard_mode = true;
  select_keyboard_table();
  send_key(GDK_KEY_PRESS, GDK_KEY_Shift_L, 50);
  send_key(GDK_KEY_PRESS, GDK_KEY_parenleft, 18);
  keys_frame_end();
  keys_frame_end();
  EXPECT_NE(std::memcmp(keyboard_map, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8), 0);
  send_key(GDK_KEY_RELEASE, GDK_KEY_Shift_L, 50);
  send_key(GDK_KEY_RELEASE, GDK_KEY_9, 18);
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF) << column;
  keyboard_mode = false;
  select_keyboard_table();

  // Keys the machine lacks type nothing; the keypad types what it shows.
  for (guint key : {GDK_KEY_Home, GDK_KEY_End, GDK_KEY_Page_Up, GDK_KEY_Page_Down, GDK_KEY_Insert}) {
    send_key(GDK_KEY_PRESS, key);
    for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF) << key;
    send_key(GDK_KEY_RELEASE, key);
  }
  keys_frame_end();  // the frame up after the last release
  send_key(GDK_KEY_PRESS, GDK_KEY_KP_7);
  EXPECT_EQ(keyboard_map[3], 0xFB) << "keypad 7 is the 7 key";
  send_key(GDK_KEY_PRESS, GDK_KEY_KP_Enter);
  EXPECT_EQ(keyboard_map[0], 0xF7) << "keypad Enter is RETURN";
  // Losing the focus lets go of everything held.
  GdkEvent* focus = gdk_event_new(GDK_FOCUS_CHANGE);
  focus->focus_change.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(main_window)));
  focus->focus_change.in = FALSE;
  gtk_widget_event(main_window, focus);
  gdk_event_free(focus);
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF) << column;

  speed = 0;
  send_key(GDK_KEY_PRESS, GDK_KEY_F2);
  EXPECT_EQ(speed, 1);
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(unlimited_speed_item)));
  send_key(GDK_KEY_RELEASE, GDK_KEY_F2);
  EXPECT_EQ(speed, 1);
  send_key(GDK_KEY_PRESS, GDK_KEY_F2);
  EXPECT_EQ(speed, 0);
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF);
}

// Options -> Cursor Keys as Hand Controller: the arrows are the disc, Insert, Home, Page Up,
// Delete, End and Page Down its six keys; none of them types while it is on.
TEST(MainWindow, CursorKeysAsHandControllerTypeNothing) {
  ClearPorts();
  activate({"Options", "Cursor Keys as Hand Controller"});
  ASSERT_TRUE(check_active({"Options", "Cursor Keys as Hand Controller"}));
  // Up and Left give the diagonal, Delete (else BACKSPACE) button 3: bits 3, 2 and 5 low.
  for (guint key : {GDK_KEY_Up, GDK_KEY_Left, GDK_KEY_Delete}) send_key(GDK_KEY_PRESS, key);
  EXPECT_EQ(snd.regs[14], 0xD3);
  for (int column = 0; column < 8; ++column) EXPECT_EQ(keyboard_map[column], 0xFF) << column;
  for (guint key : {GDK_KEY_Up, GDK_KEY_Left, GDK_KEY_Delete}) send_key(GDK_KEY_RELEASE, key);
  EXPECT_EQ(snd.regs[14], 0xFF);
  // Switched off, Up is the R key again and the controller is left alone.
  send_key(GDK_KEY_PRESS, GDK_KEY_Up);
  activate({"Options", "Cursor Keys as Hand Controller"});
  EXPECT_FALSE(check_active({"Options", "Cursor Keys as Hand Controller"}));
  EXPECT_EQ(snd.regs[14], 0xFF) << "switching off lets go of the disc";
  send_key(GDK_KEY_PRESS, GDK_KEY_Up);
  EXPECT_EQ(keyboard_map[5], 0xF7);
  EXPECT_EQ(snd.regs[14], 0xFF);
  release_all_keys();
}

TEST(MainWindow, F12PastesTheClipboardTextAndNothingWhenEmpty) {
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  gtk_clipboard_clear(clipboard);
  gtk_clipboard_set_text(clipboard, "", 0);
  gtk_clipboard_clear(clipboard);
  pump(50);
  spool_file = false;
  send_key(GDK_KEY_PRESS, GDK_KEY_F12);
  pump(300);
  EXPECT_FALSE(spool_file);

  gtk_clipboard_set_text(clipboard, "PRINT 7", -1);
  pump(50);
  send_key(GDK_KEY_PRESS, GDK_KEY_F12);
  pump(300);
  ASSERT_TRUE(spool_file);
  ASSERT_NE(aqua_txt, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(aqua_txt), 7), "PRINT 7");
  EXPECT_EQ(aqua_txt[7], 0x7F);
  EXPECT_EQ(spool_speed, 6);
  EXPECT_EQ(speed, 1);
  spool_file = false;
  speed = 0;
  ClearPorts();
}

TEST(MainWindow, CheckItemsAndResetsActOnTheMachine) {
  // CAQ Autoload: the mark and the setting flip together.
  GtkWidget* autoload = menu_item({"Options", "CAQ Autoload"});
  const bool autoload_before = caq_autoload;
  EXPECT_EQ(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(autoload)), autoload_before);
  activate({"Options", "CAQ Autoload"});
  EXPECT_EQ(caq_autoload, !autoload_before);
  EXPECT_EQ(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(autoload)), !autoload_before);
  activate({"Options", "CAQ Autoload"});
  EXPECT_EQ(caq_autoload, autoload_before);

  // Micro Expander without its ROM: the error box comes, the expansion stays off and so does
  // the mark, although the toolkit had already ticked it.
  GtkWidget* microex = menu_item({"Options", "Micro Expander"});
  dialog_answer error_box{"", nullptr, GTK_RESPONSE_CLOSE};
  error_box.message_box_only = true;
  guint source = arm(error_box);
  activate({"Options", "Micro Expander"});
  disarm(source, error_box);
  EXPECT_TRUE(error_box.seen);
  EXPECT_FALSE(per_MicroEx);
  EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(microex)));

  // With the ROM: on (32K, the ROM in the cartridge page), then off again; the mark follows.
  const auto expansion = pattern(8192, 99);
  write_file(scratch_dir + "/roms/aqubasic.rom", expansion);
  activate({"Options", "Micro Expander"});
  EXPECT_TRUE(per_MicroEx);
  EXPECT_TRUE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(microex)));
  EXPECT_EQ(ram_size, 3);
  EXPECT_EQ(memtop, 0xBFFFu);
  EXPECT_EQ(std::memcmp(Page_RAM[7], expansion.data(), 0x2000), 0);
  activate({"Options", "Micro Expander"});
  EXPECT_FALSE(per_MicroEx);
  EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(microex)));
  std::filesystem::remove(scratch_dir + "/roms/aqubasic.rom");
  ram_size = 2;
  memtop = max_memtop[2];

  // Soft reset restarts at 0 and keeps RAM; hard reset reloads the ROMs and clears RAM.
  ram[0x5000] = 0x5A;
  keyboard_map[3] = 0x00;
  // Their shortcuts, F9 and Shift+F9, work in full screen too, where the menus are hidden.
  z80.pc = 0x1234;
  toggle_full_screen();
  send_key(GDK_KEY_PRESS, GDK_KEY_F9);
  toggle_full_screen();
  EXPECT_EQ(z80.pc, 0);
  EXPECT_EQ(ram[0x5000], 0x5A);
  EXPECT_EQ(keyboard_map[3], 0xFF);
  z80.pc = 0x1234;
  send_key(GDK_KEY_PRESS, GDK_KEY_F9, 0, GDK_SHIFT_MASK);
  EXPECT_EQ(z80.pc, 0);
  EXPECT_EQ(ram[0x5000], 0);
}

TEST(MainWindow, StatusBarShowsModelRamAndFrameRate) {
  frame_count = 37;
  model = 0;
  ram_size = 2;
  update_status_window(nullptr);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(fps_status)), "FPS: 37");
  EXPECT_EQ(frame_count, 0u);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(model_status)), "Aquarius I 16K RAM ");
  model = 1;
  ram_size = 4;
  frame_count = 61;
  update_status_window(nullptr);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(model_status)), "Aquarius II 64K RAM ");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(fps_status)), "FPS: 61");
  model = 0;
  ram_size = 2;
  memtop = max_memtop[2];
}

// "Printing…" stands in the status bar while a byte comes in and for a moment after it.
TEST(MainWindow, StatusBarSaysPrintingWhileBytesComeIn) {
  EXPECT_FALSE(visible(printer_status));
  const uint32_t machine_time = t_state;  // the sound generator's clock counts on it
  WritePort(0xFE, 0xFE);  // a start bit
  t_state += PRINTER_BIT_TSTATES;
  WritePort(0xFE, 0xFF);  // a 0 in bit 0, the rest and the stop bit 1
  pump(300);
  EXPECT_TRUE(visible(printer_status));
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(printer_status)), "Printing…");
  for (int frame = 0; frame < 30; ++frame) printer_frame_end(frame_length);
  pump(300);
  EXPECT_FALSE(visible(printer_status));
  printer_tear_off();
  t_state = machine_time;
}

// The status bar names the inserted cassette and how much of it has been read; Rewind Tape and
// Eject Tape are greyed out with none in.
TEST(MainWindow, TapeFieldAndItemsFollowTheCassette) {
  const bool autoload = caq_autoload;
  caq_autoload = false;
  show_status_notice("");  // a notice too long to stand beside the fields would hide them
  caq_eject();
  show_tape_status();
  EXPECT_FALSE(visible(tape_status));
  EXPECT_FALSE(sensitive({"File", "Rewind Tape"}) || sensitive({"File", "Eject Tape"}));
  const std::vector<uint8_t> image(200, 0xFF);
  ASSERT_TRUE(caq_insert(image.data(), 200));
  caq_loaded = true;
  caq_path = scratch_dir + "/GAME.caq";
  for (const auto& [reads, shown] : {std::pair{0, "GAME.caq 0%"}, {50, "GAME.caq 25%"}, {300, "GAME.caq 100%"}}) {
    for (int i = 0; i < reads; ++i) ReadPort(0x00FC);
    update_status_window(nullptr);
    EXPECT_TRUE(visible(tape_status));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(tape_status)), shown);
  }
  EXPECT_TRUE(sensitive({"File", "Rewind Tape"}) && sensitive({"File", "Eject Tape"}));
  activate({"File", "Rewind Tape"});
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(tape_status)), "GAME.caq 0%");
  EXPECT_EQ(ReadPort(0x00FC), 0xFF);
  activate({"File", "Eject Tape"});
  EXPECT_FALSE(caq_loaded || visible(tape_status));
  EXPECT_FALSE(sensitive({"File", "Rewind Tape"}) || sensitive({"File", "Eject Tape"}));
  caq_autoload = autoload;
}

// A notice is shown whole, however long, and the window keeps its width.
TEST(MainWindow, NoticesShowWholeInTheStatusBarForAFewSeconds) {
  GtkAllocation picture_before, picture_after, notice_at;
  gtk_widget_get_allocation(gtkui_drawing_area, &picture_before);
  for (const char* text : {"Cartridge loaded: Soft Reset starts it in place of the Micro Expander ROM",
                           "Screenshot saved: screenshots/Astro-20261208-151230.png", "Tape saved: tapes/HELLO.caq"}) {
    host_tape_notice(text, false);
    pump(300);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(notice_status)), text);
    PangoLayout* shown = gtk_label_get_layout(GTK_LABEL(notice_status));
    int text_width = 0, text_height = 0;
    pango_layout_get_pixel_size(shown, &text_width, &text_height);
    gtk_widget_get_allocation(notice_status, &notice_at);
    EXPECT_FALSE(pango_layout_is_ellipsized(shown)) << text;
    EXPECT_LE(text_width, notice_at.width) << text;
    EXPECT_LE(text_height, notice_at.height) << text;
    EXPECT_EQ(gtk_widget_get_allocated_width(main_window), 352 * draw_size) << text;
    gtk_widget_get_allocation(gtkui_drawing_area, &picture_after);
    EXPECT_EQ(picture_after.width, picture_before.width);
    EXPECT_EQ(picture_after.height, picture_before.height);
  }
  const gint64 start = g_get_monotonic_time();
  while (g_get_monotonic_time() - start < 6000000 && *gtk_label_get_text(GTK_LABEL(notice_status)))
    gtk_main_iteration_do(FALSE), g_usleep(20000);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(notice_status)), "");
  EXPECT_GE(g_get_monotonic_time() - start, 3000000) << "gone too soon to be read";
  pump(300);
  EXPECT_TRUE(gtk_widget_is_visible(fps_status) && gtk_widget_is_visible(model_status));
  EXPECT_EQ(gtk_widget_get_allocated_height(main_window), 232 * draw_size + MENU_AND_STATUS_ROWS);
}

// Recent Files lists the files loaded, newest first, with the clearing item last; Pause stops the
// machine and says so until it goes on.
TEST(MainWindow, RecentFilesAndPause) {
  recent_files.clear();
  const std::string first = scratch_dir + "/first.txt", second = scratch_dir + "/second_one.caq";
  for (const std::string& path : {first, second}) std::fclose(std::fopen(path.c_str(), "w"));
  note_loaded_file(first);
  note_loaded_file(second);
  note_loaded_file(scratch_dir + "/gone.caq");
  std::filesystem::remove(scratch_dir + "/gone.caq");
  rebuild_recent_menu();
  auto labels = [] {
    std::vector<std::string> shown;
    for (GtkWidget* item : items_of(menu_of(menu_item({"File", "Recent Files"})))) shown.push_back(label_of(item));
    return shown;
  };
  EXPECT_EQ(labels(), (std::vector<std::string>{second, first, "-", "Clear Recent Files"}));
  EXPECT_EQ(last_loaded_name, "gone");
  activate({"File", "Recent Files", "Clear Recent Files"});
  EXPECT_EQ(labels(), (std::vector<std::string>{"Clear Recent Files"}));
  EXPECT_FALSE(sensitive({"File", "Recent Files", "Clear Recent Files"}));

  activate({"Operation", "Pause"});
  EXPECT_TRUE(machine_paused);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(notice_status)), "Paused");
  activate({"Operation", "Pause"});
  EXPECT_FALSE(machine_paused);
  EXPECT_FALSE(gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(pause_item)));
}

GtkWidget* named(GtkWidget* root, const std::string& name) {
  std::vector<GtkWidget*> all;
  collect_widgets(root, all);
  for (GtkWidget* widget : all)
    if (name == gtk_widget_get_name(widget)) return widget;
  ADD_FAILURE() << "no widget " << name;
  return root;
}

std::string cell_text(GtkWidget* view, int row, int column) {
  GtkTreeIter iter;
  gchar* text = nullptr;
  GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(view));
  if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)) gtk_tree_model_get(model, &iter, column, &text, -1);
  std::string shown = text ? text : "";
  g_free(text);
  return shown;
}

// A mouse click in the middle of a tree view's cell, as X delivers it.
void click_cell(GtkWidget* view, int row, int column) {
  GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
  GdkRectangle cell;
  gtk_tree_view_get_cell_area(GTK_TREE_VIEW(view), path, gtk_tree_view_get_column(GTK_TREE_VIEW(view), column), &cell);
  gtk_tree_path_free(path);
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_tree_view_get_bin_window(GTK_TREE_VIEW(view))));
    event->button.x = cell.x + cell.width / 2.0;
    event->button.y = cell.y + cell.height / 2.0;
    event->button.button = 1;
    event->button.time = GDK_CURRENT_TIME;
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(view, event);
    gdk_event_free(event);
  }
}

// One pass of the main loop: a frame (or what is left of it), the look at the stops, events.
bool main_loop_pass() {
  const bool frame_ended = run_frame();
  follow_machine_stops();
  pump(10);
  return frame_ended;
}

// Operation → Debugger… opens the window and leaves the machine running; Break stops it with the
// sound held; a register typed in moves PC; the steps; a click in the listing's first column
// sets a breakpoint there, which Run then stops at; a second click clears it.
TEST(Debugger, BreakStepEditRegisterSetBreakpointByClickRun) {
  const uint8_t program[] = {0x3C, 0xCD, 0x10, 0x40, 0x18, 0xFA};  // 4000 INC A; CALL 4010; JR 4000
  const uint8_t routine[] = {0x04, 0xC9};                            // 4010 INC B; RET
  std::memcpy(&ram[0x4000], program, sizeof program);
  std::memset(&ram[0x4006], 0, 10);
  std::memcpy(&ram[0x4010], routine, sizeof routine);
  z80.pc = 0x4000;
  z80.sp = 0x7F00;
  activate({"Operation", "Debugger…"});
  ASSERT_NE(debugger_window, nullptr);
  EXPECT_TRUE(main_loop_pass()) << "opening the window stopped the machine";
  EXPECT_TRUE(main_loop_pass());
  send_key(GDK_KEY_PRESS, GDK_KEY_F5, 0, GDK_SHIFT_MASK, debugger_window);  // Break
  EXPECT_FALSE(main_loop_pass());
  ASSERT_TRUE(machine_stopped());
  EXPECT_EQ(play_audio, 0);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(named(debugger_window, "state"))), "Stopped: Break");

  GtkWidget* pc = named(debugger_window, "register PC");
  gtk_entry_set_text(GTK_ENTRY(pc), "NOWHERE");
  g_signal_emit_by_name(pc, "activate");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(named(debugger_window, "message"))), "unknown label 'NOWHERE'");
  gtk_entry_set_text(GTK_ENTRY(pc), "4000");
  g_signal_emit_by_name(pc, "activate");
  EXPECT_EQ(z80.pc, 0x4000);
  z80.sp = 0x7F00;  // Break may have come inside the routine
  z80.af.b.h = z80.bc.b.h = 0;
  const struct {
    guint key;
    GdkModifierType modifiers;
    uint16_t pc, sp;
    uint8_t a, b;
  } steps[] = {
      {GDK_KEY_F11, static_cast<GdkModifierType>(0), 0x4001, 0x7F00, 1, 0},  // Step Into
      {GDK_KEY_F10, static_cast<GdkModifierType>(0), 0x4004, 0x7F00, 1, 1},  // Step Over the call
      {GDK_KEY_F11, static_cast<GdkModifierType>(0), 0x4000, 0x7F00, 1, 1},
      {GDK_KEY_F11, static_cast<GdkModifierType>(0), 0x4001, 0x7F00, 2, 1},
      {GDK_KEY_F11, static_cast<GdkModifierType>(0), 0x4010, 0x7EFE, 2, 1},  // into the call
      {GDK_KEY_F11, GDK_SHIFT_MASK, 0x4004, 0x7F00, 2, 2},                   // Step Out
  };
  for (const auto& step : steps) {
    send_key(GDK_KEY_PRESS, step.key, 0, step.modifiers, debugger_window);
    EXPECT_FALSE(main_loop_pass());
    EXPECT_TRUE(machine_stopped());
    EXPECT_EQ(z80.pc, step.pc);
    EXPECT_EQ(z80.sp, step.sp);
    EXPECT_EQ(z80.af.b.h, step.a);
    EXPECT_EQ(z80.bc.b.h, step.b);
  }
  EXPECT_GE(gtk_tree_model_iter_n_children(gtk_tree_view_get_model(GTK_TREE_VIEW(named(debugger_window, "history"))), nullptr),
            static_cast<int>(std::size(steps)));

  GtkWidget* listing = named(debugger_window, "disassembly");
  int line = 0;
  while (line < 24 && cell_text(listing, line, 1) != "$4010") ++line;
  ASSERT_LT(line, 24) << "the routine is not in the listing";
  EXPECT_EQ(cell_text(listing, line, 3), "04");
  EXPECT_EQ(cell_text(listing, line, 4), "INC B");
  click_cell(listing, line, 0);
  EXPECT_NE(breakpoint_at(0x4010), 0);
  EXPECT_EQ(cell_text(listing, line, 0).rfind("●", 0), 0u) << cell_text(listing, line, 0);
  EXPECT_EQ(z80.pc, 0x4004) << "the click ran something";

  send_key(GDK_KEY_PRESS, GDK_KEY_F5, 0, static_cast<GdkModifierType>(0), debugger_window);  // Run
  EXPECT_FALSE(machine_stopped());
  follow_machine_stops();
  EXPECT_EQ(play_audio, 1);
  EXPECT_FALSE(main_loop_pass());
  EXPECT_EQ(last_stop().reason, StopReason::breakpoint);
  EXPECT_EQ(z80.pc, 0x4010);
  EXPECT_EQ(z80.af.b.h, 3);
  EXPECT_EQ(play_audio, 0);
  EXPECT_NE(std::string(gtk_label_get_text(GTK_LABEL(named(debugger_window, "state")))).find("breakpoint"), std::string::npos);
  click_cell(listing, line, 0);
  EXPECT_EQ(breakpoint_at(0x4010), 0);
  send_key(GDK_KEY_PRESS, GDK_KEY_F5, 0, static_cast<GdkModifierType>(0), debugger_window);
  EXPECT_FALSE(machine_stopped());
  close_debugger_window();
  EXPECT_EQ(debugger_window, nullptr);
  EXPECT_TRUE(main_loop_pass());
}

// The memory view edits RAM and leaves ROM alone; the watchpoint added in the window stops the
// machine at the write; the two options of the Operation menu act on the machine's settings.
TEST(Debugger, MemoryEditsWatchpointsAndOptions) {
  ram[0x4000] = 0x32;  // 4000 LD ($5003),A; JR 4000
  ram[0x4001] = 0x03;
  ram[0x4002] = 0x50;
  ram[0x4003] = 0x18;
  ram[0x4004] = 0xFB;
  z80.pc = 0x4000;
  show_debugger_window();
  request_break();
  main_loop_pass();
  ASSERT_TRUE(machine_stopped());
  GtkWidget* go_to = named(debugger_window, "memory address");
  gtk_entry_set_text(GTK_ENTRY(go_to), "$5000");
  g_signal_emit_by_name(go_to, "activate");
  GtkWidget* memory = named(debugger_window, "memory");
  EXPECT_EQ(cell_text(memory, 0, 0), "$5000");
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(gtk_tree_view_get_column(GTK_TREE_VIEW(memory), 3)));
  g_signal_emit_by_name(cells->data, "edited", "1", "AB");  // $5012
  g_list_free(cells);
  EXPECT_EQ(ram[0x5012], 0xAB);
  EXPECT_EQ(cell_text(memory, 1, 3), "AB");
  gtk_entry_set_text(GTK_ENTRY(go_to), "0");
  g_signal_emit_by_name(go_to, "activate");
  const uint8_t rom_byte = debug_peek(0x0002);
  cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(gtk_tree_view_get_column(GTK_TREE_VIEW(memory), 3)));
  g_signal_emit_by_name(cells->data, "edited", "0", "55");
  g_list_free(cells);
  EXPECT_EQ(debug_peek(0x0002), rom_byte);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(named(debugger_window, "message"))), "$0002 is not RAM: it keeps its byte");

  gtk_entry_set_text(GTK_ENTRY(named(debugger_window, "watch first")), "5000");
  gtk_entry_set_text(GTK_ENTRY(named(debugger_window, "watch last")), "$50FF");
  g_signal_emit_by_name(named(debugger_window, "add watchpoint"), "clicked");
  ASSERT_EQ(watchpoint_list().size(), 1u);
  EXPECT_EQ(cell_text(named(debugger_window, "stops"), 0, 3), "$5000 – $50FF");
  send_key(GDK_KEY_PRESS, GDK_KEY_F5, 0, static_cast<GdkModifierType>(0), debugger_window);
  main_loop_pass();
  EXPECT_EQ(last_stop().reason, StopReason::watchpoint);
  EXPECT_EQ(last_stop().address, 0x5003);
  clear_watchpoints();
  resume();
  close_debugger_window();
  main_loop_pass();

  activate({"Operation", "Break on Reading Unwritten RAM"});
  EXPECT_TRUE(unwritten_read_check() && unwritten_read_break);
  activate({"Operation", "Break on Reading Unwritten RAM"});
  EXPECT_FALSE(unwritten_read_check() || unwritten_read_break);
  EXPECT_FALSE(sensitive({"Operation", "Power-on RAM", "Zero"}));
  activate({"Operation", "Power-on RAM", "Random"});
  EXPECT_TRUE(power_on_ram_random);
  EXPECT_FALSE(sensitive({"Operation", "Power-on RAM", "Random"}));
  activate({"Operation", "Power-on RAM", "Zero"});
  EXPECT_FALSE(power_on_ram_random);
  show_status_notice("");  // the options' notices would hide the status bar's fields from the tests after
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);
  return RUN_ALL_TESTS();
}
