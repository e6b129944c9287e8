// The CPU twice. First on the machine's memory map running a mix of loads, ALU work, CB and
// index instructions, a block copy, the stack and calls, with pacing and sound accounting off;
// that figure includes the per-instruction raster step of the common end, which the machine
// build always runs. Then the CPU alone on a flat 64K bus beside z80ex: that build has the
// same symbol names as the machine's CPU, so it is a program of its own, vantorel-bench-cpu,
// installed beside this one; its name=value lines are passed on as they come.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

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

extern "C" char** environ;

// The directory this program was started from, resolved through /proc so that neither the
// working directory nor PATH decides which side-by-side program runs.
std::string own_directory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  const std::string exe(path, static_cast<std::size_t>(length));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

void run_side_by_side_bench() {
  const std::string dir = own_directory();
  const std::string program = dir + "/vantorel-bench-cpu";
  if (dir.empty() || access(program.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "vantorel-bench: %s not found; no comparison with z80ex\n", program.c_str());
    return;
  }
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
  char* const child_argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, child_argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  if (spawned != 0) {
    close(pipe_ends[0]);
    std::fprintf(stderr, "vantorel-bench: cannot start %s: %s\n", program.c_str(), std::strerror(spawned));
    return;
  }
  // Only whole name=value lines are passed on, so a child that dies half-way leaves no fragment.
  std::string pending;
  char buffer[512];
  for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      const std::string line = pending.substr(0, end);
      if (line.find('=') != std::string::npos) std::printf("%s\n", line.c_str());
    }
  }
  close(pipe_ends[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::fprintf(stderr, "vantorel-bench: %s did not finish cleanly (the two CPUs may have disagreed)\n",
                 program.c_str());
}

void run_all_cpu_benches() {
  run_cpu_bench();
  std::fflush(stdout);
  run_side_by_side_bench();
}

BenchmarkRegistrar cpu_bench("cpu", run_all_cpu_benches);

}  // namespace
