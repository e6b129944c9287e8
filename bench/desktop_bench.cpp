// What real time costs on the desktop: the built `vantorel` runs in a virtual X server (Xvfb)
// at 200 % and PAL, with an audio device (SDL's disk driver), from a scratch program directory,
// and the CPU time the whole process takes over the measured seconds is read from /proc, as a
// percentage of one core: at the free ROM's still prompt, and with a system ROM that changes
// 320 cells of the screen every frame (firmware/tests/animated_screen.asm). The frame rate the
// program reported meanwhile shows it kept time; its threads' sleeps a second show how often
// it woke (SDL's disk driver runs a little slow, and a full sound FIFO waits in 1 ms steps).
//   vantorel-bench desktop [--program=PATH ...] [--seconds=N]
// Each --program is measured in turn (by default the vantorel beside this program), after the
// machine benchmark of the vantorel-bench beside it, so builds before and after a change are
// compared in one run.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"

extern "C" char** environ;
extern const unsigned char firmware_sysrom[];
extern const unsigned firmware_sysrom_size;
extern const unsigned char firmware_charrom[];
extern const unsigned firmware_charrom_size;
extern const unsigned char firmware_animated_screen[];
extern const unsigned firmware_animated_screen_size;

namespace {

using steady = std::chrono::steady_clock;

constexpr int START_UP_SECONDS = 3;  // window up, first frames drawn, audio device settled

struct Child {
  pid_t pid = 0;
  int output = -1;  // the read end of its standard error, or -1
};

// Starts program with args and the environment plus extra; its standard error goes to a pipe
// when wanted, else with its standard output to /dev/null.
Child spawn(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& extra,
            bool keep_stderr) {
  Child child;
  int pipe_ends[2] = {-1, -1};
  if (keep_stderr && pipe(pipe_ends) != 0) return child;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (keep_stderr) {
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const std::string& x : extra) replaced |= entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
    if (!replaced) env_text.push_back(entry);
  }
  env_text.insert(env_text.end(), extra.begin(), extra.end());
  std::vector<char*> env;
  for (std::string& entry : env_text) env.push_back(entry.data());
  env.push_back(nullptr);
  if (posix_spawnp(&child.pid, program.c_str(), &actions, nullptr, argv.data(), env.data()) != 0) child.pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  if (keep_stderr) {
    close(pipe_ends[1]);
    if (child.pid)
      child.output = pipe_ends[0];
    else
      close(pipe_ends[0]);
  }
  return child;
}

// Ends a child that was asked to quit, waiting a few seconds before it is made to.
void stop(Child& child) {
  if (!child.pid) return;
  kill(child.pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(child.pid, nullptr, WNOHANG) == child.pid) {
      child.pid = 0;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (child.pid) {
    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    child.pid = 0;
  }
  if (child.output >= 0) close(child.output);
  child.output = -1;
}

// User plus system time of the whole process (every thread), in seconds; negative when gone.
double cpu_seconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The name in parentheses may hold spaces: the fields are counted from its closing one.
  const size_t name_end = text.rfind(')');
  if (name_end == std::string::npos) return -1;
  std::istringstream fields(text.substr(name_end + 1));
  std::string state;
  fields >> state;  // field 3
  unsigned long long value = 0, ticks = 0;
  for (int field = 4; field <= 15 && fields >> value; ++field)
    if (field >= 14) ticks += value;  // utime, stime
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Starts a virtual X server on a free display; its number, or -1.
int start_x_server(Child& server) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  server = spawn("Xvfb", {"-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                 {}, false);
  close(ready[1]);
  char text[16] = {};
  size_t got = 0;
  pollfd wait_for{ready[0], POLLIN, 0};
  while (server.pid && got < sizeof text - 1 && poll(&wait_for, 1, 10000) > 0) {
    const ssize_t n = read(ready[0], text + got, sizeof text - 1 - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (std::memchr(text, '\n', got)) break;
  }
  close(ready[0]);
  return got ? std::atoi(text) : -1;
}

void write_file(const std::filesystem::path& path, const unsigned char* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Times any thread of the process went to sleep of its own accord (a wait for the clock, the
// audio device or the X server): each one costs a wake-up as well.
uint64_t sleeps(pid_t pid) {
  uint64_t total = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);)
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::strtoull(line.c_str() + 24, nullptr, 10);
  }
  return total;
}

struct Measured {
  double core_percent = -1;
  double frames_per_second = 0;
  double sleeps_per_second = 0;
};

// Runs program in a fresh directory with rom as its system ROM for the seconds given, after it
// has started, on display; its CPU time meanwhile and the frame rates it logged.
Measured measure(const std::string& program, int display, const unsigned char* rom, unsigned rom_size, int seconds) {
  Measured result;
  std::string dir_text = (std::filesystem::temp_directory_path() / "vantorel-bench-desktop-XXXXXX").string();
  if (!mkdtemp(dir_text.data())) return result;
  const std::filesystem::path dir = dir_text;
  std::filesystem::create_directory(dir / "roms");
  write_file(dir / "roms" / "aquariusS2.rom", rom, rom_size);
  write_file(dir / "roms" / "charS2.rom", firmware_charrom, firmware_charrom_size);
  const std::string settings = "opt_draw_size=2\nopt_timing_type=1\n";
  write_file(dir / "vantorel.ini", reinterpret_cast<const unsigned char*>(settings.data()), settings.size());

  Child desktop = spawn(program, {"--dir", dir.string()},
                        {"DISPLAY=:" + std::to_string(display), "GDK_BACKEND=x11", "SDL_AUDIODRIVER=disk",
                         "SDL_DISKAUDIOFILE=/dev/null", "NO_AT_BRIDGE=1", "GSETTINGS_BACKEND=memory",
                         "VANTOREL_LOG_FPS=1"},
                        true);
  if (desktop.pid) {
    // The frame rate lines come once a second; only those of the measured seconds count.
    std::string log;
    auto read_log_until = [&](steady::time_point until) {
      pollfd readable{desktop.output, POLLIN, 0};
      for (auto now = steady::now(); now < until; now = steady::now()) {
        const int wait_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count());
        if (poll(&readable, 1, wait_ms) <= 0) continue;
        char buffer[512];
        const ssize_t n = read(desktop.output, buffer, sizeof buffer);
        if (n <= 0) {
          std::this_thread::sleep_until(until);
          break;
        }
        log.append(buffer, static_cast<size_t>(n));
      }
    };
    read_log_until(steady::now() + std::chrono::seconds(START_UP_SECONDS));
    log.clear();
    const auto start = steady::now();
    const double cpu_start = cpu_seconds(desktop.pid);
    const uint64_t sleeps_start = sleeps(desktop.pid);
    read_log_until(start + std::chrono::seconds(seconds));
    const double cpu_end = cpu_seconds(desktop.pid);
    const uint64_t sleeps_end = sleeps(desktop.pid);
    const double wall = std::chrono::duration<double>(steady::now() - start).count();
    if (cpu_start >= 0 && cpu_end >= 0) result.core_percent = 100.0 * (cpu_end - cpu_start) / wall;
    result.sleeps_per_second = static_cast<double>(sleeps_end - sleeps_start) / wall;
    int rates = 0, frames = 0;
    for (size_t at = log.find("FPS: "); at != std::string::npos; at = log.find("FPS: ", at + 1)) {
      frames += std::atoi(log.c_str() + at + 5);
      ++rates;
    }
    result.frames_per_second = rates ? static_cast<double>(frames) / rates : 0;
  }
  stop(desktop);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return result;
}

void run_desktop_bench() {
  std::vector<std::string> programs;
  int seconds = 30;
  for (const auto& [name, value] : bench_options()) {
    if (name == "program") programs.push_back(value);
    if (name == "seconds") seconds = std::max(1, std::atoi(value.c_str()));
  }
  if (programs.empty()) programs.push_back(own_directory() + "/vantorel");
  Child server;
  const int display = start_x_server(server);
  if (display < 0) {
    std::fprintf(stderr, "vantorel-bench: no virtual X server (Xvfb) could be started\n");
    stop(server);
    return;
  }
  for (const std::string& program : programs) {
    if (access(program.c_str(), X_OK) != 0) {
      std::fprintf(stderr, "vantorel-bench: %s not found\n", program.c_str());
      continue;
    }
    std::printf("desktop_program=%s\n", program.c_str());
    std::fflush(stdout);
    const std::string dir = program.substr(0, program.rfind('/') + 1);
    if (run_program(dir + "vantorel-bench", {"machine"}) == CompanionResult::missing)
      std::fprintf(stderr, "vantorel-bench: no vantorel-bench beside %s\n", program.c_str());
    const Measured still = measure(program, display, firmware_sysrom, firmware_sysrom_size, seconds);
    const Measured animated =
        measure(program, display, firmware_animated_screen, firmware_animated_screen_size, seconds);
    std::printf("desktop_seconds=%d\n", seconds);
    std::printf("desktop_still_core_percent=%.2f\n", still.core_percent);
    std::printf("desktop_still_frames_per_second=%.1f\n", still.frames_per_second);
    std::printf("desktop_still_sleeps_per_second=%.0f\n", still.sleeps_per_second);
    std::printf("desktop_animated_core_percent=%.2f\n", animated.core_percent);
    std::printf("desktop_animated_frames_per_second=%.1f\n", animated.frames_per_second);
    std::printf("desktop_animated_sleeps_per_second=%.0f\n", animated.sleeps_per_second);
    std::fflush(stdout);
  }
  stop(server);
}

BenchmarkRegistrar desktop_bench("desktop", run_desktop_bench);

}  // namespace
