// vantorel-headless: the whole machine with no window and no audio device, driven from the
// command line. Used by scripts, tests and people who test Aquarius software.
//
// The command line is a small script. Settings (--dir, --timing, --model, --series, --ram,
// --no-fallback, --autoload, --audio, --soft-reset-after, --symbols, --break, --trace,
// --trace-limit, --printer, --printer-png) take effect at start-up or, for the printer's
// outputs, at the end of the run, wherever they stand; every other option is an action, carried
// out in the order given, so that a run can wait, type, look and type again.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ch376/ch376.h"
#include "core/config.h"
#include "core/frame.h"
#include "core/host_file.h"
#include "core/memory.h"
#include "core/printer.h"
#include "core/roms.h"
#include "core/save_state.h"
#include "debug/disassembler.h"
#include "debug/gdb_server.h"
#include "debug/run_control.h"
#include "debug/symbols.h"
#include "input/keyboard.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "loading/tape_recorder.h"
#include "loading/tape_wav.h"
#include "sound/audio_out.h"
#include "tools/headless_host.h"
#include "video/raster.h"
#include "video/screenshot.h"
#include "z80/z80.h"

namespace {

constexpr int exit_usage = 2;      // unknown option, bad number, missing value, untypeable key
constexpr int exit_failure = 1;    // the run itself failed (ROMs, output files)
constexpr int exit_not_reached = 3;  // --until: the address was not reached within --max-frames
constexpr long default_frames = 100;  // run before the first look when no --frames is given

// A key stroke of --keys: the key is held for two frames, then all is up for one, which the
// ROM's once-a-frame scan sees as one press and one release.
constexpr int key_down_frames = 2;
constexpr int key_up_frames = 1;
constexpr uint8_t shift_column = 7, shift_bit = 4;

enum class Step { frames, keys, screenshot, screen_text, unlimited, load, type, soft_reset, hard_reset, microex, dump,
                  save_state, load_state,
                  until, regs, poke, gdb, export_wav, rewind_tape, eject_tape };

struct Action {
  Step step = Step::frames;
  long number = 0;    // --frames, --gdb
  std::string text;   // --keys (decoded), --type, --load, --screenshot, the tape of --export-wav
  std::string wav;    // --export-wav
  unsigned address = 0, length = 0;  // --dump, --until, --poke
  std::string address_text;          // as typed: resolved once the symbols are in
  long max_frames = -1;              // --until's --max-frames; -1: no limit
};

Action action(Step step, std::string text = {}) {
  Action act;
  act.step = step;
  act.text = std::move(text);
  return act;
}

struct Settings {
  std::string dir;
  int timing = 0;  // 0: as configured, 1 PAL, 2 NTSC
  int model = -1;  // -1: as configured
  int series = -1;
  int ram = -1;
  bool no_fallback = false;
  bool autoload = false;
  std::string audio;
  long soft_reset_after = -1;
  std::vector<std::string> symbol_files;
  std::vector<std::string> breaks;  // addresses as typed
  std::string trace;
  long trace_limit = 1000000;
  std::string printer_text, printer_png;  // what was printed, written at the end of the run
};

// The settings chosen on the command line, applied by start-up between reading vantorel.ini and
// loading the ROMs, so that the machine is built once, the way it was asked for.
Settings settings;
std::vector<Action> script;
long frames_run = 0;  // frames since start-up, the count --soft-reset-after refers to

void usage(FILE* to) {
  std::fprintf(to,
      "usage: vantorel-headless [settings] [actions]\n"
      "Settings (applied at start-up, wherever they stand):\n"
      "  --dir DIR               program directory holding roms/, usb/ and vantorel.ini\n"
      "  --timing pal|ntsc       timing standard (--pal, --ntsc; default: as configured)\n"
      "  --model 0|1             Aquarius I or II (default: as configured)\n"
      "  --series 1|2            ROM series (default: as configured)\n"
      "  --ram 0..4              RAM expansion 0K/4K/16K/32K/64K (default: as configured)\n"
      "  --no-fallback           a ROM failure at start-up ends the run (status 1) instead of\n"
      "                          booting the free built-in ROMs\n"
      "  --autoload              start a loaded cassette automatically\n"
      "  --audio FILE.wav        record every sample from the first frame to the end\n"
      "  --soft-reset-after N    soft reset before frame N (counted from start-up)\n"
      "  --symbols FILE          labels for addresses (z80asm, z88dk .map, sjasmplus .sym, EQU)\n"
      "  --break ADDR            (repeatable) print the registers each time PC arrives at ADDR;\n"
      "                          the action that was running goes on\n"
      "  --trace FILE            one line per instruction run: T-state, PC, bytes, mnemonic and\n"
      "                          the registers after it\n"
      "  --trace-limit N         stop the trace after N lines (default 1000000)\n"
      "  --printer FILE          at the end, write what the printer printed as text\n"
      "  --printer-png FILE      at the end, write the printer's paper as PNG\n"
      "Actions (carried out in the order given):\n"
      "  --frames N              run N frames\n"
      "  --keys TEXT             press the keys of TEXT one by one (2 frames down, 1 up);\n"
      "                          a line feed or the two characters \\n is RETURN\n"
      "  --type TEXT             type TEXT as pasted text (runs while later frames run)\n"
      "  --load FILE             load a file as a dropped file (cartridge, cassette, text;\n"
      "                          a save state as --load-state)\n"
      "  --soft-reset            restart the CPU at address 0\n"
      "  --hard-reset            read the ROMs again, clear memory, drop the cartridge, restart\n"
      "  --microex               switch the Micro Expander on\n"
      "  --unlimited             unlimited speed (no sound is made while it is on)\n"
      "  --screen-text           print the 25 x 40 screen codes as text ('.' for the rest)\n"
      "  --screenshot FILE       write the 352 x 232 picture as PNG (PPM if FILE ends in .ppm)\n"
      "  --dump ADDR:LEN         print LEN bytes of memory from ADDR (LEN hex)\n"
      "  --until ADDR            run until PC arrives at ADDR, which stops the machine there\n"
      "  --max-frames N          (after --until) give up after N frames: the run ends, status 3\n"
      "  --regs                  print the registers on one line\n"
      "  --poke ADDR:HEXBYTES    write the bytes into memory from ADDR, as the CPU would\n"
      "  --save-state FILE       write the whole machine to FILE\n"
      "  --load-state FILE       go on from the machine in FILE (refused: nothing changes, status 1)\n"
      "  --gdb PORT              stop and serve GDB on 127.0.0.1:PORT (0: any free port, named on\n"
      "                          standard error) until it detaches (the actions go on) or kills\n"
      "                          (the run ends, status 0); a port in use is status 1\n"
      "  --rewind-tape           put the inserted cassette back to its start\n"
      "  --eject-tape            take the cassette out\n"
      "  --export-wav TAPE WAV   write the cassette image TAPE (.caq, or a .wav recording) as\n"
      "                          the machine's tape signal, 44,100 Hz 16-bit mono; alone, it\n"
      "                          runs no machine\n"
      "Information (shown at once, nothing runs):\n"
      "  --help                  show this text\n"
      "  --version               show the version\n"
      "Without any --frames, 100 frames run before the first look (or at the end).\n"
      "An ADDR is hex ($E010, 0xE010, E010h, E010), a label, or LABEL+N / LABEL-N (N hex).\n");
}

bool fail_usage(const std::string& message) {
  std::fprintf(stderr, "vantorel-headless: %s\n", message.c_str());
  return false;
}

// A command-line number must be a whole decimal number and nothing else.
template <typename T>
bool whole_number(const char* option, const char* text, T& out, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != 0 || errno == ERANGE || value < low || value > high ||
      value < static_cast<long>(std::numeric_limits<T>::min()) ||
      static_cast<unsigned long>(value) > static_cast<unsigned long>(std::numeric_limits<T>::max()))
    return fail_usage(std::string(option) + " wants a whole number from " + std::to_string(low) +
                      " to " + std::to_string(high) + ", not \"" + text + "\"");
  out = static_cast<T>(value);
  return true;
}

// The text of --keys as the bytes to strike: the two characters backslash and n are RETURN, as
// is a real line feed. Every byte must have a key on the machine.
bool decode_keys(const std::string& text, std::string& keys) {
  keys.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      c = '\n';
      ++i;
    }
    if (spool_key_for(static_cast<uint8_t>(c)).column > 7) {
      char shown[32];
      const unsigned char u = static_cast<unsigned char>(c);
      if (u >= 0x20 && u < 0x7F)
        std::snprintf(shown, sizeof shown, "'%c' (0x%02X)", c, u);
      else
        std::snprintf(shown, sizeof shown, "0x%02X", u);
      return fail_usage(std::string("--keys: the character ") + shown +
                        " has no key on the machine's keyboard");
    }
    keys += c;
  }
  return true;
}

bool is_look(Step s) {
  return s == Step::screen_text || s == Step::screenshot || s == Step::dump || s == Step::regs;
}

// --poke ADDR:HEXBYTES: the bytes go into act.text.
bool parse_poke(const char* value, Action& act) {
  const std::string v = value;
  const size_t colon = v.rfind(':');
  const std::string hex = colon == std::string::npos ? "" : v.substr(colon + 1);
  const bool hex_ok = !hex.empty() && hex.size() % 2 == 0 &&
                      hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  if (!hex_ok || colon == 0)
    return fail_usage("--poke wants ADDR:HEXBYTES (an even number of hex digits), not \"" + v + "\"");
  act.address_text = v.substr(0, colon);
  for (size_t i = 0; i < hex.size(); i += 2) act.text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return true;
}

// A script of nothing but exports is a file conversion: no machine is started for it.
bool only_exports() {
  return !script.empty() &&
         std::all_of(script.begin(), script.end(), [](const Action& act) { return act.step == Step::export_wav; });
}

bool parse(int argc, char** argv) {
  bool any_frames = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = nullptr;
    auto value = [&]() -> bool {
      if (i + 1 >= argc) return fail_usage(a + " needs a value");
      v = argv[++i];
      return true;
    };
    if (a == "--dir") { if (!value()) return false; settings.dir = v; }
    else if (a == "--timing") {
      if (!value()) return false;
      const std::string t = v;
      if (t == "pal" || t == "PAL") settings.timing = 1;
      else if (t == "ntsc" || t == "NTSC") settings.timing = 2;
      else return fail_usage("--timing wants pal or ntsc, not \"" + t + "\"");
    }
    else if (a == "--pal") settings.timing = 1;
    else if (a == "--ntsc") settings.timing = 2;
    else if (a == "--model") { if (!value() || !whole_number(a.c_str(), v, settings.model, 0, 1)) return false; }
    else if (a == "--series") { if (!value() || !whole_number(a.c_str(), v, settings.series, 1, 2)) return false; }
    else if (a == "--ram") { if (!value() || !whole_number(a.c_str(), v, settings.ram, 0, 4)) return false; }
    else if (a == "--no-fallback") settings.no_fallback = true;
    else if (a == "--autoload") settings.autoload = true;
    else if (a == "--audio") { if (!value()) return false; settings.audio = v; }
    else if (a == "--printer") { if (!value()) return false; settings.printer_text = v; }
    else if (a == "--printer-png") { if (!value()) return false; settings.printer_png = v; }
    else if (a == "--soft-reset-after") {
      if (!value() || !whole_number(a.c_str(), v, settings.soft_reset_after, 0, std::numeric_limits<long>::max()))
        return false;
    }
    else if (a == "--frames") {
      Action act = action(Step::frames);
      if (!value() || !whole_number(a.c_str(), v, act.number, 0, std::numeric_limits<long>::max())) return false;
      script.push_back(act);
      any_frames = true;
    }
    else if (a == "--keys") {
      Action act = action(Step::keys);
      if (!value() || !decode_keys(v, act.text)) return false;
      script.push_back(act);
    }
    else if (a == "--type") { if (!value()) return false; script.push_back(action(Step::type, v)); }
    else if (a == "--load") { if (!value()) return false; script.push_back(action(Step::load, v)); }
    else if (a == "--screenshot") { if (!value()) return false; script.push_back(action(Step::screenshot, v)); }
    else if (a == "--save-state") { if (!value()) return false; script.push_back(action(Step::save_state, v)); }
    else if (a == "--load-state") { if (!value()) return false; script.push_back(action(Step::load_state, v)); }
    else if (a == "--export-wav") {
      Action act = action(Step::export_wav);
      if (!value()) return false;
      act.text = v;
      if (!value()) return false;
      act.wav = v;
      script.push_back(act);
    }
    else if (a == "--rewind-tape") script.push_back(action(Step::rewind_tape));
    else if (a == "--eject-tape") script.push_back(action(Step::eject_tape));
    else if (a == "--screen-text") script.push_back(action(Step::screen_text));
    else if (a == "--soft-reset") script.push_back(action(Step::soft_reset));
    else if (a == "--hard-reset") script.push_back(action(Step::hard_reset));
    else if (a == "--microex") script.push_back(action(Step::microex));
    else if (a == "--unlimited") script.push_back(action(Step::unlimited));
    else if (a == "--dump") {
      if (!value()) return false;
      const std::string text = v;
      const size_t colon = text.rfind(':');
      unsigned length = 0;
      char extra = 0;
      if (colon == std::string::npos || std::sscanf(text.c_str() + colon + 1, "%x%c", &length, &extra) != 1 ||
          length > 0x10000)
        return fail_usage("--dump wants ADDR:LEN, LEN in hex (at most 10000), not \"" + text + "\"");
      Action act = action(Step::dump);
      act.address_text = text.substr(0, colon);
      act.length = length;
      script.push_back(act);
    }
    else if (a == "--gdb") {
      Action act = action(Step::gdb);
      if (!value() || !whole_number(a.c_str(), v, act.number, 0, 65535)) return false;
      script.push_back(act);
    }
    else if (a == "--symbols") { if (!value()) return false; settings.symbol_files.push_back(v); }
    else if (a == "--break") { if (!value()) return false; settings.breaks.push_back(v); }
    else if (a == "--trace") { if (!value()) return false; settings.trace = v; }
    else if (a == "--trace-limit") {
      if (!value() || !whole_number(a.c_str(), v, settings.trace_limit, 0, std::numeric_limits<long>::max())) return false;
    }
    else if (a == "--until") {
      if (!value()) return false;
      Action act = action(Step::until);
      act.address_text = v;
      script.push_back(act);
      any_frames = true;
    }
    else if (a == "--max-frames") {
      if (script.empty() || script.back().step != Step::until) return fail_usage("--max-frames belongs right after an --until");
      if (!value() || !whole_number(a.c_str(), v, script.back().max_frames, 0, std::numeric_limits<long>::max()))
        return false;
    }
    else if (a == "--regs") script.push_back(action(Step::regs));
    else if (a == "--poke") {
      Action act = action(Step::poke);
      if (!value() || !parse_poke(v, act)) return false;
      script.push_back(act);
    }
    else if (a == "--help" || a == "-h") { usage(stdout); std::exit(0); }
    else if (a == "--version") { std::printf("vantorel-headless %s\n", VANTOREL_VERSION); std::exit(0); }
    else { usage(stderr); return fail_usage("unknown option " + a); }
  }
  if (!any_frames && !only_exports()) {
    // Callers that only say what to load and what to look at get the run they always had.
    size_t at = 0;
    while (at < script.size() && !is_look(script[at].step)) ++at;
    Action wait = action(Step::frames);
    wait.number = default_frames;
    script.insert(script.begin() + static_cast<long>(at), wait);
  }
  return true;
}

// File names on the command line mean what they mean where the runner was started, not inside
// --dir.
void anchor_paths() {
  char* here = getcwd(nullptr, 0);
  if (!here) return;
  auto anchor = [&](std::string& path) {
    if (!path.empty() && path[0] != '/') path = std::string(here) + "/" + path;
  };
  anchor(settings.audio);
  anchor(settings.trace);
  for (std::string& file : settings.symbol_files) anchor(file);
  anchor(settings.printer_text);
  anchor(settings.printer_png);
  for (Action& act : script)
    if (act.step == Step::load || act.step == Step::screenshot || act.step == Step::save_state ||
        act.step == Step::load_state || act.step == Step::export_wav) {
      anchor(act.text);
      anchor(act.wav);
    }
  std::free(here);
}

void apply_settings() {
  if (settings.timing) timing_type = static_cast<uint8_t>(settings.timing);
  if (settings.model >= 0) model = static_cast<uint8_t>(settings.model);
  if (settings.series > 0) rom_mode = static_cast<uint8_t>(settings.series - 1);
  if (settings.ram >= 0) ram_size = static_cast<uint8_t>(settings.ram);
  if (settings.autoload) caq_autoload = true;
}

// Whatever reconfigures the machine pauses the audio, and a pause drops the samples still
// waiting to be handed to the device; a recording takes them first, so that it has every one.
void keep_pending_samples() {
  if (settings.audio.empty()) return;
  if (WriteBufferPos > 0) WriteDataToBuffer();
  headless_audio_drain();
}

// ---- Debugging: symbols, breakpoints, --until, the trace ----

int failure_status = exit_failure;  // the status a failed action ends the run with
uint32_t reported_stops = 0;        // stop_count() when the registers were last printed for a break
bool poke_refused = false;          // a --poke byte fell outside RAM

void print_registers() {
  std::printf("PC=%04X SP=%04X AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X AF'=%04X BC'=%04X DE'=%04X "
              "HL'=%04X I=%02X R=%02X T=%u\n",
              z80.pc, z80.sp, z80.af.w, z80.bc.w, z80.de.w, z80.hl.w, z80.ix.w, z80.iy.w, z80.af_alt.w,
              z80.bc_alt.w, z80.de_alt.w, z80.hl_alt.w, z80.i, (z80.r7 & 0x80) | (z80.r & 0x7F),
              static_cast<unsigned>(t_state));
  std::fflush(stdout);
}

// A --break the machine stopped at is told once, by its registers.
void report_break() {
  if (last_stop().reason != StopReason::breakpoint || stop_count() == reported_stops) return;
  reported_stops = stop_count();
  print_registers();
}

// Loads the symbol files and turns every address typed into a number, before anything runs.
// 0, or the exit status.
int prepare_debugging() {
  for (const std::string& path : settings.symbol_files) {
    const SymbolLoadReport report = load_symbol_file(debug_symbols, path);
    if (!report.error.empty()) {
      std::fprintf(stderr, "vantorel-headless: --symbols: %s\n", report.error.c_str());
      return exit_failure;
    }
  }
  const auto resolve = [](const std::string& text, const char* option, unsigned& address) {
    const ParsedAddress parsed = parse_address(text, &debug_symbols);
    if (!parsed.ok) return fail_usage(std::string(option) + ": " + parsed.error);
    address = parsed.address;
    return true;
  };
  for (Action& act : script) {
    const char* option = act.step == Step::dump ? "--dump" : act.step == Step::until ? "--until" : "--poke";
    if (!act.address_text.empty() && !resolve(act.address_text, option, act.address)) return exit_usage;
  }
  for (const std::string& text : settings.breaks) {
    unsigned address = 0;
    if (!resolve(text, "--break", address)) return exit_usage;
    add_breakpoint(static_cast<uint16_t>(address));
  }
  return 0;
}

saved_file trace_file;
std::string trace_text;  // lines not yet handed to the file
long trace_lines = 0;
std::string trace_error;

void flush_trace() {
  if (trace_error.empty() && !trace_text.empty())
    write_saved_file(trace_file, reinterpret_cast<const uint8_t*>(trace_text.data()), trace_text.size(), trace_error);
  trace_text.clear();
}

void trace_instruction(const ExecutedInstruction& executed) {
  const DisassembledInstruction shown = disassemble(executed.bytes, executed.pc, &debug_symbols);
  char bytes[16] = "";
  for (int i = 0; i < shown.length && i < 4; ++i) std::snprintf(bytes + 3 * i, 4, "%02X ", executed.bytes[i]);
  char line[256];
  std::snprintf(line, sizeof line, "%5u %04X %-12s%-20s AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X SP=%04X\n",
                static_cast<unsigned>(executed.t_state), executed.pc, bytes, shown.text, z80.af.w, z80.bc.w, z80.de.w,
                z80.hl.w, z80.ix.w, z80.iy.w, z80.sp);
  trace_text += line;
  if (++trace_lines >= settings.trace_limit) set_instruction_observer(nullptr);
  if (trace_text.size() >= 1 << 16) flush_trace();
}

bool open_trace() {
  if (settings.trace.empty()) return true;
  if (!start_saved_file(trace_file, settings.trace, trace_error)) {
    std::fprintf(stderr, "vantorel-headless: cannot write %s\n", trace_error.c_str());
    return false;
  }
  if (settings.trace_limit > 0) set_instruction_observer(trace_instruction);
  return true;
}

bool close_trace() {
  if (settings.trace.empty()) return true;
  set_instruction_observer(nullptr);
  flush_trace();
  if (trace_error.empty() && finish_saved_file(trace_file, trace_error)) return true;
  abandon_saved_file(trace_file);
  std::fprintf(stderr, "vantorel-headless: cannot write %s\n", trace_error.c_str());
  return false;
}

// Runs on to the end of the frame (true), or, for --until, to PC at until (false: the machine
// stays stopped there, and the next action that runs goes on from it). At a --break the
// registers are printed and the run goes on.
bool run_script_frame(bool to_until = false, uint16_t until = 0) {
  if (frames_run == settings.soft_reset_after && !machine_stopped()) {
    keep_pending_samples();
    SoftReset();
  }
  const auto go_on = [&] {
    report_break();
    if (to_until) run_to_address(until);
    else resume();
  };
  if (machine_stopped() || to_until) go_on();
  while (!run_frame()) {
    // A --break at the --until address stops there first: the address is reached all the same.
    if (to_until && (last_stop().reason == StopReason::run_to || z80.pc == until)) {
      report_break();
      return false;
    }
    go_on();
  }
  headless_audio_drain();
  ++frames_run;
  return true;
}

void run_frames(long n) {
  for (long k = 0; k < n; ++k) run_script_frame();
}

bool run_until(const Action& act) {
  for (long frames = 0; act.max_frames < 0 || frames < act.max_frames; ++frames)
    if (!run_script_frame(true, static_cast<uint16_t>(act.address))) return true;
  cancel_run_requests();
  std::fprintf(stderr, "vantorel-headless: PC did not reach %s in %ld frames\n", act.address_text.c_str(), act.max_frames);
  failure_status = exit_not_reached;
  return false;
}

void poke(const Action& act) {
  for (size_t i = 0; i < act.text.size(); ++i) {
    const uint16_t address = static_cast<uint16_t>(act.address + i);
    if (debug_poke(address, static_cast<uint8_t>(act.text[i]))) continue;
    std::fprintf(stderr, "vantorel-headless: --poke: %04X is not RAM, the byte was not stored\n", address);
    poke_refused = true;
  }
}

void strike_keys(const std::string& keys) {
  for (char c : keys) {
    const spool_key key = spool_key_for(static_cast<uint8_t>(c));
    const uint8_t key_mask = static_cast<uint8_t>(1u << key.bit);
    keyboard_map[key.column] &= static_cast<uint8_t>(~key_mask);
    if (key.shift) keyboard_map[shift_column] &= static_cast<uint8_t>(~(1u << shift_bit));
    run_frames(key_down_frames);
    keyboard_map[key.column] |= key_mask;
    if (key.shift) keyboard_map[shift_column] |= static_cast<uint8_t>(1u << shift_bit);
    run_frames(key_up_frames);
  }
}

void print_screen_text() {
  for (int row = 0; row < 25; ++row) {
    char line[41];
    for (int col = 0; col < 40; ++col) {
      const uint8_t c = ram[0x3000 + 40 * row + col];
      line[col] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    line[40] = 0;
    std::printf("%s\n", line);
  }
  std::fflush(stdout);
}

void print_dump(unsigned address, unsigned length) {
  for (unsigned k = 0; k < length; ++k)
    std::printf("%02X%s", ReadByte(static_cast<uint16_t>(address + k)),
                (k % 16 == 15 || k + 1 == length) ? "\n" : " ");
  std::fflush(stdout);
}

bool ends_with(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool write_ppm(const std::string& path, std::string& error) {
  std::string ppm = "P6\n" + std::to_string(display_width) + " " + std::to_string(display_height) + "\n255\n";
  for (uint32_t i = 0; i < display_width * display_height; ++i) {
    const uint32_t p = display_buffer[i];
    ppm += {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
  }
  return save_file(path, ppm, error);
}

bool write_screenshot(const std::string& path, std::string& error) {
  if (ends_with(path, ".ppm")) return write_ppm(path, error);
  return write_screenshot_png(path, error);
}

// The printer's outputs at the end of the run; false when one could not be written.
bool write_printer_outputs() {
  bool written = true;
  const auto failed = [&](const std::string& error) {
    std::fprintf(stderr, "vantorel-headless: cannot write %s\n", error.c_str());
    written = false;
  };
  std::string error;
  if (!settings.printer_text.empty() && !printer_save_text(settings.printer_text, error)) failed(error);
  if (!settings.printer_png.empty() && !write_paper_png(settings.printer_png, error)) failed(error);
  return written;
}

bool state_refused = false;  // a state given to --load-state or --load was refused
bool gdb_killed = false;     // GDB's k ended the run

// --gdb PORT: the machine stands still until a client comes, which stops it; then it runs while
// GDB lets it, frame by frame, the connection polled between frames and waited on while stopped.
// A client that detaches or goes away leaves it running on with the next action.
bool serve_gdb(long port) {
  std::string message;
  if (!gdb_server_open(static_cast<uint16_t>(port), message)) {
    std::fprintf(stderr, "vantorel-headless: %s\n", message.c_str());
    return false;
  }
  std::fprintf(stderr, "vantorel-headless: waiting for GDB on 127.0.0.1:%u\n", gdb_port);
  while (gdb_last_ending == gdb_ending::none) {
    const bool running = gdb_server_connected() && !machine_stopped();
    gdb_server_poll(running ? 0 : 100);
    if (gdb_server_connected() && !machine_stopped() && run_frame()) {
      headless_audio_drain();
      ++frames_run;
    }
  }
  gdb_killed = gdb_last_ending == gdb_ending::killed;
  gdb_server_close();
  return true;
}

void load_state(const std::string& path) {
  std::string message;
  keep_pending_samples();
  // A state that is refused changes nothing: the run goes on, and ends with status 1.
  if (load_state_file(path, false, message) != state_result::ok) state_refused = true;
  if (!message.empty()) std::fprintf(stderr, "vantorel-headless: %s\n", message.c_str());
}

// Carries out one action; false when the run cannot go on.
bool perform(const Action& act) {
  switch (act.step) {
    case Step::frames: run_frames(act.number); return true;
    case Step::keys: strike_keys(act.text); return true;
    case Step::type: aqua_arch_get_spool_file(act.text.c_str()); return true;
    case Step::load:
      // A text is typed while the loader runs frames of its own: the machine must be running.
      if (machine_stopped()) resume();
      if (is_state_file(act.text)) {
        load_state(act.text);
        return true;
      }
      keep_pending_samples();
      if (do_load_file(act.text) != 0)
        std::fprintf(stderr, "vantorel-headless: %s was not loaded%s%s\n", act.text.c_str(),
                     load_error.empty() ? "" : ": ", load_error.c_str());
      return true;
    case Step::soft_reset: keep_pending_samples(); SoftReset(); return true;
    case Step::hard_reset: keep_pending_samples(); HardReset(); return true;
    case Step::microex:
      keep_pending_samples();
      set_micro_expander(true);
      return true;
    case Step::unlimited: speed = 1; return true;
    case Step::screen_text: print_screen_text(); return true;
    case Step::dump: print_dump(act.address, act.length); return true;
    case Step::save_state: {
      std::string message;
      keep_pending_samples();
      if (save_state_file(act.text, message)) return true;
      std::fprintf(stderr, "vantorel-headless: cannot save the state: %s\n", message.c_str());
      return false;
    }
    case Step::load_state: load_state(act.text); return true;
    case Step::until: return run_until(act);
    case Step::regs: print_registers(); return true;
    case Step::poke: poke(act); return true;
    case Step::gdb: return serve_gdb(act.number);
    case Step::rewind_tape:
    case Step::eject_tape:
      if (!(act.step == Step::rewind_tape ? caq_rewind() : caq_eject()))
        std::fprintf(stderr, "vantorel-headless: no cassette is inserted\n");
      return true;
    case Step::export_wav: {
      std::string error;
      if (export_tape_wav(act.text, act.wav, error)) return true;
      std::fprintf(stderr, "vantorel-headless: cannot export the tape: %s\n", error.c_str());
      return false;
    }
    case Step::screenshot: {
      std::string error;
      if (write_screenshot(act.text, error)) return true;
      std::fprintf(stderr, "vantorel-headless: cannot write %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!parse(argc, argv)) return exit_usage;
  if (!settings.dir.empty()) {
    anchor_paths();
    if (chdir(settings.dir.c_str()) != 0) {
      std::fprintf(stderr, "vantorel-headless: cannot enter %s: %s\n", settings.dir.c_str(), std::strerror(errno));
      return exit_usage;
    }
  }

  if (only_exports()) {
    for (const Action& act : script)
      if (!perform(act)) return exit_failure;
    return 0;
  }
  if (const int status = prepare_debugging()) return status;

  StartupChoices choices;
  choices.apply_settings = apply_settings;
  choices.builtin_fallback = !settings.no_fallback;
  if (Initialise_Emulator(choices) != 0 && settings.no_fallback) {
    std::fprintf(stderr, "vantorel-headless: the ROMs could not be loaded (see above); --no-fallback stops here\n");
    return exit_failure;
  }

  if (!settings.audio.empty()) {
    std::string error;
    if (!headless_audio_open(settings.audio, error)) {
      std::fprintf(stderr, "vantorel-headless: cannot write %s\n", error.c_str());
      return exit_failure;
    }
    resume_audio();
  }

  int status = 0;
  if (!open_trace()) return exit_failure;
  for (const Action& act : script) {
    if (!perform(act)) {
      status = failure_status;
      break;
    }
    if (gdb_killed) break;
  }
  if (!close_trace() && status == 0) status = exit_failure;
  if (poke_refused && status == 0) status = exit_failure;
  // The end of the run is the program's quit: a recording still going on is saved now.
  tape_recorder_finish();
  if (headless_tape_failed || state_refused || !write_printer_outputs()) status = exit_failure;
  std::string audio_error;
  if (!settings.audio.empty() && !headless_audio_close(audio_error)) {
    std::fprintf(stderr, "vantorel-headless: cannot write %s\n", audio_error.c_str());
    status = exit_failure;
  }
  return status;
}
