// Option dialogs answered the way a user answers them, the file chooser, and drops built from
// real X selections.
#include <cstring>

#include "core/save_state.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "loading/tape_wav.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui_fixture.h"
#include "z80/z80.h"

using namespace ui_test;

namespace {

void set_toggle(GtkWidget* dialog, const char* label, bool active) {
  GtkToggleButton* button = find_toggle(dialog, label);
  ASSERT_NE(button, nullptr) << label;
  gtk_toggle_button_set_active(button, active);
}

// Fetches a selection of the given target from a private X selection that this process owns, so
// the handler gets a GtkSelectionData that went through the X server like a real drop's.
struct owned_selection {
  std::string bytes;
  std::string target;
};

void provide_selection(GtkClipboard*, GtkSelectionData* selection, guint, gpointer data) {
  auto* owned = static_cast<owned_selection*>(data);
  gtk_selection_data_set(selection, gdk_atom_intern(owned->target.c_str(), FALSE), 8,
                         reinterpret_cast<const guchar*>(owned->bytes.data()), static_cast<gint>(owned->bytes.size()));
}

void forget_selection(GtkClipboard*, gpointer) {}

GtkSelectionData* selection_through_x(owned_selection& owned) {
  GtkClipboard* clipboard = gtk_clipboard_get(gdk_atom_intern("VANTOREL_TEST_DROP", FALSE));
  GtkTargetEntry entry = {const_cast<gchar*>(owned.target.c_str()), 0, 0};
  if (!gtk_clipboard_set_with_data(clipboard, &entry, 1, provide_selection, forget_selection, &owned)) return nullptr;
  return gtk_clipboard_wait_for_contents(clipboard, gdk_atom_intern(owned.target.c_str(), FALSE));
}

void drop(const std::string& target, const std::string& bytes, guint info) {
  owned_selection owned{bytes, target};
  GtkSelectionData* selection = selection_through_x(owned);
  ASSERT_NE(selection, nullptr);
  EXPECT_EQ(gtk_selection_data_get_length(selection), static_cast<gint>(bytes.size()));
  on_drag_data_received(main_window, nullptr, 10, 10, selection, info, GDK_CURRENT_TIME, nullptr);
  gtk_selection_data_free(selection);
}

std::string file_uri(const std::string& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string result = uri ? uri : "";
  g_free(uri);
  return result;
}

bool page_holds(int page, const std::vector<unsigned char>& bytes, size_t offset = 0) {
  return std::memcmp(Page_RAM[page], bytes.data() + offset, 0x2000) == 0;
}

void stop_spool() {
  spool_file = false;
  speed = 0;
  std::memset(keyboard_map, 0xFF, 8);
}

}  // namespace

TEST(OptionDialogs, SoundDialogAppliesOnOkOnly) {
  snd_sound = 1;
  snd_stereo = 1;
  snd_aysound = 1;
  dialog_answer cancel{"Sound", [](GtkWidget* d) {
                         set_toggle(d, "Sound Enabled", false);
                         set_toggle(d, "AY Sound", false);
                       },
                       GTK_RESPONSE_REJECT};
  guint source = arm(cancel);
  select_sound();
  disarm(source, cancel);
  EXPECT_TRUE(cancel.seen);
  EXPECT_EQ(snd_sound, 1);
  EXPECT_EQ(snd_stereo, 1);
  EXPECT_EQ(snd_aysound, 1);

  // The check boxes start from the settings: only the unticked one changes. Both channels carry
  // the same mono signal, so there is no "Stereo" box; its setting stays as the file had it.
  dialog_answer ok{"Sound", [](GtkWidget* d) {
                     EXPECT_EQ(find_toggle(d, "Stereo"), nullptr);
                     GtkToggleButton* sound = find_toggle(d, "Sound Enabled");
                     ASSERT_NE(sound, nullptr);
                     EXPECT_TRUE(gtk_toggle_button_get_active(sound));
                     set_toggle(d, "AY Sound", false);
                   },
                   GTK_RESPONSE_ACCEPT};
  source = arm(ok);
  select_sound();
  disarm(source, ok);
  EXPECT_TRUE(ok.seen);
  EXPECT_EQ(snd_sound, 1);
  EXPECT_EQ(snd_stereo, 1);
  EXPECT_EQ(snd_aysound, 0);

  // Closing the window counts as Cancel.
  dialog_answer closed{"Sound", [](GtkWidget* d) { set_toggle(d, "AY Sound", true); }, GTK_RESPONSE_DELETE_EVENT};
  source = arm(closed);
  select_sound();
  disarm(source, closed);
  EXPECT_EQ(snd_aysound, 0);
  snd_aysound = 1;
}

namespace {

// Texts of every label shown in a window, one a line.
std::string label_texts(GtkWidget* root) {
  std::vector<GtkWidget*> all;
  collect_widgets(root, all);
  std::string texts;
  for (GtkWidget* w : all)
    if (GTK_IS_LABEL(w) && gtk_widget_get_visible(w)) texts += std::string(gtk_label_get_text(GTK_LABEL(w))) + "\n";
  return texts;
}

// The cells of the first grid row in the window whose first cell reads `first`.
std::vector<std::string> grid_row(GtkWidget* root, const std::string& first) {
  std::vector<GtkWidget*> all;
  collect_widgets(root, all);
  for (GtkWidget* grid : all) {
    if (!GTK_IS_GRID(grid)) continue;
    for (int row = 0; GtkWidget* cell = gtk_grid_get_child_at(GTK_GRID(grid), 0, row); ++row) {
      if (!GTK_IS_LABEL(cell) || gtk_label_get_text(GTK_LABEL(cell)) != first) continue;
      std::vector<std::string> cells;
      for (int column = 0; (cell = gtk_grid_get_child_at(GTK_GRID(grid), column, row)); ++column)
        cells.push_back(GTK_IS_LABEL(cell) ? gtk_label_get_text(GTK_LABEL(cell)) : "?");
      return cells;
    }
  }
  return {};
}

}  // namespace

// A driver that does not exist fails the way a host without sound does: the machine runs
// silent, the status bar says so for as long as that lasts, and the Sound dialog gives SDL's
// reason. A device that opens takes both away.
TEST(OptionDialogs, NoSoundDeviceIsSaidInTheStatusBarAndWhyInTheSoundDialog) {
  for (const char* driver : {"no-such-driver", "dummy"}) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    start_sound();
    const bool missing = audio_device_id == 0;
    EXPECT_EQ(missing, std::strcmp(driver, "dummy") != 0);
    EXPECT_EQ(audio_device_error.empty(), !missing);
    // Nor do a display size chosen and full screen on and off show it when there is a device.
    for (int size : {1, 0}) update_display_size(nullptr, GINT_TO_POINTER(size));
    toggle_full_screen();
    toggle_full_screen();
    pump(100);
    EXPECT_EQ(label_texts(status_bar).find("No sound device\n") != std::string::npos, missing);
    std::string shown;
    dialog_answer look{"Sound", [&shown](GtkWidget* d) { shown = label_texts(d); }, GTK_RESPONSE_REJECT};
    const guint source = arm(look);
    select_sound();
    disarm(source, look);
    ASSERT_TRUE(look.seen);
    if (missing) { EXPECT_NE(shown.find("No sound device: " + audio_device_error), std::string::npos) << shown; }
    else { EXPECT_EQ(shown.find("No sound device"), std::string::npos) << shown; }
    CloseSound();
  }
}

TEST(OptionDialogs, RamDialogSetsSizeTopAndResetsOnOkOnly) {
  ram_size = 2;
  memtop = 0x7FFF;
  z80.pc = 0x2345;
  z80.sp = 0x4444;
  // Cancel after picking another size: nothing changes, the CPU keeps running where it was.
  dialog_answer cancel{"Select RAM Size", [](GtkWidget* d) {
                         GtkToggleButton* current = find_toggle(d, " 16K RAM ");
                         ASSERT_NE(current, nullptr);
                         EXPECT_TRUE(gtk_toggle_button_get_active(current));
                         set_toggle(d, " 4K RAM ", true);
                       },
                       GTK_RESPONSE_REJECT};
  guint source = arm(cancel);
  select_ram();
  disarm(source, cancel);
  EXPECT_TRUE(cancel.seen);
  EXPECT_EQ(ram_size, 2);
  EXPECT_EQ(memtop, 0x7FFFu);
  EXPECT_EQ(z80.pc, 0x2345);
  EXPECT_EQ(z80.sp, 0x4444);

  ram[0x5000] = 0xA5;
  dialog_answer ok{"Select RAM Size", [](GtkWidget* d) { set_toggle(d, " 64K RAM ", true); }, GTK_RESPONSE_ACCEPT};
  source = arm(ok);
  select_ram();
  disarm(source, ok);
  EXPECT_TRUE(ok.seen);
  EXPECT_EQ(ram_size, 4);
  EXPECT_EQ(memtop, 65535u);
  EXPECT_EQ(z80.pc, 0);
  EXPECT_EQ(ram[0x5000], 0xA5);  // RAM contents survive a size change

  dialog_answer small{"Select RAM Size", [](GtkWidget* d) { set_toggle(d, " 4K RAM ", true); }, GTK_RESPONSE_ACCEPT};
  source = arm(small);
  select_ram();
  disarm(source, small);
  EXPECT_EQ(ram_size, 1);
  EXPECT_EQ(memtop, 0x4FFFu);
  ram_size = 2;
  memtop = 0x7FFF;
}

TEST(OptionDialogs, AboutShowsNameVersionLicenceAndOurLogoButNoWebsite) {
  GdkPixbuf* logo = load_logo();
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(logo), 368);
  EXPECT_EQ(gdk_pixbuf_get_height(logo), 83);
  g_object_unref(logo);

  std::string name, version, licence;
  bool has_logo = false, has_website = true;
  GtkLicense licence_type = GTK_LICENSE_UNKNOWN;
  dialog_answer about{"", [&](GtkWidget* d) {
                        ASSERT_TRUE(GTK_IS_ABOUT_DIALOG(d));
                        GtkAboutDialog* box = GTK_ABOUT_DIALOG(d);
                        name = gtk_about_dialog_get_program_name(box);
                        version = gtk_about_dialog_get_version(box);
                        has_logo = gtk_about_dialog_get_logo(box) != nullptr;
                        licence = gtk_about_dialog_get_copyright(box);
                        licence_type = gtk_about_dialog_get_license_type(box);
                        has_website = gtk_about_dialog_get_website(box) != nullptr;
                      },
                      GTK_RESPONSE_DELETE_EVENT};
  guint source = arm(about);
  select_help(nullptr, nullptr);
  disarm(source, about);
  EXPECT_TRUE(about.seen);
  EXPECT_EQ(name, "Vantorel");
  EXPECT_EQ(version, " v1.02");
  EXPECT_TRUE(has_logo);
  EXPECT_NE(licence.find("GPL-2.0-or-later"), std::string::npos);
  EXPECT_EQ(licence_type, GTK_LICENSE_GPL_2_0);
  EXPECT_FALSE(has_website);  // the project has no web address
}

// Help -> Keyboard: both layouts key by key (as the layouts are documented), the shortcuts of
// the menus and the window, and the two host-key hand controllers, in a scrolled window.
TEST(OptionDialogs, KeyboardHelpShowsLayoutsShortcutsAndControllers) {
  using row = std::vector<std::string>;
  const std::vector<row> expected = {
      {":", "'  @  ~", "*  :"},           {"3", "3  £", "#  3"},
      {"Q", "Q  Left", "Q  Left"},        {"8", "*  8", "(  8"},
      {"BACKSPACE", "]  }  BackSpace  Delete", "\\  BackSpace  Delete"},
      {"Ctrl+O", "File → Load File…"},    {"Shift+F9", "Operation → Hard Reset"},
      {"Escape", "leaves full screen"},   {"KP 7  KP Home", "up-left"},
      {"KP .  KP Delete", "button 1"},    {"Up", "up"},
      {"Page Down", "button 5"},
  };
  std::vector<row> shown;
  bool scrolled = false;
  dialog_answer look{"Keyboard",
                     [&](GtkWidget* d) {
                       for (const row& r : expected) shown.push_back(grid_row(d, r[0]));
                       std::vector<GtkWidget*> all;
                       collect_widgets(d, all);
                       for (GtkWidget* w : all) scrolled = scrolled || GTK_IS_SCROLLED_WINDOW(w);
                     },
                     GTK_RESPONSE_DELETE_EVENT};
  const guint source = arm(look);
  GtkWidget* item = menu_item({"Help", "Keyboard…"});
  ASSERT_NE(item, nullptr);
  gtk_menu_item_activate(GTK_MENU_ITEM(item));
  pump(500);
  disarm(source, look);
  ASSERT_TRUE(look.seen);
  EXPECT_TRUE(scrolled);
  for (size_t n = 0; n < expected.size(); ++n) EXPECT_EQ(shown[n], expected[n]);
}

TEST(FileChooser, FiltersCancelAcceptAndRejectedNames) {
  const std::string dir = scratch_dir + "/chooser/";
  const auto cart = pattern(8192, 41);
  write_file(dir + "GAME.ROM", cart);
  write_file(dir + "GAME.Rom", pattern(8192, 42));

  std::vector<std::string> filter_names;
  std::string supported_names;  // of the names below, those the first filter shows
  std::string title;
  dialog_answer cancel{"Open File", [&](GtkWidget* d) {
                         title = gtk_window_get_title(GTK_WINDOW(d));
                         GSList* filters = gtk_file_chooser_list_filters(GTK_FILE_CHOOSER(d));
                         for (GSList* f = filters; f; f = f->next)
                           filter_names.push_back(gtk_file_filter_get_name(GTK_FILE_FILTER(f->data)));
                         g_slist_free(filters);
                         GtkFileFilter* shown = gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(d));
                         for (const char* name : {"CHESS.Rom", "game.bin", "TAPE.CAQ", "play.Wav", "a.Txt", "p.bAS", "old.VsT",
                                                  "notes.doc", "GAME.ROM.bak", "rom"}) {
                           GtkFileFilterInfo info = {};
                           info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
                           info.display_name = name;
                           if (gtk_file_filter_filter(shown, &info)) supported_names += std::string(name) + " ";
                         }
                       },
                       GTK_RESPONSE_CANCEL};
  caq_loaded = true;
  guint source = arm(cancel);
  EXPECT_EQ(load_file(), 0);
  disarm(source, cancel);
  EXPECT_TRUE(cancel.seen);
  EXPECT_EQ(title, "Open File");
  EXPECT_TRUE(caq_loaded) << "cancelling leaves the cassette in";
  const std::vector<std::string> names = {"Supported Files", "All Files", "Cartridge Files", "Cassettes", "TXT Files",
                                          "Save States"};
  EXPECT_EQ(filter_names, names);
  // Extensions in any case, save states among them.
  EXPECT_EQ(supported_names, "CHESS.Rom game.bin TAPE.CAQ play.Wav a.Txt p.bAS old.VsT ");

  // The chooser's answer that picks one file of dir and accepts it.
  auto choosing = [&dir](const std::string& name) {
    return dialog_answer{"Open File",
                         [&dir, name](GtkWidget* d) {
                           gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(d), (dir + name).c_str());
                           pump(100);
                         },
                         GTK_RESPONSE_ACCEPT};
  };
  // Accepting a cartridge maps it without restarting the CPU.
  z80.pc = 0x3333;
  dialog_answer accept = choosing("GAME.ROM");
  source = arm(accept);
  EXPECT_EQ(load_file(), 0);
  disarm(source, accept);
  EXPECT_TRUE(page_holds(7, cart));
  EXPECT_EQ(z80.pc, 0x3333);
  // The window says what was loaded and how a cartridge starts.
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(main_window)), "Vantorel v1.02 - GAME.ROM");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(notice_status)), "Cartridge loaded: Soft Reset starts it");
  // A .bas file chosen here is typed in, as a .txt file is.
  std::FILE* bas = std::fopen((dir + "PROG.bas").c_str(), "wb");
  ASSERT_NE(bas, nullptr);
  std::fputs("10 PRINT\n", bas);
  std::fclose(bas);
  dialog_answer basic = choosing("PROG.bas");
  source = arm(basic);
  EXPECT_EQ(load_file(), 0);
  disarm(source, basic);
  EXPECT_TRUE(spool_file);
  EXPECT_EQ(spool_len, 9u);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(main_window)), "Vantorel v1.02 - PROG.bas");
  stop_spool();

  // A cartridge named as users name them loads as well.
  dialog_answer mixed = choosing("GAME.Rom");
  source = arm(mixed);
  EXPECT_EQ(load_file(), 0);
  disarm(source, mixed);
  EXPECT_TRUE(page_holds(7, pattern(8192, 42)));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(main_window)), "Vantorel v1.02 - GAME.Rom");
  // A save state chosen here is loaded: the machine goes back to it.
  std::string message;
  ASSERT_TRUE(save_state_file(dir + "Saved.VST", message)) << message;
  Page_RAM[7][0] ^= 0xFF;
  dialog_answer state = choosing("Saved.VST");
  source = arm(state);
  EXPECT_EQ(load_file(), 0);
  disarm(source, state);
  EXPECT_TRUE(page_holds(7, pattern(8192, 42)));
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(notice_status))).rfind("State loaded: ", 0), 0u);

  // A name whose extension is unknown: the error box comes and is closed by the user.
  write_file(dir + "GAME.Rum", cart);
  dialog_answer reject = choosing("GAME.Rum");
  std::string error_text;
  dialog_answer error_box{"", [&](GtkWidget* d) {
                            gchar* text = nullptr;
                            g_object_get(d, "text", &text, nullptr);
                            error_text = text ? text : "";
                            g_free(text);
                          },
                          GTK_RESPONSE_CLOSE};
  error_box.message_box_only = true;
  source = arm(reject);
  guint error_source = 0;
  // The error box appears after the chooser is gone; arm its answer once the chooser was seen.
  struct chain {
    dialog_answer* first;
    dialog_answer* second;
    guint* second_source;
  } link{&reject, &error_box, &error_source};
  g_timeout_add(
      20,
      [](gpointer data) -> gboolean {
        auto* l = static_cast<chain*>(data);
        if (!l->first->seen) return G_SOURCE_CONTINUE;
        *l->second_source = arm(*l->second);
        return G_SOURCE_REMOVE;
      },
      &link);
  EXPECT_EQ(load_file(), 1);
  disarm(source, reject);
  EXPECT_TRUE(error_box.seen);
  EXPECT_EQ(error_text.substr(0, 5), "00 - ");
  EXPECT_TRUE(page_holds(7, pattern(8192, 42)));  // the previous cartridge stays
}

// File -> Export Tape as WAV…: the inserted cassette's file is chosen already, the WAV is
// offered beside it under its name, and it reads back as the tape.
TEST(FileChooser, ExportTapeAsWavStartsFromTheInsertedTape) {
  const std::string dir = scratch_dir + "/export";
  const std::string bytes = std::string(16, '\xFF') + std::string("\0HELLO \x01\x02\x03", 10);
  const std::vector<unsigned char> tape(bytes.begin(), bytes.end());
  write_file(dir + "/HELLO.caq", tape);
  ASSERT_EQ(do_load_file(dir + "/HELLO.caq"), 0);
  // Each chooser is accepted as it comes, after what it shows is noted.
  auto accept = [](const char* title, std::string& shown, gchar* (*get)(GtkFileChooser*)) {
    return dialog_answer{title, [&shown, get](GtkWidget* d) {
                           pump(100);
                           gchar* text = get(GTK_FILE_CHOOSER(d));
                           shown = text ? text : "";
                           g_free(text);
                         },
                         GTK_RESPONSE_ACCEPT};
  };
  std::string offered, suggested;
  dialog_answer pick = accept("Export Tape as WAV", offered, gtk_file_chooser_get_filename);
  dialog_answer save = accept("Save Tape as WAV", suggested, gtk_file_chooser_get_current_name);
  const guint first = arm(pick), second = arm(save);
  export_tape_as_wav();
  disarm(first, pick);
  disarm(second, save);
  EXPECT_EQ(offered, dir + "/HELLO.caq");
  EXPECT_EQ(suggested, "HELLO.wav");
  std::vector<uint8_t> heard;
  std::string error;
  EXPECT_TRUE(read_tape_wav(dir + "/HELLO.wav", heard, error)) << error;
  EXPECT_EQ(heard, tape);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(notice_status)), "Tape exported: HELLO.wav");
  caq_eject();
}

TEST(DragAndDrop, UriListWithThreeFilesLoadsOnlyTheLast) {
  const std::string dir = scratch_dir + "/drop/";
  const auto first = pattern(8192, 11), second = pattern(8192, 12), third = pattern(16384, 13);
  write_file(dir + "first.bin", first);
  write_file(dir + "second game.bin", second);
  write_file(dir + "third.rom", third);
  for (int page = 6; page < 8; ++page) std::memset(Page_RAM[page], 0, 0x2000);

  // RFC 2483: CRLF line ends, comment lines skipped; the space travels percent-encoded.
  const std::string list = "# dropped from a file manager\r\n" + file_uri(dir + "first.bin") + "\r\n" +
                           file_uri(dir + "second game.bin") + "\r\n" + file_uri(dir + "third.rom") + "\r\n";
  spool_file = false;
  drop("text/uri-list", list, 1);
  EXPECT_TRUE(page_holds(6, third, 0));
  EXPECT_TRUE(page_holds(7, third, 0x2000));
  EXPECT_FALSE(spool_file);

  // The last one wins whatever came before it in the list.
  drop("text/uri-list", file_uri(dir + "third.rom") + "\r\n" + file_uri(dir + "second game.bin") + "\r\n", 1);
  EXPECT_TRUE(page_holds(7, second));

  EXPECT_EQ(dropped_file_name(("file://" + dir + "a%20b.caq\r\n").c_str()), dir + "a b.caq");
  EXPECT_EQ(dropped_file_name(""), "");
  EXPECT_EQ(dropped_file_name("# only a comment\r\n"), "");
}

// A save state dropped is loaded; a cartridge the program is started with runs at once, and no
// notice asks for the Soft Reset. (A tape given at start: end_to_end.sh.)
TEST(DragAndDrop, StatesDroppedLoadAndFilesGivenAtStartRun) {
  const std::string dir = scratch_dir + "/start/";
  const auto cart = pattern(8192, 51);
  write_file(dir + "start.bin", cart);
  std::string message;
  ASSERT_TRUE(save_state_file(dir + "dropped.vst", message)) << message;
  const uint8_t kept = ram[0x3900];
  ram[0x3900] = static_cast<uint8_t>(~kept);
  drop("text/uri-list", file_uri(dir + "dropped.vst") + "\r\n", 1);
  EXPECT_EQ(ram[0x3900], kept);

  show_status_notice("");
  z80.pc = 0x3333;
  open_file_at_start(dir + "start.bin");
  EXPECT_TRUE(page_holds(7, cart));
  EXPECT_EQ(z80.pc, 0);
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(main_window)), "Vantorel v1.02 - start.bin");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(notice_status)), "");
}

TEST(DragAndDrop, TextIsTypedAndSoIsAListEndingInANonFileUri) {
  stop_spool();
  drop("UTF8_STRING", "10 PRINT \"HI\"", 0);
  ASSERT_TRUE(spool_file);
  ASSERT_NE(aqua_txt, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(aqua_txt), 13), "10 PRINT \"HI\"");
  EXPECT_EQ(aqua_txt[13], 0x7F);
  EXPECT_EQ(spool_len, 14u);
  EXPECT_EQ(spool_speed, 6);
  stop_spool();

  // The last entry decides: a remote URI is no file, so the dropped text itself is typed.
  const std::string dir = scratch_dir + "/drop/";
  const auto before = std::vector<unsigned char>(Page_RAM[7], Page_RAM[7] + 0x2000);
  write_file(dir + "unused.bin", pattern(8192, 77));
  const std::string list = file_uri(dir + "unused.bin") + "\r\nhttp://example.org/x.bin\r\n";
  drop("text/uri-list", list, 1);
  EXPECT_TRUE(page_holds(7, before));
  ASSERT_TRUE(spool_file);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(aqua_txt), list.size()), list);
  EXPECT_EQ(aqua_txt[list.size()], 0x7F);
  stop_spool();

  // A dropped file with an unknown extension is ignored without a word.
  write_file(dir + "notes.doc", pattern(100, 1));
  drop("text/uri-list", file_uri(dir + "notes.doc") + "\r\n", 1);
  EXPECT_TRUE(page_holds(7, before));
  EXPECT_FALSE(spool_file);
}
