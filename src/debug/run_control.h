// Run control for the debugger: breakpoints, watchpoints, steps, Break, the history of the last
// instructions and the check for reads of RAM never written since power-on.
//
// The frame loop (one_Z80_frame) runs its plain, unchecked loop while nothing here is armed.
// Once anything is (a breakpoint, a watchpoint, a step, run-to, a Break request, the next-frame
// break, the unwritten-RAM check, history recording, an instruction observer), frames run through
// a second build of the CPU whose bus checks every access, and the loop looks at the stops before
// each instruction. A stop leaves the machine in the middle of its frame: the host keeps
// processing events (the window shows the picture composed so far), and the next run goes on from
// there. Whatever the stops, the frame's start-work (the joystick poll) and end-work (spooler
// cadence, tape recorder idle count, repaint request, frame count, T-state overshoot carried)
// happen exactly once per frame.
//
// Everything here is called from the machine's thread, between frames or at a stop, except
// request_break(), which any thread may call.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

enum class StopReason : uint8_t {
  none,            // not stopped since the last resume
  breakpoint,      // PC arrived at an enabled breakpoint whose skipped hits were used up
  watchpoint,      // an instruction touched a watched memory range or port (it has completed)
  step,            // step_into, step_over or step_out finished
  run_to,          // PC arrived at the address given to run_to_address
  break_request,   // request_break(): the Break button, GDB's interrupt byte
  frame_start,     // break_at_next_frame(): a frame is about to start
  unwritten_read,  // an instruction read RAM never written since power-on (the check is on)
};

enum class AccessKind : uint8_t { none, memory_read, memory_write, port_read, port_write };

struct StopEvent {
  StopReason reason = StopReason::none;
  uint16_t pc = 0;              // where the machine stands: the next instruction to run
  uint16_t instruction_pc = 0;  // start of the instruction that made the access (watchpoint, unwritten read)
  AccessKind access = AccessKind::none;
  uint16_t address = 0;         // the memory address or port of the access; a breakpoint's address
  uint8_t value = 0;            // the byte read or written
  int id = 0;                   // the breakpoint or watchpoint that stopped; 0 for the other reasons
  uint32_t t_state = 0;         // t_state (in the frame) at the stop
};

struct Breakpoint {
  int id;               // > 0, unique for the session
  uint16_t address;
  uint32_t skip_hits;   // hits that pass without stopping before it stops ("only after N hits")
  uint32_t hits;        // times PC arrived here while enabled, the skipped ones included
  bool enabled;
};

// A port is compared by its low byte, which alone selects the device on this machine (the high
// byte of port 0xFF's address carries the keyboard's column mask): port ranges lie in 0..0xFF.
enum class WatchSpace : uint8_t { memory, port };

struct Watchpoint {
  int id;               // > 0, unique for the session (shared numbering with the breakpoints)
  WatchSpace space;
  uint16_t first, last; // inclusive range
  bool on_read, on_write;
  bool enabled;
  uint32_t hits;        // accesses it caught (the first of an instruction is the one a stop reports)
};

// The instruction history: the last HISTORY_LENGTH instructions run through the checking loop.
constexpr size_t HISTORY_LENGTH = 1000;
struct HistoryEntry {
  uint16_t pc;       // start of the instruction
  uint32_t t_state;  // t_state in its frame when it started
  uint32_t frame;    // frames completed before it (frame_counter)
};

// What an instruction observer is told after each instruction (the registers are the CPU's).
struct ExecutedInstruction {
  uint16_t pc;        // where it started
  uint32_t t_state;   // t_state in the frame when it started
  uint8_t bytes[4];   // the four bytes at pc as fetched, before it ran
};
using InstructionObserver = void (*)(const ExecutedInstruction&);

extern std::atomic<bool> break_requested;  // request_break() was called; the loop stops at its next look
extern bool run_control_armed;             // something above is armed: frames run the checking loop
extern uint32_t frame_counter;             // frames completed since start-up (never reset by the status bar)

// ---- Running ----

// Runs the machine from where it stands to the end of the current frame or to the first stop.
// True when the frame ended (its end-work done), false at a stop or when already stopped (then
// nothing runs). one_Z80_frame() is this, for callers that do not care which.
bool run_frame();
bool machine_stopped();
// The last stop (reason none once resumed).
const StopEvent& last_stop();
// Rises by one at every stop, so that a poller (the GDB stub, the debugger window) sees a new one.
uint32_t stop_count();

// Each of these leaves the stopped state (if stopped) and arms its condition; the machine then
// runs with the host's next frames. Going on from a stop executes the instruction at PC without
// looking at a breakpoint or run-to address there. Any stop cancels a step or run-to in progress.
// A breakpoint or run-to address is reached when PC arrives at it: an instruction that repeats
// itself in place (LDIR and its kin, HALT, JR to itself) reaches it once, not at every repeat.
void resume();
// One instruction (a prefix the CPU drops counts as one).
void step_into();
// CALL, CALL cc, RST, DJNZ with a backward jump, and the repeating block instructions (LDIR, LDDR,
// CPIR, CPDR, INIR, INDR, OTIR, OTDR) are stepped over: the machine runs until PC arrives at the
// next instruction's address with SP at or above its value before the step, or, for a call, until
// a RET/RETI/RETN leaves SP at or above that value (a routine that returns past inline data, as
// the ROM's RST 8 does, stops where it returned). Recursion into the same call is run through,
// since its returns leave SP lower. Anything else is a step into.
void step_over();
// Runs until a RET, RET cc (taken), RETI or RETN leaves SP above its value when the step began:
// the routine running at the start returned to its caller. Returns of nested calls leave SP at
// or below that value and do not stop.
void step_out();
// Runs until PC arrives at address (an instruction boundary); breakpoints and watchpoints on the
// way stop it first.
void run_to_address(uint16_t address);
// Asks the running machine to stop at the next instruction boundary the loop looks at: at once in
// the checking loop, else at the start of the next frame. Safe from any thread.
void request_break();
// Stops when the next frame is about to start (after the current frame's end-work).
void break_at_next_frame();
// Drops every armed step, run-to, next-frame break and pending Break request (not the stopped
// state itself, nor breakpoints and watchpoints).
void cancel_run_requests();

// ---- Breakpoints and watchpoints ----
// Ids are never reused in a session; functions taking an id return false when it is unknown.
// None of this is part of a save state: loading one leaves the lists as they are.

int add_breakpoint(uint16_t address, uint32_t skip_hits = 0);
bool remove_breakpoint(int id);
// Removes every breakpoint at address; true if there was one.
bool remove_breakpoints_at(uint16_t address);
// The id of the first breakpoint at address, 0 when none.
int breakpoint_at(uint16_t address);
bool set_breakpoint_enabled(int id, bool enabled);
void clear_breakpoints();
const std::vector<Breakpoint>& breakpoint_list();

// first > last is refused (0). For WatchSpace::port only the low bytes 0..0xFF are meaningful.
int add_watchpoint(WatchSpace space, uint16_t first, uint16_t last, bool on_read, bool on_write);
bool remove_watchpoint(int id);
bool set_watchpoint_enabled(int id, bool enabled);
void clear_watchpoints();
const std::vector<Watchpoint>& watchpoint_list();

// ---- History and observation ----

// Keeps the checking loop running with nothing else armed, so that the history is recorded (the
// debugger window turns it on while open). Costs speed while on.
void set_history_recording(bool on);
// Instructions in the history (at most HISTORY_LENGTH).
size_t history_size();
// age 0 is the most recent instruction, history_size() - 1 the oldest kept.
HistoryEntry history_entry(size_t age);
void clear_history();
// Called after every instruction while set (the runner's --trace); null removes it.
void set_instruction_observer(InstructionObserver observer);

// ---- RAM never written since power-on ----
// RAM here is what the machine has from 0x3000 up to the RAM top (screen, colour, system RAM and
// the expansion; not a cartridge). Reads by code running below 0x3000 (the system ROM and the
// extension ROM, whose memory-size probes read before they write) are not checked. Each byte stops
// the machine once: it counts as written after its stop.

// Turns the check on or off. Switched on, it applies fully from the next power-on (Hard Reset,
// a model or series switch, the Micro Expander switched): until then every byte counts as written.
void set_unwritten_read_check(bool on);
bool unwritten_read_check();
// Power-on: every RAM byte becomes unwritten (called by the memory map's rebuild).
void note_power_on();
// Bytes the machine itself put into RAM outside the CPU (a notice of the ROM loader, a state
// loaded) count as written.
void mark_ram_written(uint16_t first, uint32_t count);

// ---- Memory access for debuggers ----

// The byte the CPU would read at address (absent memory reads 0), with no side effect.
uint8_t debug_peek(uint16_t address);
// Stores as a CPU write would (ROM, absent memory and a cartridge keep their bytes); the picture
// follows a screen write. True when the byte was stored.
bool debug_poke(uint16_t address, uint8_t value);
