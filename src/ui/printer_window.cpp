// File → Printer Output…: the printer's paper as printed so far, scrolled to the newest line,
// with its saves and Tear Off; and the status bar's "Printing…" while bytes come in.
#include <algorithm>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/printer.h"
#include "sound/audio_out.h"
#include "ui/desktop.h"
#include "video/screenshot.h"

GtkWidget* printer_window;
GtkWidget* printer_paper_area;
GtkWidget* printer_status;

namespace {

// Thermal-paper glyphs are small: the paper is shown twice its size, pixels kept sharp.
constexpr int PAPER_SCALE = 2;
constexpr int PAPER_WIDTH = static_cast<int>(PRINTER_PICTURE_WIDTH) * PAPER_SCALE;
constexpr int WINDOW_HEIGHT = 480;
constexpr double DESK_GREY = 0.45;  // the area below the paper's end
// How often the paper and "Printing…" catch up with the machine: a line of 40 characters takes
// about a third of a second to send, so printing is seen as it goes.
constexpr guint WATCH_MS = 100;

GtkAdjustment* paper_scroll;
uint32_t shown_changes;
std::vector<uint32_t> visible_rows;  // the rows of the paper the area shows, unscaled

// The scroll range follows the paper's length and the area's height; new output scrolls to the end.
void fit_scroll_range(bool to_end) {
  const double visible = gtk_widget_get_allocated_height(printer_paper_area);
  const double length = std::max<double>(printer_picture_height() * PAPER_SCALE, visible);
  const double value = to_end ? length - visible : std::min(gtk_adjustment_get_value(paper_scroll), length - visible);
  gtk_adjustment_configure(paper_scroll, value, 0, length, PRINTER_LINE_ROWS * PAPER_SCALE, visible * 0.9, visible);
}

gboolean draw_paper(GtkWidget* area, cairo_t* cr, gpointer) {
  cairo_set_source_rgb(cr, DESK_GREY, DESK_GREY, DESK_GREY);
  cairo_paint(cr);
  const int top = static_cast<int>(gtk_adjustment_get_value(paper_scroll));
  const uint32_t first_row = static_cast<uint32_t>(top / PAPER_SCALE), length = printer_picture_height();
  if (first_row >= length) return TRUE;
  const uint32_t rows = std::min<uint32_t>(length - first_row, gtk_widget_get_allocated_height(area) / PAPER_SCALE + 2);
  visible_rows.resize(static_cast<size_t>(rows) * PRINTER_PICTURE_WIDTH);
  printer_picture_rows(first_row, rows, visible_rows.data());
  cairo_surface_t* paper = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(visible_rows.data()), CAIRO_FORMAT_RGB24, static_cast<int>(PRINTER_PICTURE_WIDTH),
      static_cast<int>(rows), static_cast<int>(PRINTER_PICTURE_WIDTH * sizeof visible_rows[0]));
  cairo_translate(cr, 0, static_cast<int>(first_row) * PAPER_SCALE - top);
  cairo_scale(cr, PAPER_SCALE, PAPER_SCALE);
  cairo_set_source_surface(cr, paper, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, 0, 0, PRINTER_PICTURE_WIDTH, rows);
  cairo_fill(cr);
  cairo_surface_destroy(paper);
  return TRUE;
}

gboolean scroll_paper(GtkWidget*, GdkEventScroll* event, gpointer) {
  double dy = 0;
  if (event->direction == GDK_SCROLL_UP) dy = -1;
  else if (event->direction == GDK_SCROLL_DOWN) dy = 1;
  else if (event->direction == GDK_SCROLL_SMOOTH) gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(event), nullptr, &dy);
  const double step = 3 * gtk_adjustment_get_step_increment(paper_scroll);
  gtk_adjustment_set_value(paper_scroll, gtk_adjustment_get_value(paper_scroll) + dy * step);
  return TRUE;
}

void on_paper_resized(GtkWidget*, GdkRectangle*, gpointer) { fit_scroll_range(false); }
void on_scrolled(GtkAdjustment*, gpointer) { gtk_widget_queue_draw(printer_paper_area); }

// A chooser for a new file, the audio paused meanwhile; the path chosen, or empty.
std::string choose_paper_file(const char* title, const char* suggested) {
  GtkWidget* chooser = new_file_chooser(title, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save");
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), suggested);
  return run_chooser(chooser);
}

void save_paper(const char* title, const char* suggested, bool (*save)(const std::string&, std::string&)) {
  pause_audio();
  const std::string path = choose_paper_file(title, suggested);
  std::string error;
  if (!path.empty() && save(path, error))
    show_status_notice("Printer output saved: " + path);
  else if (!path.empty())
    host_show_error("The printer output was not saved: " + error);
  resume_audio();
}

void on_save_png(GtkWidget*, gpointer) { save_paper("Save Printer Output as PNG", "printout.png", write_paper_png); }
void on_save_text(GtkWidget*, gpointer) { save_paper("Save Printer Output as Text", "printout.txt", printer_save_text); }
void on_tear_off(GtkWidget*, gpointer) { printer_tear_off(); }

GtkWidget* add_button(GtkWidget* box, const char* label, GCallback handler) {
  GtkWidget* button = gtk_button_new_with_mnemonic(label);
  g_signal_connect(button, "clicked", handler, nullptr);
  gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
  return button;
}

// The paper at the window's top left, its scroll bar beside it, the buttons below.
void build_printer_window() {
  printer_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(printer_window), "Printer Output");
  gtk_window_set_transient_for(GTK_WINDOW(printer_window), GTK_WINDOW(main_window));
  g_signal_connect(printer_window, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
  GtkWidget* rows = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_container_add(GTK_CONTAINER(printer_window), rows);
  GtkWidget* paper_row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_box_pack_start(GTK_BOX(rows), paper_row, TRUE, TRUE, 0);
  printer_paper_area = gtk_drawing_area_new();
  gtk_widget_set_size_request(printer_paper_area, PAPER_WIDTH, WINDOW_HEIGHT);
  gtk_widget_add_events(printer_paper_area, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
  g_signal_connect(printer_paper_area, "draw", G_CALLBACK(draw_paper), nullptr);
  g_signal_connect(printer_paper_area, "scroll-event", G_CALLBACK(scroll_paper), nullptr);
  g_signal_connect(printer_paper_area, "size-allocate", G_CALLBACK(on_paper_resized), nullptr);
  gtk_box_pack_start(GTK_BOX(paper_row), printer_paper_area, TRUE, TRUE, 0);
  paper_scroll = gtk_adjustment_new(0, 0, 1, 1, 1, 1);
  g_signal_connect(paper_scroll, "value-changed", G_CALLBACK(on_scrolled), nullptr);
  gtk_box_pack_start(GTK_BOX(paper_row), gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, paper_scroll), FALSE, FALSE, 0);
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(buttons), 4);
  gtk_box_pack_start(GTK_BOX(rows), buttons, FALSE, FALSE, 0);
  add_button(buttons, "Save as _PNG…", G_CALLBACK(on_save_png));
  add_button(buttons, "Save as _Text…", G_CALLBACK(on_save_text));
  add_button(buttons, "Tear _Off", G_CALLBACK(on_tear_off));
}

gboolean watch_printer(gpointer) {
  gtk_widget_set_visible(printer_status, printer_printing());
  if (printer_window && shown_changes != printer_changes) {
    shown_changes = printer_changes;
    fit_scroll_range(true);
    gtk_widget_queue_draw(printer_paper_area);
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

void on_printer_output(GtkWidget*, gpointer) {
  if (!printer_window) build_printer_window();
  gtk_widget_show_all(printer_window);
  gtk_window_present(GTK_WINDOW(printer_window));
  shown_changes = printer_changes - 1;  // the paper as it is now, at its end
  watch_printer(nullptr);
}

void add_printer_status(GtkWidget* bar) {
  printer_status = gtk_label_new("Printing…");
  gtk_widget_set_no_show_all(printer_status, TRUE);
  gtk_box_pack_end(GTK_BOX(bar), printer_status, FALSE, FALSE, 6);
  g_timeout_add(WATCH_MS, watch_printer, nullptr);
}
