// Loading from the "Load File…" chooser and by dropping files or text on the window.
#include <string>

#include "loading/cassette.h"
#include "loading/loader.h"
#include "ui/desktop.h"

namespace {

struct file_filter {
  const char* name;
  const char* extensions[8];  // null-terminated; none: every file
};

const file_filter file_filters[] = {
    {"Supported Files", {".rom", ".bin", ".caq", ".wav", ".txt", ".bas", ".vst", nullptr}},
    {"All Files", {nullptr}},
    {"Cartridge Files", {".rom", ".bin", nullptr}},
    {"Cassettes", {".caq", ".wav", nullptr}},
    {"TXT Files", {".txt", nullptr}},
    {"Save States", {".vst", nullptr}},
};

// What the window says after a load: the file's name in the title, and for a cartridge that
// is not running yet how to start it (it waits for the next soft reset, as on the machine;
// with the Micro Expander on, it then takes the place of the expansion's ROM).
void show_loaded(const std::string& path, bool cartridge_running) {
  const size_t slash = path.rfind('/');
  show_loaded_title(slash == std::string::npos ? path : path.substr(slash + 1));
  note_loaded_file(path);
  show_tape_status();
  const uint8_t type = file_type_ptr ? file_type_ptr->type : FILE_TYPE_END;
  if ((type != FILE_TYPE_BIN && type != FILE_TYPE_ROM) || cartridge_running) return;
  show_status_notice(pending_cart ? "Cartridge loaded: Soft Reset starts it in place of the Micro Expander ROM"
                                  : "Cartridge loaded: Soft Reset starts it");
}

}  // namespace

void add_extension_pattern(GtkFileFilter* filter, const char* extension) {
  // Chooser patterns are case-sensitive globs: each letter becomes a class of its two cases.
  std::string pattern = "*";
  for (const char* c = extension; *c; ++c) {
    const char lower = g_ascii_tolower(*c), upper = g_ascii_toupper(*c);
    pattern += lower == upper ? std::string(1, *c) : std::string{'[', lower, upper, ']'};
  }
  gtk_file_filter_add_pattern(filter, pattern.c_str());
}

void add_filter_defaults(GtkWidget* chooser) {
  for (const file_filter& entry : file_filters) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, entry.name);
    if (!entry.extensions[0]) gtk_file_filter_add_pattern(filter, "*");
    for (const char* const* extension = entry.extensions; *extension; ++extension)
      add_extension_pattern(filter, *extension);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  }
}

GtkWidget* new_file_chooser(const char* title, GtkFileChooserAction action, const char* accept_label) {
  GtkWidget* chooser = gtk_file_chooser_dialog_new(title, GTK_WINDOW(main_window), action, "_Cancel",
                                                   GTK_RESPONSE_CANCEL, accept_label, GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  place_dialog(chooser);
  gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  return chooser;
}

std::string run_chooser(GtkWidget* chooser) {
  std::string path;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (chosen) path = chosen;
    g_free(chosen);
  }
  gtk_widget_destroy(chooser);
  return path;
}

int load_file() {
  load_file_begin();
  GtkWidget* chooser = new_file_chooser("Open File", GTK_FILE_CHOOSER_ACTION_OPEN, "_Open");
  add_filter_defaults(chooser);
  gchar* path = nullptr;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT)
    path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
  // The chooser goes first, so that an error box about the file stands alone.
  gtk_widget_destroy(chooser);
  uint8_t failed = 0;
  // Remote locations have no local path; there is nothing the machine could read then.
  if (path && is_state_file(path)) {
    load_file_end();
    load_state_from(path, path);
    g_free(path);
    return 0;
  }
  if (path) failed = menu_load_path(path);
  if (path && !failed) show_loaded(path, false);
  g_free(path);
  // Safe after a failure too: the error box has resumed the audio and the loader knows it.
  load_file_end();
  return failed ? 1 : 0;
}

namespace {

// A file given by a drop or on the command line: a state is loaded as such; anything else is
// said in the status bar, as a drop has no error box.
void load_given_file(const std::string& name, bool at_start) {
  if (is_state_file(name)) {
    load_state_from(name, name);
    return;
  }
  if ((at_start ? open_at_start(name) : do_load_file(name)) == 0)
    show_loaded(name, at_start);
  else
    show_status_notice("Not loaded: " + name + (load_error.empty() ? "" : ": " + load_error));
}

}  // namespace

void load_dropped_file(const std::string& name) { load_given_file(name, false); }

void open_file_at_start(const std::string& name) { load_given_file(name, true); }

std::string dropped_file_name(const char* text) {
  std::string name;
  gchar** uris = g_uri_list_extract_uris(text);
  for (gchar** uri = uris; uri && *uri; ++uri) {
    gchar* local = g_filename_from_uri(*uri, nullptr, nullptr);
    name = local ? local : "";
    g_free(local);
  }
  g_strfreev(uris);
  return name;
}

void on_drag_data_received(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* selection, guint,
                           guint time, gpointer) {
  const guchar* raw = selection ? gtk_selection_data_get_data(selection) : nullptr;
  const gint length = selection ? gtk_selection_data_get_length(selection) : -1;
  // The selection's bytes are not guaranteed to end in a NUL: take a terminated copy.
  const std::string text = raw && length > 0 ? std::string(reinterpret_cast<const char*>(raw), static_cast<size_t>(length)) : "";
  // The drag ends before the load, which may ask a question (a state made with other ROM images).
  if (context) gtk_drag_finish(context, TRUE, FALSE, time);
  if (text.empty()) return;
  const std::string name = dropped_file_name(text.c_str());
  if (!name.empty())
    load_dropped_file(name);
  else
    aqua_arch_get_spool_file(text.c_str());
}
