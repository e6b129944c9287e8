// PNG screenshots of the picture buffer through cairo.
#include "video/screenshot.h"

#include <cairo.h>

#include <ctime>

#include "core/host_file.h"
#include "core/roms.h"
#include "video/raster.h"

namespace {

cairo_status_t append_png_bytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

// The picture buffer is already cairo's RGB24 layout (0x00RRGGBB in native words), and a row of
// 352 such pixels is a stride cairo accepts, so the buffer is handed over without a copy.
bool encode_screenshot(std::vector<uint8_t>& png) {
  png.clear();
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, static_cast<int>(display_width));
  if (stride != static_cast<int>(display_width * sizeof display_buffer[0])) return false;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(display_buffer), CAIRO_FORMAT_RGB24, static_cast<int>(display_width),
      static_cast<int>(display_height), stride);
  const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
                  cairo_surface_write_to_png_stream(surface, append_png_bytes, &png) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

bool write_screenshot_png(const std::string& path, std::string& error) {
  std::vector<uint8_t> png;
  if (!encode_screenshot(png)) {
    error = path + ": the picture could not be encoded";
    return false;
  }
  return save_file(path, png.data(), png.size(), error);
}

std::string save_screenshot(const std::string& stem, std::string& error) {
  std::vector<uint8_t> png;
  if (!encode_screenshot(png)) {
    error = "the picture could not be encoded";
    return {};
  }
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string dir = (program_dir.empty() ? std::string(".") : program_dir) + "/" + SCREENSHOT_DIR;
  if (!make_directory(dir, error)) return {};
  const std::string file = save_new_file(dir, stem + "-" + stamp, ".png", png.data(), png.size(), error);
  return file.empty() ? file : std::string(SCREENSHOT_DIR) + "/" + file;
}
