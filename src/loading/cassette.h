// The cassette stream on port 0xFC and the key spooler that types text into the matrix.
#pragma once
#include <cstdint>
#include <string>

extern uint8_t* aqua_caq;           // cassette stream being read; null when none (exhausted or never inserted)
extern uint32_t caq_byte_count;     // bytes in the stream
extern uint32_t caq_count;          // index of the next byte
extern uint8_t* caq_image;          // the loader's own copy of the inserted image, kept for re-arming
extern uint32_t caq_image_size;     // bytes in caq_image
extern std::string caq_path;        // the host file the inserted cassette came from; empty when not known (a state's)

extern uint8_t* aqua_txt;           // text being typed (private copy)
extern uint32_t spool_len;          // characters still to type
extern uint32_t spool_count;        // index of the next character
extern bool spool_file;             // a spool is active
extern uint8_t spool_speed;         // frames per key stroke
extern uint8_t flipFlop;            // position within the current stroke
extern uint8_t temp_sound;          // snd_sound when the spool started
extern bool spool_is_autoload;      // this spool is the autoload's: carriage return is RETURN, and it waits at AUTOLOAD_WAIT
extern uint16_t autoload_keyboard_frames;  // frames in a row, while it waits, in which the keyboard was read
extern uint16_t autoload_wait_frames;      // frames it has waited so far

// Stroke lengths and the paste end marker.
constexpr uint8_t SPOOL_STROKE_FILE = 2;   // loaded text files and the cassette autoload
constexpr uint8_t SPOOL_STROKE_PASTE = 6;  // pasted and dropped text
constexpr uint8_t SPOOL_END_MARKER = 0x7F;
// Zero bytes the stream delivers after the image's last byte, before it reads 0xFF.
constexpr uint32_t CAQ_TRAILER_BYTES = 16;
// In the autoload's text: hold here until the machine takes keys, that is until the keyboard has
// been read in AUTOLOAD_READY_FRAMES frames in a row, or AUTOLOAD_WAIT_LIMIT frames have passed
// (a program that never reads the keyboard). In any other text it is an all-keys-up stroke.
constexpr uint8_t AUTOLOAD_WAIT = 0x01;
constexpr uint16_t AUTOLOAD_READY_FRAMES = 10;
constexpr uint16_t AUTOLOAD_WAIT_LIMIT = 250;

// Where one typeable character sits in the keyboard matrix.
struct spool_key {
  uint8_t column;  // 0..7, or 0xFF: the character is typed as an all-keys-up stroke
  uint8_t bit;     // 0..5
  bool shift;      // SHIFT (column 7 bit 4) is held with it
};

// The matrix key (and SHIFT) that types byte c.
spool_key spool_key_for(uint8_t c);

// The next byte of the stream; 0xFF without a stream. After the image's last byte come
// CAQ_TRAILER_BYTES zero bytes; the read after those releases the stream (it stays released
// until the cassette is re-armed or replaced).
uint8_t get_caq_byte();
// Keeps a copy of data[0..size) as the inserted cassette, rewinds it and inserts it
// (aqua_get_caq_file). False, with nothing changed, when the copy cannot be made.
bool caq_insert(const uint8_t* data, uint32_t size);
// Arms the stream from the loader's own copy of the image (position kept), patches the
// ROM's byte-read routine and, with autoload on, types the load command. Called by the
// load paths through caq_insert and by the CPU's cassette trap; it allocates nothing.
void aqua_get_caq_file();
// Types the load command in real time: RETURN (it passes the power-on screen of the machine's
// ROMs, and is an empty line at a prompt), a wait until the machine reads its keyboard again
// (BASIC sets itself up after the power-on screen, and keys typed meanwhile are lost), then
// cload and two RETURNs, the second for "Press RETURN key to start". Allocates nothing.
bool start_autoload();
// Starts typing text[0..len) with the given stroke length (frames) and speed flag. A running
// spool is replaced at once. False, with the running spool untouched, when the copy cannot be made.
bool spool_start(const uint8_t* text, uint32_t len, uint8_t stroke, uint8_t speed_flag);
// Types a NUL-terminated host text followed by the end marker 0x7F (stroke 6, unthrottled).
// A null text types nothing.
void aqua_arch_get_spool_file(const char* text);
// One typing step: presses the next character's key, or ends the spool when none is left.
void read_spool_file();
// The frame step's spool cadence: run at every frame end while spool_file is set.
void spool_cadence();
// The "CAQ Autoload" menu handler: flips caq_autoload.
void select_autoload();
// Writes the 6-byte byte-read patch into the system ROM image.
void patch_caq_rom();

// The cassette as the user handles it. A tape is read from its start once, as a real one: a
// second CLOAD finds its end unless it is rewound.
// How much of the inserted cassette has been read, 0 to 100 (100 once it has run out); -1
// with no cassette in.
int caq_percent_read();
// The inserted cassette's name: its file's, or the name recorded on it when the file is not known.
std::string caq_shown_name();
// Back to the start of the inserted cassette; false (nothing done) with none in.
bool caq_rewind();
// Takes the cassette out: port 0xFC reads 0xFF and the CPU's cassette hook is off until the
// next one is inserted. False (nothing done) with none in.
bool caq_eject();
