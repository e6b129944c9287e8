// The desktop program: start the machine, then run frames until the window is closed.
#include <csignal>

#include "core/frame.h"
#include "core/roms.h"
#include "ui/desktop.h"

namespace {

// SIGTERM, SIGHUP (log-out) and SIGINT ask the program to quit as its window's close button
// does, so the settings are saved; a second one ends it at once.
volatile std::sig_atomic_t quit_signals = 0;

void on_quit_signal(int signal_number) {
  if (quit_signals == 0) {
    quit_signals = 1;
    return;
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void catch_quit_signals() {
  struct sigaction action = {};
  action.sa_handler = on_quit_signal;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal_number, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  arg_c = argc;
  arg_v = argv;
  catch_quit_signals();
  Initialise_Emulator();
  while (!quit_requested) {
    one_Z80_frame();
    ui_event();
    if (quit_signals && !quit_requested) shutdown(nullptr, nullptr);
    if (!speed && !quit_requested) update_timer();
  }
  return 0;
}
