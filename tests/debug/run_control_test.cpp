// The debugger's run control in the whole machine: the free ROMs start debug_cart.asm, whose
// labels (z80asm's label file) name the places the stops must hit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/frame.h"
#include "core/memory.h"
#include "core/roms.h"
#include "core/save_state.h"
#include "debug/run_control.h"
#include "debug/symbols.h"
#include "loading/cassette.h"
#include "loading/loader.h"
#include "z80/z80.h"

namespace {

SymbolTable labels;

uint16_t at(const std::string& label) {
  const Symbol* found = find_symbol(labels, label);
  if (!found) ADD_FAILURE() << "no label " << label;
  return found ? found->address : 0;
}

class CartridgeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/vantorel-debug-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    Initialise_Emulator();
    ASSERT_EQ(load_symbol_file(labels, DEBUG_CART_LABELS).error, "");
  }
  void TearDown() override { (void)std::system(("rm -rf '" + dir_ + "'").c_str()); }

 private:
  std::string dir_;
};
[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new CartridgeEnvironment);

// Runs the host's frames until the machine stops; false when max_frames frames end first.
bool run_until_stop(int max_frames = 300) {
  for (int frames = 0; frames < max_frames;) {
    if (run_frame()) ++frames;
    else if (machine_stopped()) return true;
  }
  return false;
}

// A machine fresh from power-on, stopped at the first instruction of the cartridge's first pass.
void start_cartridge() {
  clear_breakpoints();
  clear_watchpoints();
  cancel_run_requests();
  if (machine_stopped()) resume();
  while (!run_frame()) resume();  // a frame left at a stop by the last test ends first
  HardReset();
  ASSERT_EQ(do_load_file(DEBUG_CART), 0) << load_error;
  SoftReset();
  run_to_address(at("pass"));
  ASSERT_TRUE(run_until_stop());
  ASSERT_EQ(last_stop().reason, StopReason::run_to);
  ASSERT_EQ(z80.pc, at("pass"));
}

void expect_stop(StopReason reason, const std::string& label) {
  ASSERT_TRUE(run_until_stop()) << "no stop before " << label;
  EXPECT_EQ(last_stop().reason, reason) << label;
  EXPECT_EQ(z80.pc, at(label)) << "stopped at " << std::hex << z80.pc << " instead of " << label;
}

TEST(RunControl, BreakpointsAndSteps) {
  start_cartridge();
  add_breakpoint(at("call_site"));
  resume();
  expect_stop(StopReason::breakpoint, "call_site");
  const uint16_t sp = z80.sp;
  // Over a call two levels deep; into it; out of the inner level, then the outer.
  step_over();
  expect_stop(StopReason::step, "after_call");
  EXPECT_EQ(z80.sp, sp);
  resume();
  expect_stop(StopReason::breakpoint, "call_site");
  step_into();
  expect_stop(StopReason::step, "depth1");
  step_into();
  expect_stop(StopReason::step, "depth1_call");
  step_into();
  expect_stop(StopReason::step, "depth2");
  step_out();
  expect_stop(StopReason::step, "depth1_return");
  step_out();
  expect_stop(StopReason::step, "after_call");
  // A routine that returns past its inline byte; a counted loop; a block copy.
  step_over();
  expect_stop(StopReason::step, "after_inline");
  run_to_address(at("djnz_site"));
  expect_stop(StopReason::run_to, "djnz_site");
  step_over();
  expect_stop(StopReason::step, "after_loop");
  EXPECT_EQ(z80.bc.b.h, 0);
  run_to_address(at("copy"));
  expect_stop(StopReason::run_to, "copy");
  step_over();
  expect_stop(StopReason::step, "after_copy");
  EXPECT_EQ(z80.bc.w, 0);
  EXPECT_EQ(ReadByte(0x3A17), 8);
  // Inside the recursion, stepping over its own call at the second level comes back at that
  // level, not at the deeper or shallower return to the same place.
  const int deep = add_breakpoint(at("recursive_call"), 1);
  resume();
  expect_stop(StopReason::breakpoint, "recursive_call");
  EXPECT_EQ(z80.af.b.h, 1);
  const uint16_t level_sp = z80.sp;
  remove_breakpoint(deep);
  step_over();
  expect_stop(StopReason::step, "recursive_return");
  EXPECT_EQ(z80.sp, level_sp);
  EXPECT_EQ(z80.bc.b.l, 1) << "only the level below returned before";
  step_out();
  expect_stop(StopReason::step, "recursive_return");
  step_out();
  expect_stop(StopReason::step, "after_recurse");
  EXPECT_EQ(z80.bc.b.l, 3);
  // The history ends with the instructions just run, oldest last.
  ASSERT_GE(history_size(), 3u);
  EXPECT_EQ(history_entry(0).pc, at("recursive_return") + 1);
  EXPECT_EQ(history_entry(1).pc, at("recursive_return"));
  const HistoryEntry newer = history_entry(0), older = history_entry(1);
  EXPECT_TRUE(older.frame < newer.frame || older.t_state < newer.t_state);
  // The breakpoint counts every arrival; Break stops at once; the next frame's start stops too.
  EXPECT_GE(breakpoint_list().front().hits, 2u);
  request_break();
  resume();
  ASSERT_TRUE(run_until_stop(1));
  EXPECT_EQ(last_stop().reason, StopReason::break_request);
  EXPECT_EQ(z80.pc, at("after_recurse"));
  clear_breakpoints();
  break_at_next_frame();
  resume();
  ASSERT_TRUE(run_until_stop(2));
  EXPECT_EQ(last_stop().reason, StopReason::frame_start);
  EXPECT_LT(t_state, 30u);
}

TEST(RunControl, WatchpointsOnMemoryAndPorts) {
  start_cartridge();
  const int writes = add_watchpoint(WatchSpace::memory, 0x3A00, 0x3A00, false, true);
  resume();
  expect_stop(StopReason::watchpoint, "load");
  EXPECT_EQ(last_stop().access, AccessKind::memory_write);
  EXPECT_EQ(last_stop().instruction_pc, at("store"));
  EXPECT_EQ(last_stop().address, 0x3A00);
  EXPECT_EQ(last_stop().value, 0x55);
  EXPECT_EQ(last_stop().id, writes);
  remove_watchpoint(writes);
  // Reads, pass after pass. The code's own bytes are fetched, not read: a watch over them does
  // not stop.
  add_watchpoint(WatchSpace::memory, 0x3A00, 0x3A00, true, false);
  add_watchpoint(WatchSpace::memory, at("pass"), at("fresh_done"), true, false);
  for (int pass = 0; pass < 2; ++pass) {
    resume();
    expect_stop(StopReason::watchpoint, "call_site");
    EXPECT_EQ(last_stop().access, AccessKind::memory_read);
    EXPECT_EQ(last_stop().instruction_pc, at("load"));
  }
  clear_watchpoints();
  // Ports by their low byte.
  add_watchpoint(WatchSpace::port, 0xF7, 0xF7, false, true);
  add_watchpoint(WatchSpace::port, 0xF6, 0xF6, true, false);
  resume();
  expect_stop(StopReason::watchpoint, "port_in");
  EXPECT_EQ(last_stop().access, AccessKind::port_write);
  EXPECT_EQ(last_stop().value, 7);
  resume();
  expect_stop(StopReason::watchpoint, "fresh_read");
  EXPECT_EQ(last_stop().access, AccessKind::port_read);
  EXPECT_EQ(last_stop().address & 0xFF, 0xF6);
}

// Runs frames of the cartridge, resuming at every stop; the number of stops.
int run_frames_through_stops(int frames) {
  int stops = 0;
  for (int done = 0; done < frames;) {
    if (run_frame()) ++done;
    else if (machine_stopped()) {
      ++stops;
      resume();
    }
  }
  return stops;
}

TEST(RunControl, StopsLeaveTheFrameWorkOncePerFrame) {
  // The same frames twice from the same state, with the spooler typing meanwhile: once with
  // nothing armed, once stopping at every pass of the cartridge (many times a frame). The
  // machines must end alike, the spooler's cadence and the frame count included.
  start_cartridge();
  resume();
  run_frames_through_stops(1);
  const std::vector<uint8_t> start = encode_state();
  std::string message;
  const auto run = [&](bool stopping) {
    EXPECT_EQ(decode_state(start.data(), start.size(), false, message), state_result::ok) << message;
    aqua_arch_get_spool_file("ABCDEFGH");
    if (stopping) add_breakpoint(at("pass"));
    const uint32_t frames_before = frame_count;
    const int stops = run_frames_through_stops(20);
    EXPECT_EQ(frame_count - frames_before, 20u);
    clear_breakpoints();
    return std::make_pair(encode_state(), stops);
  };
  const auto plain = run(false);
  const auto stopped = run(true);
  EXPECT_EQ(plain.second, 0);
  EXPECT_GT(stopped.second, 20 * 100);
  EXPECT_TRUE(plain.first == stopped.first) << "the state after stops differs";
}

TEST(RunControl, UnwrittenRamIsCaughtAndPowerOnRamCanBeNoise) {
  set_unwritten_read_check(true);
  power_on_ram_random = true;
  start_cartridge();
  // The free ROM booted on noisy RAM without a stop; the cartridge's read of FRESH stops.
  EXPECT_NE(ReadByte(0x3B00) | ReadByte(0x3B01) | ReadByte(0x3B02) | ReadByte(0x3B03), 0);
  resume();
  expect_stop(StopReason::unwritten_read, "fresh_done");
  // The instruction's own opcode fetch came first; the stop names the read of FRESH.
  EXPECT_EQ(last_stop().instruction_pc, at("fresh_read"));
  EXPECT_EQ(last_stop().address, 0x3B00);
  EXPECT_EQ(last_stop().value, ReadByte(0x3B00));
  // Each byte stops once: the next pass runs on.
  add_breakpoint(at("pass"));
  resume();
  expect_stop(StopReason::breakpoint, "pass");
  resume();
  expect_stop(StopReason::breakpoint, "pass");
  set_unwritten_read_check(false);
  power_on_ram_random = false;
}

TEST(RunControl, StatesKeepTheDebuggingOut) {
  start_cartridge();
  const std::vector<uint8_t> plain = encode_state();
  add_breakpoint(at("store"));
  add_watchpoint(WatchSpace::memory, 0x3A00, 0x3AFF, true, true);
  load_symbol_text(debug_symbols, "TABLE EQU $3A00", "symbols");
  EXPECT_TRUE(encode_state() == plain);
  // Loading a state while stopped stays stopped, at the state's PC, with the lists kept.
  std::string message;
  clear_watchpoints();
  resume();
  expect_stop(StopReason::breakpoint, "store");
  ASSERT_EQ(decode_state(plain.data(), plain.size(), false, message), state_result::ok) << message;
  EXPECT_TRUE(machine_stopped());
  EXPECT_EQ(z80.pc, at("pass"));
  EXPECT_FALSE(run_frame());
  EXPECT_EQ(z80.pc, at("pass"));
  EXPECT_EQ(breakpoint_list().size(), 1u);
  resume();
  expect_stop(StopReason::breakpoint, "store");
}

}  // namespace
