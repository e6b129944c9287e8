// The debugger window (Operation → Debugger…) and the desktop's side of the machine's stops.
#pragma once
#include <gtk/gtk.h>

extern GtkWidget* debugger_window;  // the window while open, null while closed

// Opens the window, or raises it when open. The machine goes on as it was: only Break stops it.
void show_debugger_window();
void close_debugger_window();
// After each frame of the main loop: a stop made by anyone (a breakpoint, Break, a step, a GDB
// client) pauses the sound and shows in the window (the machine has repainted the picture as far
// as it was composed); a resume starts the sound again. Two comparisons when nothing happened.
void follow_machine_stops();
// Operation menu: "Debugger…" (F8), "Break on Reading Unwritten RAM", "Power-on RAM".
void add_debugger_menu_items(GtkWidget* operation_menu, GtkAccelGroup* accelerators);
