// The cassette stream and the key spooler.
//
// The tape is never emulated as a signal: the system ROM's byte-read routine is patched into a
// single IN A,(C) from port 0xFC, and that port hands out the image one byte per read. Text is
// typed by writing the keyboard matrix directly at frame ends, one key stroke per
// spool_speed frames, slow enough for the ROM's keyboard scan to see every press and release.
#include "loading/cassette.h"

#include <cstring>
#include <new>

#include "core/config.h"
#include "core/frame.h"
#include "core/ports.h"
#include "core/roms.h"
#include "input/keyboard.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"

uint8_t* aqua_caq = nullptr;
uint32_t caq_byte_count = 0;
uint32_t caq_count = 0;
uint8_t* caq_image = nullptr;
uint32_t caq_image_size = 0;
std::string caq_path;

uint8_t* aqua_txt = nullptr;
uint32_t spool_len = 0;
uint32_t spool_count = 0;
bool spool_file = false;
uint8_t spool_speed = SPOOL_STROKE_FILE;
uint8_t flipFlop = 2;
uint8_t temp_sound = 1;
bool spool_is_autoload = false;
uint16_t autoload_keyboard_frames = 0;
uint16_t autoload_wait_frames = 0;

namespace {

// Short texts (the autoload command, most pastes) are typed from this buffer, so that the
// cassette trap, which starts the autoload from inside an instruction, never allocates.
uint8_t spool_short_text[64];

constexpr uint8_t SHIFT_COLUMN = 7;
constexpr uint8_t SHIFT_BIT = 4;

// The characters each matrix key types, alone and with SHIFT; 0 marks "types nothing".
// Line feed is RETURN; the machine's backspace key has no character of its own here, so its
// unshifted cell is empty and its shifted one is the backslash.
constexpr char key_alone[8][6] = {
    {'=', 0, ':', '\n', ';', '.'},   {'-', '/', '0', 'p', 'l', ','},
    {'9', 'o', 'k', 'm', 'n', 'j'},  {'8', 'i', '7', 'u', 'h', 'b'},
    {'6', 'y', 'g', 'v', 'c', 'f'},  {'5', 't', '4', 'r', 'd', 'x'},
    {'3', 'e', 's', 'z', ' ', 'a'},  {'2', 'w', '1', 'q', 0, 0},
};
constexpr char key_shifted[8][6] = {
    {'+', '\\', '*', 0, '@', '>'},   {'_', '^', '?', 'P', 'L', '<'},
    {')', 'O', 'K', 'M', 'N', 'J'},  {'(', 'I', '\'', 'U', 'H', 'B'},
    {'&', 'Y', 'G', 'V', 'C', 'F'},  {'%', 'T', '$', 'R', 'D', 'X'},
    {'#', 'E', 'S', 'Z', 0, 'A'},    {'"', 'W', '!', 'Q', 0, 0},
};

struct spool_table {
  spool_key key[256];
};

constexpr spool_table build_spool_table() {
  spool_table t{};
  for (auto& k : t.key) k = {0xFF, 0, false};
  for (uint8_t column = 0; column < 8; ++column) {
    for (uint8_t bit = 0; bit < 6; ++bit) {
      if (key_alone[column][bit]) t.key[static_cast<uint8_t>(key_alone[column][bit])] = {column, bit, false};
      if (key_shifted[column][bit]) t.key[static_cast<uint8_t>(key_shifted[column][bit])] = {column, bit, true};
    }
  }
  return t;
}

constexpr spool_table spool_keys = build_spool_table();

void release_spool_text() {
  if (aqua_txt != spool_short_text) delete[] aqua_txt;
  aqua_txt = nullptr;
}

// The byte sequence the autoload types: a carriage return, the wait, the word cload, two
// carriage returns and a NUL. The carriage returns are typed as RETURN: the first passes a
// power-on screen, the second ends the command line, the third answers the ROM's "Press
// RETURN key to start". The NUL is an all-keys-up stroke.
constexpr uint8_t autoload_text[10] = {0x0D, AUTOLOAD_WAIT, 0x63, 0x6C, 0x6F, 0x61, 0x64, 0x0D, 0x0D, 0x00};
constexpr uint8_t CARRIAGE_RETURN = 0x0D;

// The autoload's next stroke is its wait.
bool autoload_waiting() { return spool_is_autoload && spool_len && aqua_txt[spool_count] == AUTOLOAD_WAIT; }

// A ROM that waits for a key reads the keyboard all the time; one that is setting up, or
// running a program that takes no keys, does not. Nothing else tells, whatever the ROM.
bool machine_takes_keys() {
  return autoload_keyboard_frames >= AUTOLOAD_READY_FRAMES || autoload_wait_frames >= AUTOLOAD_WAIT_LIMIT;
}

}  // namespace

spool_key spool_key_for(uint8_t c) { return spool_keys.key[c]; }

uint8_t get_caq_byte() {
  if (!aqua_caq) return 0xFF;
  // The position is tested before the read: a stream re-armed with a position beyond its end
  // must not read outside the image.
  if (caq_count < caq_byte_count) return aqua_caq[caq_count++];
  // Many images stop right after the program's end marker, where a real recording goes on
  // with a run of zero bytes that the system ROM reads before it is done.
  if (caq_count - caq_byte_count < CAQ_TRAILER_BYTES) {
    ++caq_count;
    return 0x00;
  }
  aqua_caq = nullptr;
  caq_count = 0;
  return 0xFF;
}

bool caq_insert(const uint8_t* data, uint32_t size) {
  uint8_t* copy = new (std::nothrow) uint8_t[size + 1];
  if (!copy) return false;
  if (size) std::memcpy(copy, data, size);
  copy[size] = 0xFF;
  aqua_caq = nullptr;
  delete[] caq_image;
  caq_image = copy;
  caq_image_size = size;
  caq_byte_count = size;
  caq_count = 0;
  caq_path.clear();
  aqua_get_caq_file();
  return true;
}

void aqua_get_caq_file() {
  // The stream reads from the loader's own copy, so the trap can re-arm it however long ago
  // the file buffer was released or reused (the Micro Expander's hard reset reads its ROM
  // through the same buffer).
  aqua_caq = caq_image;
  caq_byte_count = caq_image_size;
  patch_caq_rom();
  if (caq_autoload) start_autoload();
}

bool start_autoload() {
  if (!spool_start(autoload_text, sizeof autoload_text, SPOOL_STROKE_FILE, 0)) return false;
  spool_is_autoload = true;
  return true;
}

bool spool_start(const uint8_t* text, uint32_t len, uint8_t stroke, uint8_t speed_flag) {
  if (!text) len = 0;
  uint8_t* copy;
  if (len <= sizeof spool_short_text) {
    copy = spool_short_text;
    if (len) std::memmove(copy, text, len);
  } else {
    copy = new (std::nothrow) uint8_t[len];
    if (!copy) return false;
    std::memcpy(copy, text, len);
  }
  if (aqua_txt != copy) release_spool_text();

  // A spool replacing a running one must not take the muted state as the one to restore,
  // or the sound would stay off once the new text has been typed.
  if (!spool_file) temp_sound = snd_sound;
  spool_file = true;
  spool_is_autoload = false;
  autoload_keyboard_frames = 0;
  autoload_wait_frames = 0;
  // A stroke needs a press frame and a release frame.
  spool_speed = stroke < 2 ? 2 : stroke;
  flipFlop = 2;
  spool_count = 0;
  speed = speed_flag;
  snd_sound = 0;
  aqua_txt = copy;
  spool_len = len;
  return true;
}

void aqua_arch_get_spool_file(const char* text) {
  if (!text) return;
  size_t n = std::strlen(text);
  if (n >= 0xFFFFFFFFu) return;
  uint32_t len = static_cast<uint32_t>(n) + 1;
  if (len <= sizeof spool_short_text) {
    uint8_t buffer[sizeof spool_short_text];
    std::memcpy(buffer, text, n);
    buffer[n] = SPOOL_END_MARKER;
    spool_start(buffer, len, SPOOL_STROKE_PASTE, 1);
    return;
  }
  uint8_t* buffer = new (std::nothrow) uint8_t[len];
  if (!buffer) return;
  std::memcpy(buffer, text, n);
  buffer[n] = SPOOL_END_MARKER;
  spool_start(buffer, len, SPOOL_STROKE_PASTE, 1);
  delete[] buffer;
}

void read_spool_file() {
  if (spool_len == 0) {
    snd_sound = temp_sound;
    spool_file = false;
    speed = 0;
    release_spool_text();
    return;
  }
  uint8_t c = aqua_txt[spool_count];
  if (autoload_waiting() && !machine_takes_keys()) {
    std::memset(keyboard_map, 0xFF, sizeof keyboard_map);
    return;
  }
  ++spool_count;
  --spool_len;
  if (c == CARRIAGE_RETURN && spool_is_autoload) c = '\n';
  spool_key key = spool_keys.key[c];
  if (key.column == 0xFF) {
    std::memset(keyboard_map, 0xFF, sizeof keyboard_map);
    return;
  }
  keyboard_map[key.column] &= static_cast<uint8_t>(~(1u << key.bit));
  if (key.shift) keyboard_map[SHIFT_COLUMN] &= static_cast<uint8_t>(~(1u << SHIFT_BIT));
}

void spool_cadence() {
  if (!spool_file) return;
  if (autoload_waiting()) {
    if (!keyboard_scanned) autoload_keyboard_frames = 0;
    else if (autoload_keyboard_frames < AUTOLOAD_READY_FRAMES) ++autoload_keyboard_frames;
    if (autoload_wait_frames < AUTOLOAD_WAIT_LIMIT) ++autoload_wait_frames;
  }
  keyboard_scanned = false;
  uint8_t f = flipFlop;
  if (f == 1) {
    read_spool_file();
    f = flipFlop;
  }
  if (f == spool_speed) {
    flipFlop = 0;
    ClearPorts();
    f = 0;
  }
  flipFlop = static_cast<uint8_t>(f + 1);
}

void select_autoload() { caq_autoload = !caq_autoload; }

void patch_caq_rom() { patch_cassette_routine(); }

int caq_percent_read() {
  if (!caq_loaded) return -1;
  // A released stream has handed out the whole image and its trailer.
  if (!aqua_caq || caq_image_size == 0) return 100;
  const uint64_t read = caq_count < caq_image_size ? caq_count : caq_image_size;
  return static_cast<int>(read * 100 / caq_image_size);
}

std::string caq_shown_name() {
  if (caq_path.empty()) return tape_file_name(caq_image, caq_image ? caq_image_size : 0);
  const size_t slash = caq_path.rfind('/');
  return slash == std::string::npos ? caq_path : caq_path.substr(slash + 1);
}

bool caq_rewind() {
  if (!caq_loaded) return false;
  caq_count = 0;
  aqua_caq = caq_image;
  caq_byte_count = caq_image_size;
  return true;
}

bool caq_eject() {
  if (!caq_loaded) return false;
  caq_loaded = false;
  aqua_caq = nullptr;
  caq_count = 0;
  delete[] caq_image;
  caq_image = nullptr;
  caq_image_size = 0;
  caq_byte_count = 0;
  caq_path.clear();
  return true;
}
