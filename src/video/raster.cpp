// Raster-timed composition: after every instruction the cells the beam crossed are drawn
// from the memory contents at the end of that instruction.
#include "video/raster.h"

#include <cstring>

#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"

uint32_t display_buffer[display_width * display_height];
uint8_t vsync;
uint8_t vsync_tstate[312];

const uint32_t AquaColours[16] = {
    0x101010, 0xF01010, 0x10F010, 0xF0E810, 0x2121DE, 0xF010F0, 0x30C0C0, 0xF0F0F0,
    0xC0C0C0, 0x28A8A8, 0xC020C0, 0x4210C8, 0xF0F070, 0x20C840, 0xA82020, 0x303030,
};

namespace {

constexpr uint32_t first_active_line = 16, last_active_line = 215;
constexpr uint32_t last_visible_line = display_height - 1;  // 231
constexpr uint32_t first_active_x = 8, last_active_x = 167;
constexpr uint32_t last_visible_x = 175;
constexpr uint32_t screen_offset = 0x1000;  // 0x3000 within page 1
constexpr uint32_t colour_offset = 0x1400;  // 0x3400 within page 1

// The sync flag is low for the 200 active lines of a PAL field and high elsewhere.
const bool vsync_table_filled = [] {
  for (uint32_t line = 0; line < 312; ++line)
    vsync_tstate[line] = (line < first_active_line || line > last_active_line) ? 1 : 0;
  return true;
}();

// For every glyph row, eight all-ones or all-zero pixel masks, bit 7 (the leftmost pixel)
// first: a cell is then eight masked stores with no bit fiddling.
struct GlyphMasks {
  uint32_t pixel[256][8];
};
constexpr GlyphMasks make_glyph_masks() {
  GlyphMasks m{};
  for (uint32_t row = 0; row < 256; ++row)
    for (uint32_t k = 0; k < 8; ++k) m.pixel[row][k] = (row & (0x80u >> k)) ? 0xFFFFFFFFu : 0u;
  return m;
}
constexpr GlyphMasks glyph_masks = make_glyph_masks();

inline void paint_cell(uint32_t line, uint32_t x, uint8_t code, uint8_t colour) {
  const uint32_t* mask = glyph_masks.pixel[CHAR_ROM[code * 8u + (line & 7)]];
  const uint32_t bg = AquaColours[colour & 0x0F];
  const uint32_t flip = AquaColours[colour >> 4] ^ bg;
  uint32_t* out = display_buffer + line * display_width + (x / 4) * 8;
  for (int k = 0; k < 8; ++k) out[k] = bg ^ (flip & mask[k]);
}

// Both helpers trust the classification of their position; the public functions check it.
inline void draw_active_cell(uint32_t line, uint32_t x) {
  const uint32_t row = (line - first_active_line) / 8, column = x / 4 - 2;
  const uint8_t* page1 = Page_RAM[1];
  const uint32_t offset = 40 * row + column;
  paint_cell(line, x, page1[screen_offset + offset], page1[colour_offset + offset]);
}

inline void draw_border_cell(uint32_t line, uint32_t x) {
  vsync = vsync_tstate[line] != 1 ? 1 : 0;
  const uint8_t* page1 = Page_RAM[1];
  paint_cell(line, x, page1[screen_offset], page1[colour_offset]);
}

inline bool in_frame(uint32_t t) { return t < frame_length && t < DISPLAY_TSTATE_ENTRIES; }

}  // namespace

uint8_t get_byte_position(uint32_t t) {
  const uint32_t line = t / tstates_per_line, x = t % tstates_per_line;
  if (x > last_visible_x || line > last_visible_line) return 255;
  if (line < first_active_line || line > last_active_line) return 2;
  if (x < first_active_x || x > last_active_x) return 1;
  return 0;
}

void byte_to_display(int32_t n) {
  uint32_t t = screen_t_state;
  if (n > 0 && in_frame(t)) {
    const uint32_t end = frame_length < DISPLAY_TSTATE_ENTRIES ? frame_length : DISPLAY_TSTATE_ENTRIES;
    // One division per call; the raster position then advances with the samples.
    uint32_t line = t / tstates_per_line, x = t % tstates_per_line;
    // Sampling every 4 T-states from the instruction's first T-state never skips a cell.
    for (; n > 0 && t < end; t += 4, n -= 4) {
      const uint8_t kind = display_tstate[t];
      if (kind == 0) draw_active_cell(line, x);
      else if (kind != 255) draw_border_cell(line, x);
      x += 4;
      if (x >= tstates_per_line) {
        x -= tstates_per_line;
        ++line;
      }
    }
  }
  screen_t_state = t_state;
}

void draw_byte(uint32_t t) {
  if (in_frame(t) && display_tstate[t] == 0) draw_active_cell(t / tstates_per_line, t % tstates_per_line);
}

void update_border(uint32_t t) {
  if (in_frame(t) && (display_tstate[t] == 1 || display_tstate[t] == 2))
    draw_border_cell(t / tstates_per_line, t % tstates_per_line);
}

void clear_display_buffer() { std::memset(display_buffer, 0, sizeof display_buffer); }
