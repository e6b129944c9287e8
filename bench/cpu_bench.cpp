// The CPU twice. First on the machine's memory map running a mix of loads, ALU work, CB and
// index instructions, a block copy, the stack and calls, with pacing and sound accounting off;
// that figure includes the per-instruction raster step of the common end, which the machine
// build always runs. Then the CPU alone on a flat 64K bus beside z80ex: that build has the
// same symbol names as the machine's CPU, so it is a program of its own, vantorel-bench-cpu,
// installed beside this one; its name=value lines are passed on as they come.
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "bench.h"
#include "core/frame.h"
#include "core/memory.h"
#include "sound/audio_out.h"
#include "z80/z80.h"

namespace {

const uint8_t instruction_mix[] = {
    0x21, 0x00, 0x80,        // 4000 LD HL,0x8000
    0x11, 0x00, 0x90,        //      LD DE,0x9000
    0x01, 0x40, 0x00,        //      LD BC,0x0040
    0xED, 0xB0,              //      LDIR
    0x06, 0x64,              //      LD B,100
    0xDD, 0x21, 0x00, 0xA0,  //      LD IX,0xA000
    0x80,                    // 4011 ADD A,B
    0xA9,                    //      XOR C
    0x23,                    //      INC HL
    0x77,                    //      LD (HL),A
    0xCB, 0x06,              //      RLC (HL)
    0xCB, 0x5E,              //      BIT 3,(HL)
    0xDD, 0x7E, 0x05,        //      LD A,(IX+5)
    0xDD, 0x09,              //      ADD IX,BC
    0xEB,                    //      EX DE,HL
    0xE5,                    //      PUSH HL
    0xD1,                    //      POP DE
    0xEB,                    //      EX DE,HL
    0x10, 0xED,              //      DJNZ 0x4011
    0xCD, 0x2A, 0x40,        //      CALL 0x402A
    0xC3, 0x00, 0x40,        //      JP 0x4000
    0x27,                    // 402A DAA
    0x2F,                    //      CPL
    0x37,                    //      SCF
    0xC9,                    //      RET
};

void run_cpu_bench() {
  memory_allocate();
  ram_size = 4;
  memtop = max_memtop[ram_size];
  Rebuild_Mem();
  set_timing(0);
  Reset_Z80();
  for (std::size_t k = 0; k < sizeof instruction_mix; ++k) WriteByte(static_cast<uint16_t>(0x4000 + k), instruction_mix[k]);
  z80.pc = 0x4000;
  z80.sp = 0xF000;
  speed = 1;
  play_audio = 0;

  const int frames = 3000;
  uint64_t instructions = 0, tstates = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int f = 0; f < frames; ++f) {
    const uint32_t begin = t_state;
    while (t_state < frame_length) {
      One_Z80_Instruction();
      ++instructions;
    }
    tstates += t_state - begin;
    t_state -= frame_length;
    screen_t_state -= frame_length;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("cpu_instructions=%llu\n", static_cast<unsigned long long>(instructions));
  std::printf("cpu_realtime_factor=%.1f\n", static_cast<double>(tstates) / wall / Z80_CLOCK_HZ);
  std::printf("cpu_mips=%.1f\n", static_cast<double>(instructions) / wall / 1e6);
  memory_free();
}

void run_side_by_side_bench() {
  if (run_companion("vantorel-bench-cpu") == CompanionResult::failed)
    std::fprintf(stderr, "vantorel-bench: vantorel-bench-cpu did not finish cleanly (the two CPUs may have disagreed)\n");
}

void run_all_cpu_benches() {
  run_cpu_bench();
  std::fflush(stdout);
  run_side_by_side_bench();
}

BenchmarkRegistrar cpu_bench("cpu", run_all_cpu_benches);

}  // namespace
