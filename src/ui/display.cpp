// Presentation of the composed picture: the drawing area, scaling and full screen.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/config.h"
#include "core/extra_settings.h"
#include "core/frame.h"
#include "core/host.h"
#include "video/raster.h"
#include "ui/desktop.h"

GtkWidget* gtkui_drawing_area;
bool fscreen;
uint8_t prev_draw_size = 1;
uint32_t disp_width = display_width, disp_height = display_height;
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

// The window sizes ask for exactly their picture; the window cannot then be made smaller than
// the size chosen, but whatever it is made larger by goes to the picture.
void set_windowed_size() {
  disp_width = draw_size * display_width;
  disp_height = draw_size * display_height;
  gtk_widget_set_size_request(gtkui_drawing_area, disp_width, disp_height);
}

void on_area_allocated(GtkWidget*, GdkRectangle* allocation, gpointer) {
  disp_width = static_cast<uint32_t>(std::max(allocation->width, 0));
  disp_height = static_cast<uint32_t>(std::max(allocation->height, 0));
}

}  // namespace

picture_fit fit_picture(int area_width, int area_height, bool whole_multiple) {
  picture_fit fit{};
  if (area_width <= 0 || area_height <= 0) return fit;
  fit.scale = std::min(area_width / static_cast<double>(display_width), area_height / static_cast<double>(display_height));
  // Below one whole multiple there is none to keep; the picture is then only made to fit.
  if (whole_multiple && fit.scale >= 1.0) fit.scale = std::floor(fit.scale);
  fit.width = std::min(area_width, static_cast<int>(std::lround(display_width * fit.scale)));
  fit.height = std::min(area_height, static_cast<int>(std::lround(display_height * fit.scale)));
  fit.x = (area_width - fit.width) / 2;
  fit.y = (area_height - fit.height) / 2;
  return fit;
}

void init_display() {
  measure_screen();
  disp_width = draw_size * display_width;
  disp_height = draw_size * display_height;
  initialise_timings();

  gtkui_drawing_area = gtk_drawing_area_new();
  stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, display_width);
  gtk_widget_set_size_request(gtkui_drawing_area, disp_width, disp_height);
  gtk_box_pack_start(GTK_BOX(vbox), gtkui_drawing_area, TRUE, TRUE, 0);
  g_signal_connect(gtkui_drawing_area, "draw", G_CALLBACK(gtkdisplay_draw), nullptr);
  g_signal_connect(gtkui_drawing_area, "size-allocate", G_CALLBACK(on_area_allocated), nullptr);
}

namespace {

// The picture scaled to fit an area of this size, on black.
void paint_picture(cairo_t* cr, int width, int height) {
  if (!picture_surface)
    picture_surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(display_buffer),
                                                          CAIRO_FORMAT_RGB24, display_width, display_height, stride);
  const picture_fit fit = fit_picture(width, height, integer_scaling);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (fit.width == 0 || fit.height == 0) return;
  cairo_translate(cr, fit.x, fit.y);
  cairo_scale(cr, fit.scale, fit.scale);
  cairo_set_source_surface(cr, picture_surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_FAST);
  cairo_rectangle(cr, 0, 0, display_width, display_height);
  cairo_fill(cr);
}

// The window rows a frame paints, kept from frame to frame: a game changes the same rows.
cairo_region_t* band_region;
cairo_rectangle_int_t band_shape;

}  // namespace

gboolean gtkdisplay_draw(GtkWidget* widget, cairo_t* cr, gpointer) {
  paint_picture(cr, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget));
  return FALSE;
}

// A frame paints the lines the raster drew since the last repaint (the whole picture when none
// is known) straight into the window, rather than asking GTK for a redraw of the widget tree.
// The band is rounded out to whole window pixels, so it holds every window row that shows one
// of its lines. GTK's own redraws (exposure, resizing) go through gtkdisplay_draw.
void update_display() {
  if (!gtkui_drawing_area) return;
  uint32_t first = 0, last = display_height - 1;
  if (picture_changed()) {
    first = changed_first_line;
    last = changed_last_line;
  }
  picture_presented();
  GdkWindow* window = gtk_widget_get_window(gtkui_drawing_area);
  if (!window || !gtk_widget_is_drawable(gtkui_drawing_area)) return;
  const int width = gtk_widget_get_allocated_width(gtkui_drawing_area);
  const int height = gtk_widget_get_allocated_height(gtkui_drawing_area);
  const picture_fit fit = fit_picture(width, height, integer_scaling);
  const int top = std::max(fit.y, fit.y + static_cast<int>(std::floor(first * fit.scale)) - 1);
  const int bottom = std::min(fit.y + fit.height, fit.y + static_cast<int>(std::ceil((last + 1) * fit.scale)) + 1);
  if (bottom <= top || fit.width <= 0) return;
  const cairo_rectangle_int_t band = {fit.x, top, fit.width, bottom - top};
  if (!band_region || std::memcmp(&band, &band_shape, sizeof band) != 0) {
    if (band_region) cairo_region_destroy(band_region);
    band_region = cairo_region_create_rectangle(&band);
    band_shape = band;
  }
  GdkDrawingContext* context = gdk_window_begin_draw_frame(window, band_region);
  cairo_t* cr = gdk_drawing_context_get_cairo_context(context);
  // The context is not always clipped to the region it was begun with (X11 paints the whole
  // window then): the band is clipped here.
  cairo_rectangle(cr, band.x, band.y, band.width, band.height);
  cairo_clip(cr);
  paint_picture(cr, width, height);
  gdk_window_end_draw_frame(window, context);
}

// The status bar stays under the picture in full screen: the frame rate is most interesting
// exactly when the host is asked to scale the most. The picture takes the rest of the screen.
void fullscreen() {
  host_audio_device_pause(true);
  on_window_realize(main_window, nullptr);
  prev_draw_size = draw_size;
  draw_size = 3;
  gtk_widget_hide(menubar);
  gtk_widget_set_size_request(gtkui_drawing_area, display_width, display_height);
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

void set_integer_scaling(bool on) {
  integer_scaling = on;
  if (gtkui_drawing_area) gtk_widget_queue_draw(gtkui_drawing_area);
}
