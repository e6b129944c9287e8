// Recognising host files by extension and handing them to the unit that consumes them:
// cartridges to the page table, cassettes to the stream on port 0xFC, texts to the spooler.
#include "loading/loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "ch376/ch376.h"
#include "core/config.h"
#include "core/frame.h"
#include "core/host_file.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/roms.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/tape_wav.h"
#include "sound/audio_out.h"
#include "z80/z80.h"

// Written in lower case; names match in any case (GAME.ROM, game.rom, CHESS.Rom).
const file_type_entry file_type[10] = {
    {FILE_TYPE_BIN, ".bin", 4}, {FILE_TYPE_ROM, ".rom", 4}, {FILE_TYPE_CAQ, ".caq", 4},
    {FILE_TYPE_TXT, ".txt", 4}, {FILE_TYPE_PT3, ".pt3", 4}, {FILE_TYPE_BAS, ".bas", 4},
    {FILE_TYPE_SCR, ".scr", 4}, {FILE_TYPE_VST, ".vst", 4}, {FILE_TYPE_WAV, ".wav", 4},
    {FILE_TYPE_END, "", 0xFFFFFFFFu},
};
constexpr const file_type_entry* FILE_TYPE_END_ENTRY = &file_type[9];
const file_type_entry* file_type_ptr = FILE_TYPE_END_ENTRY;
std::string current_filename;
loaded_file file = {nullptr, 0};
uint8_t* aqua_cart = nullptr;
uint32_t aqua_cart_size = 0;
bool caq_loaded = false;
uint8_t* pending_cart = nullptr;
uint32_t pending_cart_size = 0;
std::string load_error;

namespace {

// The audio is paused by load_file_begin and not yet resumed (by an error box or load_file_end).
bool menu_audio_paused = false;

// RETURN held alone in column 0: the text loaders hold it while the machine runs a few frames
// so that whatever the ROM is doing (a prompt, a running program waiting for input) settles on
// a fresh line before the first character arrives.
constexpr uint8_t RETURN_HELD = 0xF7;
constexpr int MENU_RETURN_FRAMES = 50;
constexpr int DROP_RETURN_FRAMES = 11;

constexpr const char* STATE_NOT_HERE = "save states load through Load State";

// ASCII only: the C library's tolower follows the user's locale (a Turkish one lowers I to a
// dotless i), and a file name's extension must not.
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The table entry whose extension ends name, compared in ASCII without case; the end marker
// when none does.
const file_type_entry* entry_for(const std::string& name) {
  const file_type_entry* entry = &file_type[0];
  for (; entry->type != FILE_TYPE_END; ++entry) {
    const size_t n = entry->extension_len;
    if (name.size() < n) continue;
    const char* tail = name.c_str() + name.size() - n;
    size_t i = 0;
    while (i < n && ascii_lower(tail[i]) == entry->extension[i]) ++i;
    if (i == n) break;
  }
  return entry;
}

bool is_text_type(uint8_t type) { return type == FILE_TYPE_TXT || type == FILE_TYPE_BAS; }
bool is_cartridge_type(uint8_t type) { return type == FILE_TYPE_BIN || type == FILE_TYPE_ROM; }

bool is_cassette_type(uint8_t type) { return type == FILE_TYPE_CAQ || type == FILE_TYPE_WAV; }

bool insert_cassette(const uint8_t* bytes, uint32_t size) {
  if (!caq_insert(bytes, size)) {
    load_error = "out of memory";
    return false;
  }
  caq_loaded = true;
  caq_path = current_filename;
  return true;
}

bool insert_cassette_from_file() { return insert_cassette(file.data, file.size); }

// A recording is decoded straight from the file, which may be far larger than any image.
bool insert_recorded_tape() {
  std::vector<uint8_t> tape;
  return read_tape_wav(current_filename, tape, load_error) &&
         insert_cassette(tape.data(), static_cast<uint32_t>(tape.size()));
}

void start_text_spool() { spool_start(file.data, file.size, SPOOL_STROKE_FILE, 1); }

int menu_error(const std::string& reason) {
  Aqua_Error(0, 0x16, current_filename + ": " + reason);
  // The error box resumes the audio when it closes.
  menu_audio_paused = false;
  return 1;
}

}  // namespace

uint8_t check_file(const std::string& name) {
  file_type_ptr = entry_for(name);
  return file_type_ptr->type == FILE_TYPE_END ? 1 : 0;
}

bool is_state_file(const std::string& name) { return entry_for(name)->type == FILE_TYPE_VST; }

bool is_tape_recording(const std::string& name) { return entry_for(name)->type == FILE_TYPE_WAV; }

bool aqua_read_file() {
  struct stat st;
  host_file_status status;
  const int fd = open_regular_file(current_filename, st, status);
  if (fd < 0) {
    load_error = status.why;
    return false;
  }
  if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > MAX_LOAD_FILE_BYTES) {
    load_error = "file too large";
    close(fd);
    return false;
  }
  std::vector<uint8_t> content;
  const bool read_ok = read_at_most(fd, MAX_LOAD_FILE_BYTES, content, load_error);
  close(fd);
  if (!read_ok) return false;
  const uint32_t size = static_cast<uint32_t>(content.size());
  uint8_t* data = new (std::nothrow) uint8_t[size + 1];
  if (!data) {
    load_error = "out of memory";
    return false;
  }
  if (size) std::memcpy(data, content.data(), size);
  data[size] = 0;
  delete[] file.data;
  file.data = data;
  file.size = size;
  return true;
}

namespace {

// file as a cartridge image of whole pages; null (load_error set) when it cannot be one.
uint8_t* padded_cartridge(uint32_t& padded) {
  if (!file.data || file.size == 0) {
    load_error = "empty cartridge image";
    return nullptr;
  }
  if (file.size > CART_MAX_BYTES) {
    load_error = "cartridge image larger than 16K";
    return nullptr;
  }
  padded = file.size <= CART_PAGE_BYTES ? CART_PAGE_BYTES : CART_MAX_BYTES;
  uint8_t* copy = new (std::nothrow) uint8_t[padded];
  if (!copy) {
    load_error = "out of memory";
    return nullptr;
  }
  std::memcpy(copy, file.data, file.size);
  std::memset(copy + file.size, 0xFF, padded - file.size);
  return copy;
}

void put_cartridge_in_force(uint8_t* image, uint32_t size) {
  map_cartridge(image, size);
  delete[] aqua_cart;
  aqua_cart = image;
  aqua_cart_size = size;
}

}  // namespace

bool aqua_get_file() {
  uint32_t padded = 0;
  uint8_t* copy = padded_cartridge(padded);
  if (!copy) return false;
  drop_pending_cartridge();
  put_cartridge_in_force(copy, padded);
  return true;
}

bool load_cartridge_from_file() {
  if (!per_MicroEx) return aqua_get_file();
  // The Micro Expander's program runs from the cartridge pages: mapping over them now would
  // pull the code from under the running machine.
  uint32_t padded = 0;
  uint8_t* copy = padded_cartridge(padded);
  if (!copy) return false;
  delete[] pending_cart;
  pending_cart = copy;
  pending_cart_size = padded;
  return true;
}

void hold_cartridge_back(const uint8_t* image, uint32_t size) {
  uint8_t* copy = new uint8_t[size];
  std::memcpy(copy, image, size);
  delete[] pending_cart;
  pending_cart = copy;
  pending_cart_size = size;
}

void start_pending_cartridge() {
  if (!pending_cart) return;
  uint8_t* image = pending_cart;
  pending_cart = nullptr;
  put_cartridge_in_force(image, pending_cart_size);
  pending_cart_size = 0;
}

void drop_pending_cartridge() {
  delete[] pending_cart;
  pending_cart = nullptr;
  pending_cart_size = 0;
}

void release_file() {
  delete[] file.data;
  file.data = nullptr;
  file.size = 0;
}

void load_file_begin() {
  pause_audio();
  menu_audio_paused = true;
}

uint8_t menu_load_path(const std::string& path) {
  current_filename = path;
  load_error.clear();
  if (check_file(path) != 0) return static_cast<uint8_t>(menu_error("unrecognised file type"));
  uint8_t type = file_type_ptr->type;
  // Music and screen files are opened by programs on the USB stick: nothing here loads them,
  // and saying they were loaded would be a lie.
  if (type == FILE_TYPE_PT3 || type == FILE_TYPE_SCR)
    return static_cast<uint8_t>(menu_error("only programs on the USB stick open this kind of file"));
  if (type == FILE_TYPE_VST) return static_cast<uint8_t>(menu_error(STATE_NOT_HERE));
  if (type == FILE_TYPE_WAV) return insert_recorded_tape() ? 0 : static_cast<uint8_t>(menu_error(load_error));

  if (!aqua_read_file()) return static_cast<uint8_t>(menu_error("cannot be read (" + load_error + ")"));
  if (type == FILE_TYPE_CAQ) {
    if (!insert_cassette_from_file()) return static_cast<uint8_t>(menu_error(load_error));
  } else if (is_cartridge_type(type)) {
    if (!load_cartridge_from_file()) return static_cast<uint8_t>(menu_error(load_error));
    caq_loaded = false;
  } else if (is_text_type(type)) {
    caq_loaded = false;
    // The frames below must not feed the audio device; load_file_begin normally paused it.
    if (!menu_audio_paused) {
      pause_audio();
      menu_audio_paused = true;
    }
    keyboard_map[0] = RETURN_HELD;
    for (int i = 0; i < MENU_RETURN_FRAMES; ++i) one_Z80_frame();
    ClearPorts();
    start_text_spool();
  }
  return 0;
}

void load_file_end() {
  release_file();
  if (menu_audio_paused) {
    menu_audio_paused = false;
    resume_audio();
  }
}

uint8_t do_load_file(const std::string& path) {
  current_filename = path;
  load_error.clear();
  if (check_file(path) != 0) {
    load_error = "unrecognised file type";
    return 1;
  }
  uint8_t type = file_type_ptr->type;
  if (type == FILE_TYPE_PT3 || type == FILE_TYPE_SCR) {
    load_error = "only programs on the USB stick open this kind of file";
    return 1;
  }
  if (type == FILE_TYPE_VST) {
    load_error = STATE_NOT_HERE;
    return 1;
  }
  if (type == FILE_TYPE_WAV) return insert_recorded_tape() ? 0 : 1;
  if (!aqua_read_file()) return 1;
  if (type == FILE_TYPE_CAQ) return insert_cassette_from_file() ? 0 : 1;
  if (is_cartridge_type(type)) {
    if (!load_cartridge_from_file()) return 1;
    caq_loaded = false;
    return 0;
  }
  // A text: .txt or .bas.
  caq_loaded = false;
  for (int i = 0; i < DROP_RETURN_FRAMES; ++i) {
    keyboard_map[0] = RETURN_HELD;
    one_Z80_frame();
  }
  start_text_spool();
  return 0;
}

uint8_t open_at_start(const std::string& path) {
  if (do_load_file(path) != 0) return 1;
  const uint8_t type = file_type_ptr->type;
  if (is_cassette_type(type) && !caq_autoload) start_autoload();
  if (is_cartridge_type(type)) SoftReset();
  return 0;
}

bool load_usb_file(const std::string& name) {
  if (name.size() < 3) return false;
  std::string host_name = name.substr(0, name.size() - 3) + "." + name.substr(name.size() - 3);
  std::string host_path;
  if (!ch376_confined_path(host_name, host_path)) return false;
  current_filename = host_path;

  const file_type_entry* entry = entry_for(host_name);
  file_type_ptr = entry;
  if (is_cartridge_type(entry->type)) {
    // An unreadable or unmappable image falls back to FILE_OPEN's ordinary open, so the
    // emulated program can still read it as data.
    if (!aqua_read_file() || !aqua_get_file()) return false;
    z80.pc = 0;
    return true;
  }
  if (entry->type == FILE_TYPE_PT3) {
    if (!ch376) return false;
    if (ch376->open_file) std::fclose(ch376->open_file);
    ch376->open_file = system_file_open_existing(current_filename, "");
    ch376->open_path = current_filename;
    return true;
  }
  return false;
}
