// Help → Keyboard…: what each host key does, read from the tables the program itself uses (the
// two layouts, the menus' shortcuts and the window's hot keys, the host keys as hand
// controller), so that the help cannot say other than the keys do.
#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "input/joystick.h"
#include "input/keyboard.h"
#include "ui/desktop.h"

namespace {

GtkWidget* help_window;  // the one shown, null when none

constexpr const char* layouts_text =
    "Options → Keyboard Type chooses how your keys reach the Aquarius. NATIVE goes by position: "
    "each of your keys is the Aquarius key in its place on a US keyboard, and your Shift is "
    "SHIFT. PI goes by character: the Aquarius types the character on your key, SHIFT added or "
    "let go as it needs. Keys not listed type nothing; the cursor keys type what is listed "
    "unless they are the hand controller, and the keypad types the digits, point and operators "
    "it shows (its Enter is RETURN) unless it is the hand controller.";
constexpr const char* menu_keys_text = "F10 opens the menu bar, Alt and an underlined letter a menu.";
constexpr const char* controllers_text =
    "Either set of keys can be hand controller 1, with or without a joystick; the keys then type "
    "nothing. The directions of the keys held add up (two arrows give a diagonal); of the six "
    "buttons the one pressed last counts.";

// A character key by its character (a letter in capitals), any other by the toolkit's name.
std::string key_label(guint keyval, GdkModifierType modifiers = static_cast<GdkModifierType>(0)) {
  if (!modifiers && keyval > 0x20 && keyval < 0x100) {
    gchar character[8] = {};
    g_unichar_to_utf8(g_unichar_toupper(gdk_keyval_to_unicode(keyval)), character);
    return character;
  }
  gchar* label = gtk_accelerator_get_label(keyval, modifiers);
  std::string text = label ? label : "";
  g_free(label);
  return text;
}

// The names, each once, in their order, two spaces apart.
std::string joined(const std::vector<std::string>& names) {
  std::string text;
  std::vector<std::string> seen;
  for (const std::string& name : names) {
    if (std::ranges::find(seen, name) != seen.end()) continue;
    seen.push_back(name);
    text += (text.empty() ? "" : "  ") + name;
  }
  return text;
}

GtkWidget* add_label(GtkWidget* box, const std::string& text, bool heading) {
  GtkWidget* label = gtk_label_new(nullptr);
  if (heading) {
    gchar* markup = g_markup_printf_escaped("<b>%s</b>", text.c_str());
    gtk_label_set_markup(GTK_LABEL(label), markup);
    g_free(markup);
    gtk_widget_set_margin_top(label, 12);
  } else {
    gtk_label_set_text(GTK_LABEL(label), text.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 70);
  }
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
  return label;
}

// A table of rows of text; the first row, when heading is set, in bold.
void add_grid(GtkWidget* box, const std::vector<std::vector<std::string>>& rows, bool heading) {
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_column_spacing(GTK_GRID(grid), 24);
  gtk_grid_set_row_spacing(GTK_GRID(grid), 2);
  for (size_t row = 0; row < rows.size(); ++row)
    for (size_t column = 0; column < rows[row].size(); ++column) {
      GtkWidget* cell = gtk_label_new(nullptr);
      if (heading && row == 0) {
        gchar* markup = g_markup_printf_escaped("<i>%s</i>", rows[row][column].c_str());
        gtk_label_set_markup(GTK_LABEL(cell), markup);
        g_free(markup);
      } else {
        gtk_label_set_text(GTK_LABEL(cell), rows[row][column].c_str());
      }
      gtk_label_set_xalign(GTK_LABEL(cell), 0);
      gtk_grid_attach(GTK_GRID(grid), cell, static_cast<int>(column), static_cast<int>(row), 1, 1);
    }
  gtk_widget_set_margin_start(grid, 12);
  gtk_box_pack_start(GTK_BOX(box), grid, FALSE, FALSE, 0);
}

// Digits first, as on the top row, then letters, other characters, the named keys.
std::pair<int, std::string> machine_key_order(const std::string& name) {
  if (name == "other letters") return {1, ""};
  if (name.size() > 1) return {3, name};
  if (name[0] >= '1' && name[0] <= '9') return {0, name};
  if (name[0] == '0') return {0, ":"};  // after 9
  if (name[0] >= 'A' && name[0] <= 'Z') return {1, name};
  return {2, name};
}

void add_layouts(GtkWidget* box) {
  add_label(box, "Typing", true);
  add_label(box, layouts_text, false);
  std::map<std::pair<int, int>, std::vector<std::string>> native, pi;
  for (const host_key_binding& key : layout_bindings(native_keyboard_read))
    native[{key.column, key.bit}].push_back(key_label(key.keyval));
  for (const host_key_binding& key : layout_bindings(pi_keyboard_read))
    pi[{key.column, key.bit}].push_back(key_label(key.keyval));
  std::vector<std::vector<std::string>> rows;
  bool plain_letters = false;
  for (uint8_t column = 0; column < 8; ++column)
    for (uint8_t bit = 0; bit < 6; ++bit) {
      const std::string name = machine_key_name(column, bit);
      std::vector<std::string> row = {name, joined(native[{column, bit}]), joined(pi[{column, bit}])};
      // A letter that only its own letter types, in both layouts, goes in one row with the others.
      const bool plain_letter = name.size() == 1 && std::isupper(name[0]) && row[1] == name && row[2] == name;
      plain_letters = plain_letters || plain_letter;
      if (!plain_letter) rows.push_back(row);
    }
  if (plain_letters) rows.push_back({"other letters", "the same letter", "the same letter"});
  std::ranges::sort(rows, {}, [](const std::vector<std::string>& row) { return machine_key_order(row[0]); });
  rows.insert(rows.begin(), {"Aquarius key", "NATIVE: your key", "PI: your character"});
  add_grid(box, rows, true);
}

// The text of a menu item as shown, its mnemonic's underscore dropped.
std::string item_text(GtkWidget* item) {
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(item));
  return child && GTK_IS_LABEL(child) ? gtk_label_get_text(GTK_LABEL(child)) : "";
}

// Every menu item with a shortcut below shell: the shortcut and the item's path from the menu bar.
void collect_shortcuts(GtkWidget* shell, const std::string& path, std::vector<std::vector<std::string>>& rows,
                       std::vector<std::pair<guint, GdkModifierType>>& keys) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  for (GList* c = children; c; c = c->next) {
    GtkWidget* item = GTK_WIDGET(c->data);
    if (!GTK_IS_MENU_ITEM(item) || GTK_IS_SEPARATOR_MENU_ITEM(item)) continue;
    const std::string item_path = path.empty() ? item_text(item) : path + " → " + item_text(item);
    if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) {
      collect_shortcuts(submenu, item_path, rows, keys);
      continue;
    }
    GList* closures = gtk_widget_list_accel_closures(item);
    for (GList* closure = closures; closure; closure = closure->next) {
      GtkAccelKey* key = gtk_accel_group_find(
          gtk_accel_group_from_accel_closure(static_cast<GClosure*>(closure->data)),
          [](GtkAccelKey*, GClosure* found, gpointer wanted) -> gboolean { return found == wanted; }, closure->data);
      if (!key) continue;
      rows.push_back({key_label(key->accel_key, key->accel_mods), item_path});
      keys.emplace_back(key->accel_key, key->accel_mods);
    }
    g_list_free(closures);
  }
  g_list_free(children);
}

void add_shortcuts(GtkWidget* box) {
  add_label(box, "Function keys and shortcuts", true);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::pair<guint, GdkModifierType>> menu_keys;
  collect_shortcuts(menubar, "", rows, menu_keys);
  for (const hot_key& key : hot_keys)
    if (key.what && std::ranges::find(menu_keys, std::pair(key.keyval, key.modifiers)) == menu_keys.end())
      rows.push_back({key_label(key.keyval, key.modifiers), key.what});
  add_grid(box, rows, false);
  add_label(box, menu_keys_text, false);
}

// The keys of a set grouped by what they do, in the set's order.
void add_controller(GtkWidget* box, GtkWidget* item, std::span<const controller_key> keys) {
  add_label(box, "Options → " + item_text(item), true);
  std::vector<std::string> effects;
  std::map<std::string, std::vector<std::string>> names;
  for (const controller_key& key : keys) {
    const std::string effect =
        key.button >= 0 ? "button " + std::to_string(key.button) : disc_direction_name(key.hat);
    if (!names.contains(effect)) effects.push_back(effect);
    names[effect].push_back(key_label(key.keyval));
  }
  std::vector<std::vector<std::string>> rows;
  for (const std::string& effect : effects) rows.push_back({joined(names[effect]), effect});
  add_grid(box, rows, false);
}

void on_help_response(GtkDialog* dialog, gint, gpointer) { gtk_widget_destroy(GTK_WIDGET(dialog)); }

}  // namespace

// Not modal: it may stay open beside the game whose keys it lists.
void show_keyboard_help() {
  if (help_window) {
    gtk_window_present(GTK_WINDOW(help_window));
    return;
  }
  help_window = gtk_dialog_new_with_buttons("Keyboard", GTK_WINDOW(main_window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                            "_Close", GTK_RESPONSE_CLOSE, nullptr);
  g_signal_connect(help_window, "response", G_CALLBACK(on_help_response), nullptr);
  g_signal_connect(help_window, "destroy", G_CALLBACK(gtk_widget_destroyed), &help_window);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 12);
  add_layouts(box);
  add_shortcuts(box);
  add_label(box, "Hand controller", true);
  add_label(box, controllers_text, false);
  add_controller(box, keypad_controller_item, keypad_controller_keys);
  add_controller(box, cursor_controller_item, cursor_controller_keys);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scrolled), 440);
  gtk_container_add(GTK_CONTAINER(scrolled), box);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(help_window))), scrolled, TRUE, TRUE, 0);
  place_dialog(help_window);
  gtk_widget_show_all(help_window);
}
