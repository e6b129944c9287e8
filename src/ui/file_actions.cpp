// File menu actions beyond loading: save states (the quick slot and chosen files), screenshots,
// the recent files, and pausing the machine.
#include <sys/stat.h>

#include <string>

#include "ch376/ch376.h"
#include "core/extra_settings.h"
#include "core/host.h"
#include "core/host_file.h"
#include "core/program_dir.h"
#include "core/roms.h"
#include "core/save_state.h"
#include "input/joystick.h"
#include "loading/loader.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui/desktop.h"
#include "video/screenshot.h"

std::string last_loaded_name;

namespace {

constexpr const char* QUICK_STATE = "quick.vst";

std::string in_program_dir(const std::string& name) {
  return (program_dir.empty() ? std::string(".") : program_dir) + "/" + name;
}

// Asks whether a state made with other ROM images should be loaded all the same.
bool accept_other_roms(const std::string& why) {
  GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(main_window), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                          GTK_BUTTONS_YES_NO, "%s\n\nLoad it all the same?", why.c_str());
  gtk_window_set_title(GTK_WINDOW(box), program_name);
  place_dialog(box);
  const bool yes = gtk_dialog_run(GTK_DIALOG(box)) == GTK_RESPONSE_YES;
  gtk_widget_destroy(box);
  return yes;
}

void save_state_to(const std::string& path, const std::string& shown_name) {
  std::string message;
  if (save_state_file(path, message))
    show_status_notice("State saved: " + shown_name);
  else
    host_show_error("The state " + shown_name + " was not saved: " + message);
}

// A chooser of .vst files; the path chosen, or empty.
std::string choose_state_file(bool saving) {
  GtkWidget* chooser = new_file_chooser(saving ? "Save State" : "Load State",
                                       saving ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
                                       saving ? "_Save" : "_Open");
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, "Save States");
  add_extension_pattern(filter, ".vst");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  const std::string dir = in_program_dir(STATE_DIR);
  std::string ignored;
  make_directory(dir, ignored);
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), dir.c_str());
  if (saving) {
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    const std::string suggested = (last_loaded_name.empty() ? "vantorel" : last_loaded_name) + ".vst";
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), suggested.c_str());
  }
  std::string path = run_chooser(chooser);
  // A name typed without the extension gets it, so that the chooser finds it again.
  if (saving && !path.empty() && !is_state_file(path)) path += ".vst";
  return path;
}

}  // namespace

void load_state_from(const std::string& path, const std::string& shown_name) {
  pause_audio();
  std::string message;
  state_result result = load_state_file(path, false, message);
  if (result == state_result::rom_mismatch && accept_other_roms(message))
    result = load_state_file(path, true, message);
  if (result == state_result::ok) {
    // The held keys belong to the machine that was: what the state holds goes on alone.
    release_all_keys();
    refresh_machine_menus();
    update_display();  // the state's picture, also while paused
    show_status_notice("State loaded: " + shown_name + (message.empty() ? "" : " (" + message + ")"));
  } else if (result == state_result::refused) {
    host_show_error("The state " + shown_name + " was not loaded: " + message);
  }
  resume_audio();
}

void quick_save_state() {
  std::string error;
  const std::string dir = in_program_dir(STATE_DIR);
  if (!make_directory(dir, error)) {
    host_show_error("The state was not saved: " + error);
    return;
  }
  save_state_to(dir + "/" + QUICK_STATE, std::string(STATE_DIR) + "/" + QUICK_STATE);
}

void quick_load_state() {
  const std::string path = in_program_dir(std::string(STATE_DIR) + "/" + QUICK_STATE);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    show_status_notice(std::string("No quick state yet: F5 saves one in ") + STATE_DIR + "/" + QUICK_STATE);
    return;
  }
  load_state_from(path, std::string(STATE_DIR) + "/" + QUICK_STATE);
}

void save_state_as() {
  pause_audio();
  const std::string path = choose_state_file(true);
  if (!path.empty()) save_state_to(path, path);
  resume_audio();
}

void load_state_chosen() {
  pause_audio();
  const std::string path = choose_state_file(false);
  resume_audio();
  if (!path.empty()) load_state_from(path, path);
}

void take_screenshot() {
  std::string error;
  const std::string file = save_screenshot(last_loaded_name.empty() ? "vantorel" : last_loaded_name, error);
  if (file.empty())
    host_show_error("The screenshot was not saved: " + error);
  else
    show_status_notice("Screenshot saved: " + file);
}

void toggle_pause() {
  machine_paused = !machine_paused;
  if (machine_paused) {
    pause_audio();
    release_all_keys();
  } else {
    // The device was kept stopped through every dialog of the pause; it starts afresh.
    pause_audio();
    resume_audio();
  }
  show_check_state(pause_item, machine_paused);
  show_status_notice(machine_paused ? "Paused" : "");
}

void note_loaded_file(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  last_loaded_name = name;
  remember_recent_file(path);
  rebuild_recent_menu();
}

void restore_extra_session() {
  snd_sound = sound_enabled ? 1 : 0;
  if (micro_expander_on && !per_MicroEx) {
    select_MicroEx();
    refresh_machine_menus();
  }
}
