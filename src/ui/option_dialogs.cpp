// The "Options" and "Help" handlers: timing, sound, RAM size, machine, ROM series, About.
#include <algorithm>

#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui/desktop.h"

namespace {

const char* const about_credit = "An Aquarius home computer on your desktop, built by the Vantorel developers.";
// The licence by its SPDX name, as the README gives it; the licence button shows GTK's text of it.
const char* const about_licence = "Licence: GPL-2.0-or-later";

GtkWidget* new_ok_cancel_dialog(const char* title) {
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      title, GTK_WINDOW(main_window), static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      "OK", GTK_RESPONSE_ACCEPT, "Cancel", GTK_RESPONSE_REJECT, nullptr);
  place_dialog(dialog);
  return dialog;
}

// The decoder is fed in pieces, as it would be from a stream; the PNG is small either way.
constexpr size_t LOGO_CHUNK = 1024;

}  // namespace

void update_fps(GtkWidget*, gpointer index) {
  pause_audio();
  set_timing(static_cast<uint8_t>(GPOINTER_TO_INT(index) == 1 ? 1 : 0));
  set_choice_sensitivity(frames_per_secondx, timing_type == 1 ? 0 : 1);
  resume_audio();
}

void select_sound() {
  pause_audio();
  GtkWidget* dialog = new_ok_cancel_dialog("Sound");
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  GtkWidget* sound_enabled = gtk_check_button_new_with_label("Sound Enabled");
  GtkWidget* ay_sound = gtk_check_button_new_with_label("AY Sound");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(sound_enabled), snd_sound != 0);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(ay_sound), snd_aysound != 0);
  gtk_box_pack_start(GTK_BOX(content), sound_enabled, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(content), ay_sound, FALSE, FALSE, 0);
  // The boxes keep their settings for the next start; below them, why nothing plays.
  if (!audio_device_id) {
    GtkWidget* reason = gtk_label_new(("No sound device: " + audio_device_error).c_str());
    gtk_label_set_line_wrap(GTK_LABEL(reason), TRUE);
    gtk_label_set_xalign(GTK_LABEL(reason), 0);
    gtk_box_pack_start(GTK_BOX(content), reason, FALSE, FALSE, 6);
  }
  gtk_widget_show_all(dialog);
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    snd_sound = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(sound_enabled)) ? 1 : 0;
    snd_aysound = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(ay_sound)) ? 1 : 0;
  }
  gtk_widget_destroy(dialog);
  resume_audio();
}

void select_ram() {
  pause_audio();
  GtkWidget* dialog = new_ok_cancel_dialog("Select RAM Size");
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  GtkWidget* choices[5];
  GSList* group = nullptr;
  for (int i = 0; i < 5; ++i) {
    choices[i] = gtk_radio_button_new_with_label(group, ram_name[i]);
    group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(choices[i]));
    gtk_box_pack_start(GTK_BOX(content), choices[i], FALSE, FALSE, 0);
  }
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(choices[std::min<int>(ram_size, 4)]), TRUE);
  gtk_widget_show_all(dialog);
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    for (int i = 0; i < 5; ++i) {
      if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(choices[i]))) continue;
      set_ram_size(static_cast<uint8_t>(i));
      break;
    }
  }
  gtk_widget_destroy(dialog);
  resume_audio();
}

// A switch that fails shows why and leaves the running machine as it was: no reset, the
// program in memory and the screen intact, the menus on the choice that runs.
void select_model(GtkWidget*, gpointer) {
  pause_audio();
  switch_model(model ? 0 : 1);
  set_choice_sensitivity(model_typex, model);
  update_display();
  resume_audio();
}

void update_rom(GtkWidget*, gpointer) {
  pause_audio();
  switch_series(rom_mode ? 0 : 1);
  set_choice_sensitivity(rom_typex, rom_mode);
  resume_audio();
}

GdkPixbuf* load_logo() {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  bool fed = true;
  for (size_t at = 0; fed && at < vantorel_logo_png_size; at += LOGO_CHUNK) {
    const size_t piece = std::min<size_t>(LOGO_CHUNK, vantorel_logo_png_size - at);
    fed = gdk_pixbuf_loader_write(loader, vantorel_logo_png + at, piece, nullptr);
  }
  const bool closed = gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* logo = fed && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (logo) g_object_ref(logo);
  g_object_unref(loader);
  return logo;
}

void select_help(GtkWidget*, gpointer) {
  pause_audio();
  GdkPixbuf* logo = load_logo();
  GtkWidget* about = gtk_about_dialog_new();
  gtk_window_set_modal(GTK_WINDOW(about), TRUE);
  gtk_about_dialog_set_program_name(GTK_ABOUT_DIALOG(about), program_name);
  gtk_about_dialog_set_version(GTK_ABOUT_DIALOG(about), program_version);
  gtk_about_dialog_set_comments(GTK_ABOUT_DIALOG(about), about_credit);
  gtk_about_dialog_set_license_type(GTK_ABOUT_DIALOG(about), GTK_LICENSE_GPL_2_0);
  gtk_about_dialog_set_copyright(GTK_ABOUT_DIALOG(about), about_licence);
  place_dialog(about);
  if (logo) {
    gtk_about_dialog_set_logo(GTK_ABOUT_DIALOG(about), logo);
    g_object_unref(logo);
  }
  gtk_dialog_run(GTK_DIALOG(about));
  gtk_widget_destroy(about);
  resume_audio();
}
