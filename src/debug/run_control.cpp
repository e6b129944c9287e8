// Run control: the checking frame loop, its stops and steps, the breakpoint and watchpoint
// lists, the instruction history and the unwritten-RAM check.
#include "debug/run_control.h"

#include <algorithm>
#include <cstring>

#include "core/frame.h"
#include "core/host.h"
#include "core/memory.h"
#include "debug/access_check.h"
#include "video/raster.h"
#include "z80/z80.h"

std::atomic<bool> break_requested{false};
bool run_control_armed = false;
uint32_t frame_counter = 0;
uint8_t debug_memory_flags[0x10000];
uint8_t debug_port_flags[0x100];

namespace {

// A byte the system or extension ROM read while it was unwritten: its probe may write the byte's
// power-on value back, which leaves it as unwritten as before.
constexpr uint8_t ACCESS_PROBED = 8;
// Code below this address is the system ROM or the extension ROM.
constexpr uint16_t FIRST_PROGRAM_ADDRESS = 0x3000;
constexpr uint32_t NO_PC = 0x10000;

uint8_t breakpoint_flags[0x10000];  // 1 where an enabled breakpoint is
uint8_t probe_value[0x10000];       // what a ROM probe read from an unwritten byte
std::vector<Breakpoint> breakpoints;
std::vector<Watchpoint> watchpoints;
int next_id = 1;

bool stopped = false;
StopEvent stop_event;
uint32_t stops = 0;
// The current frame's start-work is done and its end-work is not: the frame was left at a stop.
bool frame_in_progress = false;

enum class StepKind : uint8_t { none, into, over, out, run_to };
struct Step {
  StepKind kind = StepKind::none;
  uint16_t target = 0;  // over: the next instruction's address; run_to: the address
  uint16_t sp = 0;      // SP when the step began
  bool call = false;    // over: the instruction stepped over is a call
};
Step step;
bool next_frame_break = false;
bool history_on = false;
InstructionObserver observer = nullptr;
bool unwritten_check = false;

// Breakpoints and run-to are looked at when PC arrives at an instruction: not again while an
// instruction repeats itself at the same address (a block repeat, HALT), and not on the
// instruction a resume starts from.
uint32_t last_instruction_pc = NO_PC;
uint16_t current_instruction_pc = 0;

HistoryEntry history[HISTORY_LENGTH];
size_t history_next = 0, history_count = 0;

// The first access of the running instruction that stops the machine once it has completed.
struct PendingStop {
  StopReason reason;
  AccessKind access;
  uint16_t address;
  uint8_t value;
  int id;
};
PendingStop pending{};
bool access_pending = false;

bool any_enabled(const auto& list) {
  return std::any_of(list.begin(), list.end(), [](const auto& entry) { return entry.enabled; });
}

void update_armed() {
  run_control_armed = stopped || frame_in_progress || step.kind != StepKind::none || next_frame_break ||
                      history_on || observer || unwritten_check || any_enabled(breakpoints) ||
                      any_enabled(watchpoints);
  // The next checking frame starts afresh: the last instruction it saw is long gone.
  if (!run_control_armed) last_instruction_pc = NO_PC;
}

void rebuild_breakpoint_flags() {
  std::memset(breakpoint_flags, 0, sizeof breakpoint_flags);
  for (const Breakpoint& b : breakpoints)
    if (b.enabled) breakpoint_flags[b.address] = 1;
  update_armed();
}

void rebuild_watch_flags() {
  for (uint8_t& f : debug_memory_flags) f = static_cast<uint8_t>(f & ~(ACCESS_WATCH_READ | ACCESS_WATCH_WRITE));
  std::memset(debug_port_flags, 0, sizeof debug_port_flags);
  for (const Watchpoint& w : watchpoints) {
    if (!w.enabled) continue;
    const uint8_t bits = static_cast<uint8_t>((w.on_read ? ACCESS_WATCH_READ : 0) | (w.on_write ? ACCESS_WATCH_WRITE : 0));
    if (w.space == WatchSpace::memory) {
      for (uint32_t a = w.first; a <= w.last; ++a) debug_memory_flags[a] |= bits;
    } else {
      for (uint32_t p = w.first; p <= std::min<uint32_t>(w.last, 0xFF); ++p) debug_port_flags[p] |= bits;
    }
  }
  update_armed();
}

void stop_machine(StopReason reason, int id = 0, uint16_t address = 0) {
  stopped = true;
  stop_event = {};
  stop_event.reason = reason;
  stop_event.pc = z80.pc;
  stop_event.instruction_pc = current_instruction_pc;
  stop_event.address = address;
  stop_event.id = id;
  stop_event.t_state = t_state;
  ++stops;
  step = {};
  update_armed();
  // The window shows the picture as far as the beam has composed it.
  if (picture_changed()) {
    host_request_repaint();
    picture_presented();
  }
}

void stop_for_access() {
  stop_machine(pending.reason, pending.id, pending.address);
  stop_event.access = pending.access;
  stop_event.value = pending.value;
}

// Counts the hit on every enabled breakpoint at pc; true when one of them stops the machine.
bool breakpoint_stops(uint16_t pc) {
  int stopping = 0;
  for (Breakpoint& b : breakpoints) {
    if (!b.enabled || b.address != pc) continue;
    if (++b.hits > b.skip_hits && !stopping) stopping = b.id;
  }
  if (!stopping) return false;
  stop_machine(StopReason::breakpoint, stopping, pc);
  return true;
}

uint8_t code_byte(uint16_t address) { return FetchOpcode(address); }

// RET, RET cc, and the ED returns (RETN, RETI and their duplicates).
bool is_return_at(uint16_t pc) {
  const uint8_t op = code_byte(pc);
  if (op == 0xC9 || (op & 0xC7) == 0xC0) return true;
  return op == 0xED && (code_byte(static_cast<uint16_t>(pc + 1)) & 0xC7) == 0x45;
}

// SP is compared across the wrap at 0x0000, where a stack that starts at the top of memory lives.
int16_t sp_above(uint16_t sp, uint16_t reference) { return static_cast<int16_t>(sp - reference); }

bool step_finished(bool was_return, uint16_t sp_before) {
  const bool popped_return = was_return && static_cast<uint16_t>(z80.sp - sp_before) == 2;
  switch (step.kind) {
    case StepKind::into: return true;
    case StepKind::over:
      if (z80.pc == step.target && sp_above(z80.sp, step.sp) >= 0) return true;
      return step.call && popped_return && sp_above(z80.sp, step.sp) >= 0;
    case StepKind::out: return popped_return && sp_above(z80.sp, step.sp) > 0;
    case StepKind::run_to:
    case StepKind::none: break;
  }
  return false;
}

void record_history(uint16_t pc) {
  history[history_next] = {pc, t_state, frame_counter};
  history_next = (history_next + 1) % HISTORY_LENGTH;
  if (history_count < HISTORY_LENGTH) ++history_count;
}

// The frame through the checking CPU, from where the machine stands.
bool checking_frame() {
  if (stopped) return false;
  if (!frame_in_progress) {
    if (next_frame_break) {
      next_frame_break = false;
      current_instruction_pc = z80.pc;
      stop_machine(StopReason::frame_start);
      return false;
    }
    frame_start_work();
    frame_in_progress = true;
  }
  while (t_state < frame_length) {
    const uint16_t pc = z80.pc;
    current_instruction_pc = pc;
    if (pc != last_instruction_pc) {
      if (breakpoint_flags[pc] && breakpoint_stops(pc)) return false;
      if (step.kind == StepKind::run_to && pc == step.target) {
        stop_machine(StopReason::run_to, 0, pc);
        return false;
      }
    }
    if (break_requested.load(std::memory_order_relaxed)) {
      break_requested = false;
      stop_machine(StopReason::break_request);
      return false;
    }
    last_instruction_pc = pc;
    record_history(pc);
    ExecutedInstruction executed;
    if (observer) {
      executed.pc = pc;
      executed.t_state = t_state;
      for (int i = 0; i < 4; ++i) executed.bytes[i] = code_byte(static_cast<uint16_t>(pc + i));
    }
    const bool watching_returns = step.kind == StepKind::out || (step.kind == StepKind::over && step.call);
    const bool was_return = watching_returns && is_return_at(pc);
    const uint16_t sp_before = z80.sp;
    checked_instruction();
    if (observer) observer(executed);
    if (access_pending) {
      access_pending = false;
      stop_for_access();
      return false;
    }
    if (step.kind != StepKind::none && step_finished(was_return, sp_before)) {
      stop_machine(StopReason::step, 0, z80.pc);
      return false;
    }
  }
  frame_end_work();
  frame_in_progress = false;
  update_armed();
  return true;
}

void leave_stop() {
  if (stopped) {
    stopped = false;
    stop_event = {};
    last_instruction_pc = z80.pc;
  }
  update_armed();
}

void arm_step(const Step& s) {
  step = s;
  leave_stop();
}

bool is_present_ram(uint16_t address) {
  return address >= FIRST_PROGRAM_ADDRESS && address <= memtop && address < cart_base;
}

bool running_rom_code() { return current_instruction_pc < FIRST_PROGRAM_ADDRESS; }

void note_access(StopReason reason, AccessKind access, uint16_t address, uint8_t value, int id) {
  if (access_pending) return;
  pending = {reason, access, address, value, id};
  access_pending = true;
}

void unwritten_byte_read(uint16_t address, uint8_t value) {
  if (!is_present_ram(address)) return;
  uint8_t& flags = debug_memory_flags[address];
  if (running_rom_code()) {
    flags |= ACCESS_PROBED;
    probe_value[address] = value;
    return;
  }
  flags = static_cast<uint8_t>(flags & ~(ACCESS_UNWRITTEN | ACCESS_PROBED));
  note_access(StopReason::unwritten_read, AccessKind::memory_read, address, value, 0);
}

void watch_hit(WatchSpace space, uint16_t address, uint8_t value, bool write) {
  const uint16_t key = space == WatchSpace::port ? static_cast<uint16_t>(address & 0xFF) : address;
  for (Watchpoint& w : watchpoints) {
    if (!w.enabled || w.space != space || key < w.first || key > w.last || !(write ? w.on_write : w.on_read)) continue;
    ++w.hits;
    const AccessKind kind = space == WatchSpace::memory ? (write ? AccessKind::memory_write : AccessKind::memory_read)
                                                        : (write ? AccessKind::port_write : AccessKind::port_read);
    note_access(StopReason::watchpoint, kind, address, value, w.id);
  }
}

template <typename List>
auto find_id(List& list, int id) {
  return std::find_if(list.begin(), list.end(), [id](const auto& entry) { return entry.id == id; });
}

}  // namespace

// ---- The checking bus's slow paths ----

void checked_code_read(uint16_t address, uint8_t value) { unwritten_byte_read(address, value); }

void checked_data_read(uint16_t address, uint8_t value) {
  const uint8_t flags = debug_memory_flags[address];
  if (flags & ACCESS_UNWRITTEN) unwritten_byte_read(address, value);
  if (flags & ACCESS_WATCH_READ) watch_hit(WatchSpace::memory, address, value, false);
}

void checked_write(uint16_t address, uint8_t value) {
  uint8_t& flags = debug_memory_flags[address];
  if ((flags & (ACCESS_UNWRITTEN | ACCESS_PROBED)) && is_present_ram(address)) {
    if (!(flags & ACCESS_PROBED) || !running_rom_code()) {
      flags = static_cast<uint8_t>(flags & ~(ACCESS_UNWRITTEN | ACCESS_PROBED));
    } else if (value == probe_value[address]) {
      // The ROM's probe put the power-on byte back: nothing was stored for the program to rely on.
      flags = static_cast<uint8_t>((flags | ACCESS_UNWRITTEN) & ~ACCESS_PROBED);
    } else {
      flags = static_cast<uint8_t>(flags & ~ACCESS_UNWRITTEN);
    }
  }
  if (flags & ACCESS_WATCH_WRITE) watch_hit(WatchSpace::memory, address, value, true);
}

void checked_port(uint16_t port, uint8_t value, bool write) { watch_hit(WatchSpace::port, port, value, write); }

// ---- Running ----

bool run_frame() {
  if (!run_control_armed && !break_requested.load(std::memory_order_relaxed)) {
    one_Z80_frame();
    return true;
  }
  return checking_frame();
}

bool machine_stopped() { return stopped; }
const StopEvent& last_stop() { return stop_event; }
uint32_t stop_count() { return stops; }

void resume() { arm_step({}); }

void step_into() { arm_step({StepKind::into, 0, z80.sp, false}); }

void step_over() {
  const uint16_t pc = z80.pc;
  const uint8_t op = code_byte(pc);
  const uint8_t next = code_byte(static_cast<uint16_t>(pc + 1));
  Step s{StepKind::over, 0, z80.sp, false};
  if (op == 0xCD || (op & 0xC7) == 0xC4) {
    s.call = true;
    s.target = static_cast<uint16_t>(pc + 3);
  } else if ((op & 0xC7) == 0xC7) {
    s.call = true;
    s.target = static_cast<uint16_t>(pc + 1);
  } else if (op == 0x10 && static_cast<int8_t>(next) < 0) {
    s.target = static_cast<uint16_t>(pc + 2);
  } else if (op == 0xED && (next & 0xF4) == 0xB0) {
    s.target = static_cast<uint16_t>(pc + 2);
  } else {
    s.kind = StepKind::into;
  }
  arm_step(s);
}

void step_out() { arm_step({StepKind::out, 0, z80.sp, false}); }

void run_to_address(uint16_t address) { arm_step({StepKind::run_to, address, z80.sp, false}); }

void request_break() { break_requested.store(true); }

void break_at_next_frame() {
  next_frame_break = true;
  update_armed();
}

void cancel_run_requests() {
  step = {};
  next_frame_break = false;
  break_requested = false;
  update_armed();
}

// ---- Breakpoints and watchpoints ----

int add_breakpoint(uint16_t address, uint32_t skip_hits) {
  breakpoints.push_back({next_id, address, skip_hits, 0, true});
  rebuild_breakpoint_flags();
  return next_id++;
}

bool remove_breakpoint(int id) {
  const auto at = find_id(breakpoints, id);
  if (at == breakpoints.end()) return false;
  breakpoints.erase(at);
  rebuild_breakpoint_flags();
  return true;
}

bool remove_breakpoints_at(uint16_t address) {
  const size_t removed = std::erase_if(breakpoints, [address](const Breakpoint& b) { return b.address == address; });
  rebuild_breakpoint_flags();
  return removed > 0;
}

int breakpoint_at(uint16_t address) {
  for (const Breakpoint& b : breakpoints)
    if (b.address == address) return b.id;
  return 0;
}

bool set_breakpoint_enabled(int id, bool enabled) {
  const auto at = find_id(breakpoints, id);
  if (at == breakpoints.end()) return false;
  at->enabled = enabled;
  rebuild_breakpoint_flags();
  return true;
}

void clear_breakpoints() {
  breakpoints.clear();
  rebuild_breakpoint_flags();
}

const std::vector<Breakpoint>& breakpoint_list() { return breakpoints; }

int add_watchpoint(WatchSpace space, uint16_t first, uint16_t last, bool on_read, bool on_write) {
  if (first > last) return 0;
  watchpoints.push_back({next_id, space, first, last, on_read, on_write, true, 0});
  rebuild_watch_flags();
  return next_id++;
}

bool remove_watchpoint(int id) {
  const auto at = find_id(watchpoints, id);
  if (at == watchpoints.end()) return false;
  watchpoints.erase(at);
  rebuild_watch_flags();
  return true;
}

bool set_watchpoint_enabled(int id, bool enabled) {
  const auto at = find_id(watchpoints, id);
  if (at == watchpoints.end()) return false;
  at->enabled = enabled;
  rebuild_watch_flags();
  return true;
}

void clear_watchpoints() {
  watchpoints.clear();
  rebuild_watch_flags();
}

const std::vector<Watchpoint>& watchpoint_list() { return watchpoints; }

// ---- History and observation ----

void set_history_recording(bool on) {
  history_on = on;
  update_armed();
}

size_t history_size() { return history_count; }

HistoryEntry history_entry(size_t age) {
  if (age >= history_count) return {};
  return history[(history_next + HISTORY_LENGTH - 1 - age) % HISTORY_LENGTH];
}

void clear_history() { history_next = history_count = 0; }

void set_instruction_observer(InstructionObserver new_observer) {
  observer = new_observer;
  update_armed();
}

// ---- RAM never written since power-on ----

void set_unwritten_read_check(bool on) {
  if (!on)
    for (uint8_t& f : debug_memory_flags) f = static_cast<uint8_t>(f & ~(ACCESS_UNWRITTEN | ACCESS_PROBED));
  unwritten_check = on;
  update_armed();
}

bool unwritten_read_check() { return unwritten_check; }

void note_power_on() {
  if (!unwritten_check) return;
  for (uint32_t a = FIRST_PROGRAM_ADDRESS; a <= 0xFFFF; ++a)
    debug_memory_flags[a] = static_cast<uint8_t>((debug_memory_flags[a] | ACCESS_UNWRITTEN) & ~ACCESS_PROBED);
}

void mark_ram_written(uint16_t first, uint32_t count) {
  for (uint32_t a = first; a < first + count && a <= 0xFFFF; ++a)
    debug_memory_flags[a] = static_cast<uint8_t>(debug_memory_flags[a] & ~(ACCESS_UNWRITTEN | ACCESS_PROBED));
}

// ---- Memory access for debuggers ----

uint8_t debug_peek(uint16_t address) { return ReadByte(address); }

bool debug_poke(uint16_t address, uint8_t value) {
  if (address < 0x2000 || address > memtop || address >= cart_base) return false;
  if ((address & 0xF800) == 0x3000) note_screen_write(address, value);
  WriteByte(address, value);
  mark_ram_written(address, 1);
  return true;
}
