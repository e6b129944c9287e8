// Presentation of the composed picture: the drawing area, scaling and full screen.
#include "core/config.h"
#include "core/frame.h"
#include "core/host.h"
#include "video/raster.h"
#include "ui/desktop.h"

GtkWidget* gtkui_drawing_area;
bool fscreen;
uint8_t prev_draw_size = 1;
uint32_t disp_width = display_width, disp_height = display_height;
double screen_width = 1.0, screen_height = 1.0;
int32_t stride;

const char* const displaySize[2] = {"100%", "200%"};

namespace {

cairo_surface_t* picture_surface;  // wraps display_buffer, never copies it
int screen_pixels_x = display_width, screen_pixels_y = display_height;

void measure_screen() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  if (monitor) {
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    if (area.width > 0 && area.height > 0) {
      screen_pixels_x = area.width;
      screen_pixels_y = area.height;
    }
  }
}

void set_windowed_size() {
  disp_width = draw_size * display_width;
  disp_height = draw_size * display_height;
  gtk_widget_set_size_request(gtkui_drawing_area, disp_width, disp_height);
}

}  // namespace

void init_display() {
  measure_screen();
  screen_width = screen_pixels_x / static_cast<double>(display_width);
  screen_height = screen_pixels_y / static_cast<double>(display_height);
  disp_width = draw_size * display_width;
  disp_height = draw_size * display_height;
  initialise_timings();

  gtkui_drawing_area = gtk_drawing_area_new();
  stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, display_width);
  gtk_widget_set_size_request(gtkui_drawing_area, disp_width, disp_height);
  gtk_box_pack_start(GTK_BOX(vbox), gtkui_drawing_area, FALSE, FALSE, 0);
  g_signal_connect(gtkui_drawing_area, "draw", G_CALLBACK(gtkdisplay_draw), nullptr);
}

gboolean gtkdisplay_draw(GtkWidget*, cairo_t* cr, gpointer) {
  if (!picture_surface)
    picture_surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(display_buffer),
                                                          CAIRO_FORMAT_RGB24, display_width, display_height, stride);
  if (draw_size == 3)
    cairo_scale(cr, screen_width, screen_height);
  else
    cairo_scale(cr, draw_size, draw_size);
  cairo_set_source_surface(cr, picture_surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  return FALSE;
}

void update_display() {
  if (gtkui_drawing_area) gtk_widget_queue_draw_area(gtkui_drawing_area, 0, 0, disp_width, disp_height);
}

// The status bar stays under the stretched picture in full screen: the frame rate is most
// interesting exactly when the host is asked to scale the most. The picture therefore gets the
// screen's height less the status bar's rows, and its vertical factor is taken from that.
void fullscreen() {
  host_audio_device_pause(true);
  on_window_realize(main_window, nullptr);
  prev_draw_size = draw_size;
  draw_size = 3;
  gtk_widget_hide(menubar);
  // The status bar is packed with one row of padding above and below it.
  const int status_rows = gtk_widget_get_allocated_height(status_bar) + 2;
  disp_width = screen_pixels_x;
  disp_height = screen_pixels_y > status_rows ? screen_pixels_y - status_rows : screen_pixels_y;
  screen_height = disp_height / static_cast<double>(display_height);
  gtk_widget_set_size_request(gtkui_drawing_area, disp_width, disp_height);
  gtk_window_resize(GTK_WINDOW(main_window), screen_pixels_x, screen_pixels_y);
  gtk_window_move(GTK_WINDOW(main_window), 0, 0);
  gtk_window_fullscreen(GTK_WINDOW(main_window));
  host_audio_device_pause(false);
}

void unfullscreen() {
  host_audio_device_pause(true);
  gtk_widget_show(menubar);
  draw_size = prev_draw_size;
  set_windowed_size();
  gtk_window_resize(GTK_WINDOW(main_window), disp_width, disp_height + MENU_AND_STATUS_ROWS);
  gtk_window_unfullscreen(GTK_WINDOW(main_window));
  gtk_window_move(GTK_WINDOW(main_window), windowpos_X, windowpos_Y);
  gtk_widget_show_all(main_window);
  host_audio_device_pause(false);
}

void update_display_size(GtkWidget*, gpointer index) {
  host_audio_device_pause(true);
  gtk_widget_show(menubar);
  draw_size = GPOINTER_TO_INT(index) == 1 ? 2 : 1;
  set_choice_sensitivity(displaysizex, draw_size - 1);
  set_windowed_size();
  clear_display_buffer();
  gtk_window_resize(GTK_WINDOW(main_window), disp_width, disp_height + MENU_AND_STATUS_ROWS);
  gtk_widget_show_all(main_window);
  host_audio_device_pause(false);
}
