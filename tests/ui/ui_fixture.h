// The desktop window brought up once per test program, in a real X server (xvfb-run), with a
// scratch program directory holding ROM images of the right sizes.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "ui/desktop.h"

namespace ui_test {

inline std::string scratch_dir;

// size bytes that depend on position and seed, so that images are told apart.
inline std::vector<unsigned char> pattern(size_t size, unsigned seed) {
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 13 + seed * 101 + (i >> 7)) & 0xFF);
  return bytes;
}

inline void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Seeds of the ROM images written into the scratch roms directory.
constexpr unsigned SEED_S1 = 1, SEED_S2 = 2, SEED_CHAR_S1 = 3, SEED_CHAR_S2 = 4, SEED_EXT = 5;

// Runs the main loop's event pump for about ms milliseconds.
inline void pump(int ms) {
  const gint64 until = g_get_monotonic_time() + ms * 1000;
  while (g_get_monotonic_time() < until) {
    while (gtk_events_pending()) gtk_main_iteration();
    g_usleep(2000);
  }
}

// Every GtkWidget below root, depth first.
inline void collect_widgets(GtkWidget* root, std::vector<GtkWidget*>& out) {
  out.push_back(root);
  if (!GTK_IS_CONTAINER(root)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  for (GList* c = children; c; c = c->next) collect_widgets(GTK_WIDGET(c->data), out);
  g_list_free(children);
}

inline GtkToggleButton* find_toggle(GtkWidget* dialog, const char* label) {
  std::vector<GtkWidget*> all;
  collect_widgets(dialog, all);
  for (GtkWidget* w : all)
    if (GTK_IS_TOGGLE_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)) &&
        std::string(gtk_button_get_label(GTK_BUTTON(w))) == label)
      return GTK_TOGGLE_BUTTON(w);
  return nullptr;
}

// Answers the next visible dialog titled `title` (any dialog when title is empty) once it is
// running: `act` may look at it and change its controls, then the dialog gets `response`.
// `seen` tells the test whether the dialog ever appeared.
struct dialog_answer {
  dialog_answer(std::string title_, std::function<void(GtkWidget*)> act_, gint response_)
      : title(std::move(title_)), act(std::move(act_)), response(response_) {}
  std::string title;
  std::function<void(GtkWidget*)> act;
  gint response;
  bool message_box_only = false;  // answer only an error/message box
  bool seen = false;
  std::string seen_title;
};

inline gboolean answer_when_shown(gpointer data) {
  auto* answer = static_cast<dialog_answer*>(data);
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w; w = w->next) {
    GtkWidget* window = GTK_WIDGET(w->data);
    if (!GTK_IS_DIALOG(window) || !gtk_widget_get_visible(window)) continue;
    if (answer->message_box_only && !GTK_IS_MESSAGE_DIALOG(window)) continue;
    const char* title = gtk_window_get_title(GTK_WINDOW(window));
    if (answer->title.empty() || (title && answer->title == title)) found = window;
  }
  g_list_free(windows);
  if (!found) return G_SOURCE_CONTINUE;
  answer->seen = true;
  const char* title = gtk_window_get_title(GTK_WINDOW(found));
  answer->seen_title = title ? title : "";
  if (answer->act) answer->act(found);
  gtk_dialog_response(GTK_DIALOG(found), answer->response);
  return G_SOURCE_REMOVE;
}

// Arms the answer; the returned source is removed by disarm() if the dialog never came.
inline guint arm(dialog_answer& answer) { return g_timeout_add(30, answer_when_shown, &answer); }
inline void disarm(guint source, const dialog_answer& answer) {
  if (!answer.seen) g_source_remove(source);
}

inline GtkWidget* menu_of(GtkWidget* item) { return gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)); }

inline std::vector<GtkWidget*> items_of(GtkWidget* menu_shell) {
  std::vector<GtkWidget*> items;
  GList* children = gtk_container_get_children(GTK_CONTAINER(menu_shell));
  for (GList* c = children; c; c = c->next) items.push_back(GTK_WIDGET(c->data));
  g_list_free(children);
  return items;
}

// The label as shown: a mnemonic's underscore dropped; "-" for a separator.
inline std::string label_of(GtkWidget* item) {
  if (GTK_IS_SEPARATOR_MENU_ITEM(item)) return "-";
  const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item));
  std::string shown;
  const bool underline = gtk_menu_item_get_use_underline(GTK_MENU_ITEM(item));
  for (const char* c = label ? label : ""; *c; ++c) {
    if (underline && *c == '_' && *++c == '\0') break;
    shown += *c;
  }
  return shown;
}

// Finds a menu item by its path of labels from the menu bar, e.g. {"Options", "Timing", "NTSC"}.
inline GtkWidget* menu_item(const std::vector<std::string>& path) {
  GtkWidget* shell = menubar;
  GtkWidget* item = nullptr;
  for (const std::string& label : path) {
    if (!shell) return nullptr;
    item = nullptr;
    for (GtkWidget* candidate : items_of(shell))
      if (GTK_IS_MENU_ITEM(candidate) && label_of(candidate) == label) item = candidate;
    if (!item) return nullptr;
    shell = menu_of(item);
  }
  return item;
}

// Brings the machine and the window up the way the start-up sequence does, minus audio.
class DesktopEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string templ = (std::filesystem::temp_directory_path() / "vantorel-ui-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    scratch_dir = templ;
    const std::string roms = scratch_dir + "/roms/";
    write_file(roms + "aquariusS1.rom", pattern(8192, SEED_S1));
    write_file(roms + "aquariusS2.rom", pattern(8192, SEED_S2));
    write_file(roms + "charS1.rom", pattern(2048, SEED_CHAR_S1));
    write_file(roms + "charS2.rom", pattern(2048, SEED_CHAR_S2));
    write_file(roms + "extbasic.rom", pattern(4096, SEED_EXT));

    memory_allocate();
    program_dir = scratch_dir;
    ROMSDir = rom_dir = program_dir + "/roms/";
    usb_dir = program_dir + "/usb/";
    const char* size = getenv("UI_TEST_DRAW_SIZE");
    draw_size = size && std::string(size) == "2" ? 2 : 1;
    keyboard_mode = false;
    timing_type = 1;
    model = 0;
    rom_mode = 1;
    ram_size = 2;
    memtop = max_memtop[ram_size];
    select_rom_names();
    initialise_libraries();
    ASSERT_EQ(Load_ROM(), 0);
    pump(200);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(scratch_dir, ec);
  }
};

}  // namespace ui_test
