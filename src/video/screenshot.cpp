// PNG screenshots of the picture buffer through cairo.
#include "video/screenshot.h"

#include <cairo.h>

#include <ctime>

#include "core/host_file.h"
#include "core/printer.h"
#include "core/roms.h"
#include "video/raster.h"

namespace {

cairo_status_t append_png_bytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

// The pixels are already cairo's RGB24 layout (0x00RRGGBB in native words); a row whose stride
// cairo accepts is handed over without a copy, as the picture buffer's 352 pixels are.
bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& png) {
  png.clear();
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, static_cast<int>(width));
  if (stride != static_cast<int>(width * sizeof pixels[0])) return false;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pixels)), CAIRO_FORMAT_RGB24, static_cast<int>(width),
      static_cast<int>(height), stride);
  const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
                  cairo_surface_write_to_png_stream(surface, append_png_bytes, &png) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

bool encode_screenshot(std::vector<uint8_t>& png) { return encode_png(display_buffer, display_width, display_height, png); }

bool write_paper_png(const std::string& path, std::string& error) {
  const uint32_t height = printer_picture_height();
  std::vector<uint32_t> paper(static_cast<size_t>(PRINTER_PICTURE_WIDTH) * height);
  printer_picture_rows(0, height, paper.data());
  std::vector<uint8_t> png;
  if (!encode_png(paper.data(), PRINTER_PICTURE_WIDTH, height, png)) {
    error = path + ": the paper could not be encoded";
    return false;
  }
  return save_file(path, png.data(), png.size(), error);
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
