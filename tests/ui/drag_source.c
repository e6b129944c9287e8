/* A window the end-to-end test drags files from with the mouse, offering them the way a file
 * manager does: text/uri-list with one URI per file, in the order given.
 * Usage: drag_source <file>... */
#include <gtk/gtk.h>

static gchar* uri_list;

static void on_drag_data_get(GtkWidget* widget, GdkDragContext* context, GtkSelectionData* selection, guint info,
                             guint time, gpointer data) {
  (void)widget; (void)context; (void)info; (void)time; (void)data;
  gtk_selection_data_set(selection, gtk_selection_data_get_target(selection), 8, (const guchar*)uri_list,
                         (gint)strlen(uri_list));
}

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  if (argc < 2) return 2;
  GString* list = g_string_new("");
  for (int i = 1; i < argc; ++i) {
    gchar* absolute = g_canonicalize_filename(argv[i], NULL);
    gchar* uri = g_filename_to_uri(absolute, NULL, NULL);
    g_free(absolute);
    if (!uri) return 1;
    g_string_append_printf(list, "%s\r\n", uri);
    g_free(uri);
  }
  uri_list = g_string_free(list, FALSE);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "drag source");
  gtk_window_set_default_size(GTK_WINDOW(window), 120, 80);
  gtk_window_move(GTK_WINDOW(window), 700, 100);
  GtkWidget* box = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(window), box);
  gtk_container_add(GTK_CONTAINER(box), gtk_label_new("file"));
  static const GtkTargetEntry targets[] = {{"text/uri-list", 0, 0}};
  gtk_drag_source_set(box, GDK_BUTTON1_MASK, targets, 1, GDK_ACTION_COPY);
  g_signal_connect(box, "drag-data-get", G_CALLBACK(on_drag_data_get), NULL);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
