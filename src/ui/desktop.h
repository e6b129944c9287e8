// The desktop program: the GTK window, its menus and handlers, and the main loop.
#pragma once
#include <gtk/gtk.h>

extern GtkWidget* main_window;
extern int arg_c;
extern char** arg_v;

void initialise_libraries();
void ui_event();
void update_timer(uint32_t start_time);
void update_display();
gboolean shutdown(GtkWidget* widget, gpointer data);
