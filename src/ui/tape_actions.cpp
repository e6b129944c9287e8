// File menu actions on the cassette: rewind, eject, and export as sound.
#include <string>

#include "core/host.h"
#include "core/host_file.h"
#include "core/roms.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "loading/tape_wav.h"
#include "sound/audio_out.h"
#include "ui/desktop.h"

namespace {

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The tape to export: the inserted cassette's own file when there is one, as that is the tape
// the user has in hand; otherwise the folder of the machine's own recordings.
std::string choose_tape() {
  GtkWidget* chooser = new_file_chooser("Export Tape as WAV", GTK_FILE_CHOOSER_ACTION_OPEN, "_Next");
  GtkFileFilter* tapes = gtk_file_filter_new();
  gtk_file_filter_set_name(tapes, "Tapes");
  add_extension_pattern(tapes, ".caq");
  add_extension_pattern(tapes, ".wav");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), tapes);
  GtkFileFilter* all = gtk_file_filter_new();
  gtk_file_filter_set_name(all, "All Files");
  gtk_file_filter_add_pattern(all, "*");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), all);
  if (caq_loaded && !caq_path.empty()) {
    gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), caq_path.c_str());
  } else {
    const std::string recordings = (program_dir.empty() ? std::string(".") : program_dir) + "/" + TAPE_DIR;
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), recordings.c_str());
  }
  return run_chooser(chooser);
}

// Where the WAV goes: beside the tape, under its name.
std::string choose_wav(const std::string& tape) {
  GtkWidget* chooser = new_file_chooser("Save Tape as WAV", GTK_FILE_CHOOSER_ACTION_SAVE, "_Save");
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
  const size_t slash = tape.rfind('/');
  if (slash != std::string::npos)
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), tape.substr(0, slash ? slash : 1).c_str());
  std::string name = base_name(tape);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), (name + ".wav").c_str());
  std::string path = run_chooser(chooser);
  if (!path.empty() && !is_tape_recording(path)) path += ".wav";
  return path;
}

}  // namespace

void rewind_tape() {
  caq_rewind();
  show_tape_status();
}

void eject_tape() {
  caq_eject();
  show_tape_status();
}

void export_tape_as_wav() {
  pause_audio();
  const std::string tape = choose_tape();
  const std::string wav = tape.empty() ? std::string() : choose_wav(tape);
  if (!wav.empty()) {
    std::string error;
    if (export_tape_wav(tape, wav, error))
      show_status_notice("Tape exported: " + base_name(wav));
    else
      host_show_error("The tape was not exported: " + error);
  }
  resume_audio();
}
