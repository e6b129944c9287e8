// The desktop program: start the machine, then run frames until the window is closed.
//   vantorel [GTK options] [--dir DIR] [FILE]   (or --help, --version)
#include <SDL.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/frame.h"
#include "core/program_dir.h"
#include "core/roms.h"
#include "debug/gdb_server.h"
#include "debug/run_control.h"
#include "sound/audio_out.h"
#include "ui/audio_device.h"
#include "ui/debugger_window.h"
#include "ui/desktop.h"

namespace {

// SIGTERM, SIGHUP (log-out) and SIGINT ask the program to quit as its window's close button
// does, so the settings are saved. GLib's signal sources are dispatched by the nested loops of
// modal dialogs too, so a signal is seen while one is open: it answers every dialog, then and
// until the main loop ends, as if its window were closed. After the first, the signals are left
// to their default action, so a second one ends the program at once.
bool quit_signalled = false;
guint quit_signal_sources[3];

gboolean close_dialogs(gpointer) {
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w; w = w->next)
    if (GTK_IS_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
      gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_DELETE_EVENT);
  g_list_free(windows);
  return G_SOURCE_CONTINUE;
}

gboolean on_quit_signal(gpointer index) {
  quit_signalled = true;
  quit_signal_sources[GPOINTER_TO_INT(index)] = 0;
  for (guint& source : quit_signal_sources)
    if (source) {
      g_source_remove(source);
      source = 0;
    }
  close_dialogs(nullptr);
  g_timeout_add(50, close_dialogs, nullptr);  // dialogs still to come on the way out
  return G_SOURCE_REMOVE;
}

// A signal ignored when the program was started (nohup's SIGHUP, SIGINT for a job started in the
// background by a script) stays ignored.
void catch_quit_signals() {
  const int signals[3] = {SIGTERM, SIGHUP, SIGINT};
  for (int index = 0; index < 3; ++index) {
    struct sigaction current = {};
    sigaction(signals[index], nullptr, &current);
    if (current.sa_handler != SIG_IGN)
      quit_signal_sources[index] = g_unix_signal_add(signals[index], on_quit_signal, GINT_TO_POINTER(index));
  }
}

// --help and --version answer before GTK starts or a program directory is chosen: they need no
// display and leave nothing behind.
bool answered_help_or_version(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("vantorel %s\n", VANTOREL_VERSION);
      return true;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(
          "usage: vantorel [GTK options] [--dir DIR] [--gdb PORT] [FILE]\n"
          "The Aquarius home computer in a window.\n"
          "  --dir DIR   program directory holding roms/, usb/ and vantorel.ini (default: the\n"
          "              current directory when it holds roms/ or vantorel.ini, otherwise\n"
          "              $XDG_DATA_HOME/vantorel, by default ~/.local/share/vantorel)\n"
          "  --gdb PORT  serve GDB's remote protocol on 127.0.0.1:PORT (0: any free port,\n"
          "              named on standard error); the machine runs until GDB stops it\n"
          "  FILE        a file to load at start-up, as if dropped on the window\n"
          "  --help      show this text\n"
          "  --version   show the version\n"
          "GTK's own options (--display DISPLAY, ...) are taken too. See vantorel(1).\n");
      return true;
    }
  }
  return false;
}

// --gdb PORT: the listener opens before anything else, so that a port in use ends the program at
// once with its reason (status 1).
bool open_gdb_server(const std::string& port_text) {
  char* end = nullptr;
  const long port = std::strtol(port_text.c_str(), &end, 10);
  std::string message = "--gdb wants a port from 0 to 65535, not \"" + port_text + "\"";
  if (end != port_text.c_str() && *end == 0 && port >= 0 && port <= 65535 &&
      gdb_server_open(static_cast<uint16_t>(port), message)) {
    std::fprintf(stderr, "vantorel: waiting for GDB on 127.0.0.1:%u\n", gdb_port);
    return true;
  }
  std::fprintf(stderr, "vantorel: %s\n", message.c_str());
  return false;
}

std::string absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char here[PATH_MAX];
  return getcwd(here, sizeof here) ? std::string(here) + "/" + path : path;
}

}  // namespace

int main(int argc, char** argv) {
  if (answered_help_or_version(argc, argv)) return 0;
  // GTK takes its own options first; what is left is ours.
  gtk_parse_args(&argc, &argv);
  std::string dir_option, file, gdb_option;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
      dir_option = argv[++i];
    } else if (std::strcmp(argv[i], "--gdb") == 0 && i + 1 < argc) {
      gdb_option = argv[++i];
    } else if (argv[i][0] == '-' || !file.empty()) {
      std::fprintf(stderr, "usage: vantorel [GTK options] [--dir DIR] [--gdb PORT] [FILE]\n");
      return 2;
    } else {
      file = argv[i];
    }
  }
  if (!gdb_option.empty() && !open_gdb_server(gdb_option)) return 1;
  file = absolute(file);
  // A data directory that could not be made, another program in the same directory: said on
  // standard error at once, and in an error box once the window is there.
  const program_dir_choice where = choose_program_directory(dir_option, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  if (!where.problem.empty()) std::fprintf(stderr, "vantorel: %s\n", where.problem.c_str());
  if (chdir(where.dir.c_str()) != 0) {
    std::fprintf(stderr, "vantorel: cannot enter %s: %s\n", where.dir.c_str(), std::strerror(errno));
    return 2;
  }
  const std::string shared_dir = claim_program_directory();
  if (!shared_dir.empty()) std::fprintf(stderr, "vantorel: %s\n", shared_dir.c_str());
  arg_c = 1;
  arg_v = argv;
  catch_quit_signals();
  Initialise_Emulator();
  for (const std::string& notice : {where.problem, shared_dir})
    if (!notice.empty()) Aqua_Error(0, 0, notice);
  restore_extra_session();
  if (!file.empty()) open_file_at_start(file);
  while (!quit_requested) {
    // Paused or stopped by the debugger, the loop still paces itself, so that the windows and
    // their dialogs stay alive; a stopped machine runs nothing until it is resumed, and a frame
    // stopped in its middle ends (with its keys) when it is finished. A Break asked for while
    // paused (GDB arriving, its Ctrl-C) stops the machine before its next instruction.
    if ((!machine_paused || break_requested) && run_frame()) keys_frame_end();
    gdb_server_poll(0);
    follow_machine_stops();
    ui_event();
    if (quit_signalled && !quit_requested) shutdown(nullptr, nullptr);
    // While GDB holds the machine stopped, its next packet ends the wait at once.
    if (machine_stopped() && gdb_server_connected() && !quit_requested) gdb_server_poll(20);
    else if ((!speed || machine_paused || machine_stopped()) && !quit_requested) update_timer();
  }
  return 0;
}
