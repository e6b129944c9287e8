// Save states. Every section is written field by field in a fixed little-endian layout (never
// as a raw struct), so a file does not depend on the compiler's padding.
#include "core/save_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "ch376/ch376.h"
#include "ch376/ch376_state.h"
#include "core/config.h"
#include "core/frame.h"
#include "core/host_file.h"
#include "core/memory.h"
#include "core/ports.h"
#include "core/printer.h"
#include "core/roms.h"
#include "core/state_io.h"
#include "debug/run_control.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "sound/audio_out.h"
#include "sound/ay.h"
#include "sound/rate_control.h"
#include "video/raster.h"
#include "z80/z80.h"

namespace {

constexpr char MAGIC[8] = {'V', 'N', 'T', 'S', 'T', 'A', 'T', 'E'};
// A state holds 64K of RAM, a 16K cartridge, the picture and at most a 1 MiB recording and a
// 16 MiB cassette: anything much larger is not a state.
constexpr uint64_t LARGEST_STATE = 40u << 20;
// T-states of the Z80's longest instructions (EX (SP),IX, INC (IX+d) and their kin).
constexpr uint32_t LONGEST_INSTRUCTION = 23;

uint64_t fnv1a(const uint8_t* p, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

// What identifies the ROM images a state was made with.
struct RomIdentity {
  uint64_t system, characters, extension;
  bool operator==(const RomIdentity&) const = default;
};
RomIdentity identity_of(const uint8_t* system, const uint8_t* characters, const uint8_t* extension, uint8_t for_model) {
  return {fnv1a(system, sizeof AQUA_ROM), fnv1a(characters, sizeof CHAR_ROM),
          for_model == 1 ? fnv1a(extension, sizeof EXT_ROM) : 0};
}
RomIdentity running_roms() { return identity_of(AQUA_ROM, CHAR_ROM, EXT_ROM, model); }

void put_pair(StateWriter& w, const RegisterPair& p) { w.u16(p.w); }
RegisterPair get_pair(StateReader& r) { RegisterPair p; p.w = r.u16(); return p; }

// Everything a state restores, read and checked in full before any of it is applied.
struct Staged {
  Z80State cpu{};
  uint8_t modify = 0;
  uint32_t t = 0, temp_t = 0, frame_t = 0, screen_t = 0;
  uint8_t timing = 1, machine_model = 0, series = 1, ram = 0, speed_flag = 0;
  uint32_t top = 0;
  RomIdentity roms{};
  std::vector<uint8_t> memory, cartridge, picture, cassette, text, recording;
  uint8_t ports[4] = {}, ear = 0, sync = 0, keys[8] = {};
  AYState ay{};
  int32_t sample_fraction = 0;  // states saved before the fraction was kept start it at 0
  bool cassette_in = false, stream_armed = false;
  uint32_t cassette_position = 0;
  bool spooling = false, is_autoload = false;
  uint16_t autoload_keyboard = 0, autoload_waited = 0;
  uint8_t stroke = 2, flip = 2, saved_sound = 1, sound = 1;
  uint32_t recording_idle = 0;
  bool recording_cut = false;
  bool micro_expander = false;  // the state has the Micro Expander's section
  std::vector<uint8_t> waiting_cartridge;  // loaded under the Micro Expander, for the next soft reset
  Ch376Saved usb;
  PrinterSaved printer;  // a clean roll and an idle line for states saved before the printer
};

// The Micro Expander's device record rebuilt for a state, freed unless the state goes in.
struct RebuiltDevice {
  CH376* record = nullptr;
  ~RebuiltDevice() { ch376_discard(record); }
};

void write_ay(StateWriter& w) {
  // The ticks still owed are run first, so that a state holds the generator as ticking after
  // every instruction leaves it.
  AY_catch_up();
  w.block(snd.regs, 16);
  w.u8(snd.noise_out); w.u8(snd.env_volume); w.u8(snd.noise_count); w.u8(snd.noise_period);
  w.u8(static_cast<uint8_t>(snd.env_state)); w.u8(snd.env_phase);
  for (int i = 0; i < 3; ++i) w.u8(snd.tone_out[i]);
  for (int i = 0; i < 3; ++i) w.u16(snd.chan_level[i]);
  for (int i = 0; i < 3; ++i) w.u16(snd.tone_count[i]);
  w.u16(snd.env_count);
  w.u64(snd.noise_state[0]); w.u64(snd.noise_state[1]);
  w.u32(snd.ay_tick_tstates); w.u32(snd.sample_tstates);
  w.u32(static_cast<uint32_t>(snd.sample_acc)); w.u32(snd.ay_acc);
  w.u8(snd.reg_select);
}

void read_ay(StateReader& r, AYState& a) {
  if (const uint8_t* regs = r.block(16)) std::memcpy(a.regs, regs, 16);
  a.noise_out = r.u8(); a.env_volume = r.u8(); a.noise_count = r.u8(); a.noise_period = r.u8();
  a.env_state = static_cast<int8_t>(r.u8()); a.env_phase = r.u8();
  for (int i = 0; i < 3; ++i) a.tone_out[i] = r.u8();
  for (int i = 0; i < 3; ++i) a.chan_level[i] = r.u16();
  for (int i = 0; i < 3; ++i) a.tone_count[i] = r.u16();
  a.env_count = r.u16();
  a.noise_state[0] = r.u64(); a.noise_state[1] = r.u64();
  a.ay_tick_tstates = r.u32(); a.sample_tstates = r.u32();
  a.sample_acc = static_cast<int32_t>(r.u32()); a.ay_acc = r.u32();
  a.reg_select = r.u8();
}

// Every section reader takes its fields and refuses any value the running machine cannot
// reach: a state is untrusted input, and a value out of range could hang the clocking, index
// past a table or overflow a count long after the load.

bool read_cpu(StateReader& r, Staged& s) {
  Z80State& c = s.cpu;
  c.pc = r.u16(); c.sp = r.u16(); c.iff1 = r.flag(); c.iff2 = r.flag(); c.im = r.u8(); c.r7 = r.u8();
  c.af = get_pair(r); c.bc = get_pair(r); c.de = get_pair(r); c.hl = get_pair(r);
  c.ix = get_pair(r); c.iy = get_pair(r); c.r = r.u8(); c.i = r.u8();
  c.af_alt = get_pair(r); c.bc_alt = get_pair(r); c.de_alt = get_pair(r); c.hl_alt = get_pair(r);
  c.memptr = r.u16(); s.modify = r.flag();
  s.t = r.u32(); s.temp_t = r.u32(); s.frame_t = r.u32(); s.screen_t = r.u32();
  // The counters against the frame are checked once the timing is known.
  return r.require(c.im <= 2 && s.frame_t <= LONGEST_INSTRUCTION);
}

bool read_machine(StateReader& r, Staged& s) {
  s.timing = r.u8(); s.machine_model = r.u8(); s.series = r.u8(); s.ram = r.u8(); s.top = r.u32();
  s.speed_flag = r.flag();
  // The RAM top is always one of the expansion sizes', though not always ram_size's: the
  // Micro Expander's hard reset puts its own back.
  return r.require((s.timing == 1 || s.timing == 2) && s.machine_model <= 1 && s.series <= 1 && s.ram <= 4 &&
                   is_ram_top(s.top));
}

bool read_roms(StateReader& r, Staged& s) {
  s.roms = {r.u64(), r.u64(), r.u64()};
  return r.ok();
}

bool read_ram(StateReader& r, Staged& s) {
  if (const uint8_t* b = r.block(0x10000)) s.memory.assign(b, b + 0x10000);
  return r.ok();
}

bool read_cartridge(StateReader& r, Staged& s) {
  s.cartridge = r.sized(CART_MAX_BYTES);
  const size_t n = s.cartridge.size();
  return r.require(n == 0 || n == CART_PAGE_BYTES || n == CART_MAX_BYTES);
}

bool read_ports(StateReader& r, Staged& s) {
  for (uint8_t& p : s.ports) p = r.u8();
  s.ear = r.flag(); s.sync = r.flag();
  bool keys_ok = true;
  // The matrix has six rows: the two top bits of a column never read as a key down.
  for (uint8_t& k : s.keys) keys_ok &= ((k = r.u8()) & 0xC0) == 0xC0;
  return r.require(keys_ok);
}

bool read_sound(StateReader& r, Staged& s) {
  read_ay(r, s.ay);
  return r.require(AY_state_valid(s.ay) && sample_clock_valid(s.ay));
}

// The fraction of a T-state the sample clock carries (rate_control): without it a loaded state
// would take its samples up to a T-state off, and sound different from the run that saved it.
bool read_sample_fraction(StateReader& r, Staged& s) {
  s.sample_fraction = static_cast<int32_t>(r.u32());
  return r.require(s.sample_fraction >= 0 && s.sample_fraction < RATE_STEP_ONE);
}

bool read_picture(StateReader& r, Staged& s) {
  const size_t n = sizeof display_buffer;
  const uint8_t* b = r.block(n);
  if (b) s.picture.assign(b, b + n);
  // Every pixel is a palette colour, or black where nothing has been drawn yet.
  for (size_t at = 0; b && at < n && r.ok(); at += 4) {
    const uint32_t pixel = b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    r.require(pixel == 0 || std::find(std::begin(AquaColours), std::end(AquaColours), pixel) != std::end(AquaColours));
  }
  return r.ok();
}

bool read_cassette(StateReader& r, Staged& s) {
  s.cassette_in = r.flag(); s.stream_armed = r.flag(); s.cassette_position = r.u32();
  s.cassette = r.sized(MAX_LOAD_FILE_BYTES);
  // The stream hands out the image and then its trailer of zero bytes.
  return r.require(s.cassette_position <= s.cassette.size() + CAQ_TRAILER_BYTES);
}

bool read_spooler(StateReader& r, Staged& s) {
  s.spooling = r.flag(); s.stroke = r.u8(); s.flip = r.u8(); s.saved_sound = r.flag(); s.sound = r.flag();
  s.is_autoload = r.flag();
  s.text = r.sized(MAX_LOAD_FILE_BYTES);
  // The autoload's wait came later: states saved before it end here.
  if (!r.at_end()) {
    s.autoload_keyboard = r.u16();
    s.autoload_waited = r.u16();
  }
  // A stroke is a press frame and a release frame at least; the cadence counts from 1 to the
  // stroke length. Only a running spool has text left. The wait's counts stop at their limits.
  return r.require(s.stroke >= SPOOL_STROKE_FILE && s.stroke <= SPOOL_STROKE_PASTE && s.flip >= 1 &&
                   s.flip <= s.stroke && (s.spooling || s.text.empty()) &&
                   s.autoload_keyboard <= AUTOLOAD_READY_FRAMES && s.autoload_waited <= AUTOLOAD_WAIT_LIMIT);
}

bool read_recorder(StateReader& r, Staged& s) {
  s.recording_idle = r.u32(); s.recording_cut = r.flag();
  s.recording = r.sized(TAPE_RECORD_MAX);
  // A recording is saved once it has gone a second without a byte; bytes are dropped only
  // from a full one.
  return r.require(s.recording_idle < Z80_CLOCK_HZ && (!s.recording.empty() || s.recording_idle == 0) &&
                   (!s.recording_cut || s.recording.size() == TAPE_RECORD_MAX));
}

bool read_usb(StateReader& r, Staged& s) { return ch376_read_state(r, s.usb); }

bool read_printer(StateReader& r, Staged& s) { return printer_read_state(r, s.printer); }

bool read_waiting_cartridge(StateReader& r, Staged& s) {
  s.waiting_cartridge = r.sized(CART_MAX_BYTES);
  const size_t n = s.waiting_cartridge.size();
  return r.require(n == CART_PAGE_BYTES || n == CART_MAX_BYTES);
}

struct SectionReader {
  char tag[5];
  bool (*read)(StateReader&, Staged&);
};
// Every section this program writes; all before the USB section are in every state.
constexpr SectionReader SECTIONS[] = {
    {"CPU ", read_cpu}, {"MACH", read_machine}, {"ROMS", read_roms}, {"RAM ", read_ram},
    {"CART", read_cartridge}, {"PORT", read_ports}, {"AY  ", read_sound}, {"VID ", read_picture},
    {"TAPE", read_cassette}, {"SPOL", read_spooler}, {"TREC", read_recorder}, {"USB ", read_usb},
    {"WCRT", read_waiting_cartridge}, {"SCLK", read_sample_fraction}, {"PRNT", read_printer},
};
constexpr unsigned SECTION_COUNT = sizeof SECTIONS / sizeof SECTIONS[0];
constexpr unsigned USB_SECTION = 11;
constexpr unsigned WAITING_CARTRIDGE_SECTION = 12;
constexpr unsigned NEEDED_SECTIONS = (1u << USB_SECTION) - 1;

int section_index(const uint8_t* tag) {
  for (unsigned i = 0; i < SECTION_COUNT; ++i)
    if (!std::memcmp(tag, SECTIONS[i].tag, 4)) return static_cast<int>(i);
  return -1;
}

// The values that are in range only together with another section's: the tag of the section
// that holds one out of range, or null. States are saved between instructions, so the CPU's
// counters lie within the state's frame and its last instruction, and the raster never runs
// ahead of the CPU.
const char* inconsistent_section(const Staged& s) {
  const uint32_t frame = frame_length_for(s.timing);
  const uint32_t longest_frame = std::max(frame_length_for(1), frame_length_for(2));
  if (s.t >= frame + LONGEST_INSTRUCTION || s.screen_t > s.t || s.temp_t >= longest_frame) return SECTIONS[0].tag;
  // Only the Micro Expander holds a cartridge back.
  if (!s.waiting_cartridge.empty() && !s.micro_expander) return SECTIONS[WAITING_CARTRIDGE_SECTION].tag;
  return nullptr;
}

void apply(Staged& s) {
  tape_recorder_finish();  // the running machine's recording is kept as a tape, as a reset keeps it
  z80 = s.cpu;
  modify_flag = s.modify;
  if (timing_type != s.timing) {
    timing_type = s.timing;
    initialise_timings();
  }
  t_state = s.t; temp_t_state = s.temp_t; frame_t_state = s.frame_t; screen_t_state = s.screen_t;
  ram_size = s.ram;
  memtop = s.top;
  speed = s.speed_flag;
  std::memcpy(ram, s.memory.data(), 0x10000);
  // The state does not say which bytes its program wrote: none counts as unwritten.
  mark_ram_written(0, 0x10000);
  for (int i = 1; i < 8; ++i) Page_RAM[i] = ram + i * 0x2000;
  PORTxxFC = s.ports[0]; PORTxxFD = s.ports[1]; PORTxxFE = s.ports[2]; PORTxxFF = s.ports[3];
  earbit = s.ear; vsync = s.sync;
  std::memcpy(keyboard_map, s.keys, sizeof keyboard_map);
  unmap_cartridge();
  drop_pending_cartridge();
  if (!s.cartridge.empty()) {
    uint8_t* copy = new uint8_t[s.cartridge.size()];
    std::memcpy(copy, s.cartridge.data(), s.cartridge.size());
    map_cartridge(copy, static_cast<uint32_t>(s.cartridge.size()));
    delete[] aqua_cart;
    aqua_cart = copy;
    aqua_cart_size = static_cast<uint32_t>(s.cartridge.size());
  }
  snd = s.ay;
  rate_step_acc = s.sample_fraction;
  std::memcpy(display_buffer, s.picture.data(), sizeof display_buffer);
  picture_replaced();

  // The state's cassette goes in without the autoload: its spool, if any, is the state's own.
  const bool autoload = caq_autoload;
  caq_autoload = false;
  caq_insert(s.cassette.data(), static_cast<uint32_t>(s.cassette.size()));
  caq_autoload = autoload;
  aqua_caq = s.stream_armed ? caq_image : nullptr;
  caq_count = s.cassette_position;
  caq_loaded = s.cassette_in;
  spool_len = 0;
  if (spool_file) read_spool_file();  // ends the running spool without typing
  if (s.spooling) {
    spool_start(s.text.data(), static_cast<uint32_t>(s.text.size()), s.stroke, s.speed_flag);
    flipFlop = s.flip;
    spool_is_autoload = s.is_autoload;
    autoload_keyboard_frames = s.autoload_keyboard;
    autoload_wait_frames = s.autoload_waited;
  }
  // States are taken between frames, where the spooler has just looked at the keyboard.
  keyboard_scanned = false;
  temp_sound = s.saved_sound;
  snd_sound = s.sound;
  speed = s.speed_flag;
  std::memcpy(keyboard_map, s.keys, sizeof keyboard_map);

  if (!s.recording.empty()) std::memcpy(tape_record, s.recording.data(), s.recording.size());
  tape_record_length = static_cast<uint32_t>(s.recording.size());
  tape_record_idle = s.recording_idle;
  tape_record_overflow = s.recording_cut;
  printer_restore(s.printer);
}

// The Micro Expander plugged in or out as the state had it; its ROM and RAM came with the
// cartridge and memory sections.
void apply_micro_expander(const Staged& s, RebuiltDevice& device) {
  if (s.micro_expander) {
    ch376_install(device.record, s.usb);
    device.record = nullptr;
  } else if (per_MicroEx || ch376) {
    ch376_remove_for_state();
  }
}

}  // namespace

std::vector<uint8_t> encode_state() {
  StateWriter w;
  w.block(reinterpret_cast<const uint8_t*>(MAGIC), sizeof MAGIC);
  w.u32(STATE_VERSION);

  w.section("CPU ");
  w.u16(z80.pc); w.u16(z80.sp); w.u8(z80.iff1); w.u8(z80.iff2); w.u8(z80.im); w.u8(z80.r7);
  put_pair(w, z80.af); put_pair(w, z80.bc); put_pair(w, z80.de); put_pair(w, z80.hl);
  put_pair(w, z80.ix); put_pair(w, z80.iy); w.u8(z80.r); w.u8(z80.i);
  put_pair(w, z80.af_alt); put_pair(w, z80.bc_alt); put_pair(w, z80.de_alt); put_pair(w, z80.hl_alt);
  w.u16(z80.memptr); w.u8(modify_flag);
  w.u32(t_state); w.u32(temp_t_state); w.u32(frame_t_state); w.u32(screen_t_state);
  w.end_section();

  w.section("MACH");
  w.u8(timing_type); w.u8(model); w.u8(rom_mode); w.u8(ram_size); w.u32(memtop); w.u8(speed);
  w.end_section();

  const RomIdentity roms = running_roms();
  w.section("ROMS");
  w.u64(roms.system); w.u64(roms.characters); w.u64(roms.extension);
  w.end_section();

  w.section("RAM ");
  w.block(ram, 0x10000);
  w.end_section();

  w.section("CART");
  w.sized(cart_base < 0x10000 ? aqua_cart : nullptr, cart_base < 0x10000 ? aqua_cart_size : 0);
  w.end_section();

  w.section("PORT");
  w.u8(PORTxxFC); w.u8(PORTxxFD); w.u8(PORTxxFE); w.u8(PORTxxFF); w.u8(earbit); w.u8(vsync);
  w.block(keyboard_map, sizeof keyboard_map);
  w.end_section();

  w.section("AY  ");
  write_ay(w);
  w.end_section();

  w.section("SCLK");
  w.u32(static_cast<uint32_t>(rate_step_acc));
  w.end_section();

  w.section("VID ");
  w.block(reinterpret_cast<const uint8_t*>(display_buffer), sizeof display_buffer);
  w.end_section();

  w.section("TAPE");
  w.u8(caq_loaded); w.u8(aqua_caq != nullptr); w.u32(caq_count);
  w.sized(caq_image, caq_image ? caq_image_size : 0);
  w.end_section();

  w.section("SPOL");
  w.u8(spool_file); w.u8(spool_speed); w.u8(flipFlop); w.u8(temp_sound); w.u8(snd_sound); w.u8(spool_is_autoload);
  w.sized(spool_file && aqua_txt ? aqua_txt + spool_count : nullptr, spool_file ? spool_len : 0);
  w.u16(autoload_keyboard_frames); w.u16(autoload_wait_frames);
  w.end_section();

  w.section("TREC");
  w.u32(tape_record_idle); w.u8(tape_record_overflow);
  w.sized(tape_record, tape_record_length);
  w.end_section();

  w.section("PRNT");
  printer_write_state(w);
  w.end_section();

  if (per_MicroEx && ch376) {
    w.section("USB ");
    ch376_write_state(w);
    w.end_section();
  }
  if (pending_cart) {
    w.section("WCRT");
    w.sized(pending_cart, pending_cart_size);
    w.end_section();
  }
  return w.bytes;
}

state_result decode_state(const uint8_t* data, size_t size, bool accept_other_roms, std::string& message) {
  message.clear();
  if (size < sizeof MAGIC + 4 || std::memcmp(data, MAGIC, sizeof MAGIC) != 0) {
    message = "not a save state";
    return state_result::refused;
  }
  StateReader header(data + sizeof MAGIC, 4);
  const uint32_t version = header.u32();
  if (version != STATE_VERSION) {
    message = "a save state of version " + std::to_string(version) + ", this program reads version " +
              std::to_string(STATE_VERSION);
    return state_result::refused;
  }
  Staged s;
  StateReader r(data + sizeof MAGIC + 4, size - sizeof MAGIC - 4);
  unsigned seen = 0;
  const auto damaged = [&](const std::string& tag) {
    message = "the save state is damaged (section " + shown_escaped(tag) + ")";
    return state_result::refused;
  };
  while (!r.at_end()) {
    const uint8_t* tag = r.block(4);
    const uint32_t length = r.u32();
    const uint8_t* body = r.ok() ? r.block(length) : nullptr;
    if (!tag || !body) {
      message = "the save state is truncated";
      return state_result::refused;
    }
    // A section this program does not know comes from a later addition to the format: skipped.
    const int known = section_index(tag);
    if (known < 0) continue;
    StateReader section(body, length);
    if ((seen >> known & 1) || !SECTIONS[known].read(section, s) || !section.at_end())
      return damaged(SECTIONS[known].tag);
    seen |= 1u << known;
  }
  if ((seen & NEEDED_SECTIONS) != NEEDED_SECTIONS) {
    message = "the save state is incomplete";
    return state_result::refused;
  }
  s.micro_expander = seen >> USB_SECTION & 1;
  if (const char* tag = inconsistent_section(s)) return damaged(tag);
  // Every name the Micro Expander's device held must still be there before anything changes.
  RebuiltDevice device;
  if (s.micro_expander && !(device.record = ch376_rebuild(s.usb, message))) return state_result::refused;
  // A state of another model or series brings its ROM files from roms/, read as a switch to
  // that machine reads them but put in force only once the whole state is accepted.
  const bool other_machine = s.machine_model != model || s.series != rom_mode;
  RomIdentity roms = running_roms();
  if (other_machine) {
    std::string why;
    if (!stage_roms_for(s.machine_model, s.series, why)) {
      message = std::string("the save state is of an ") + model_name[s.machine_model] + " with the " +
                rom_type[s.series] + " ROM, whose ROM files cannot be loaded: " + why;
      return state_result::refused;
    }
    const StagedRoms staged = staged_roms();
    roms = identity_of(staged.system, staged.characters, staged.extension, s.machine_model);
  }
  if (!(s.roms == roms)) {
    if (!accept_other_roms) {
      message = "the save state was made with other ROM images than those in roms/";
      return state_result::rom_mismatch;
    }
    message = "warning: the save state was made with other ROM images";
  }
  if (other_machine) commit_staged_roms(s.machine_model, s.series);
  apply(s);
  apply_micro_expander(s, device);
  if (!s.waiting_cartridge.empty()) hold_cartridge_back(s.waiting_cartridge.data(), static_cast<uint32_t>(s.waiting_cartridge.size()));
  return state_result::ok;
}

bool save_state_file(const std::string& path, std::string& message) {
  const std::vector<uint8_t> bytes = encode_state();
  return save_file(path, bytes.data(), bytes.size(), message);
}

state_result load_state_file(const std::string& path, bool accept_other_roms, std::string& message) {
  std::vector<uint8_t> bytes;
  uint64_t size = 0;
  host_file_status status;
  if (!read_host_file(path, LARGEST_STATE + 1, bytes, size, status)) {
    message = path + ": cannot be read (" + status.why + ")";
    return state_result::refused;
  }
  if (size > LARGEST_STATE) {
    message = path + ": too large for a save state";
    return state_result::refused;
  }
  const state_result result = decode_state(bytes.data(), bytes.size(), accept_other_roms, message);
  if (!message.empty()) message = path + ": " + message;
  return result;
}
