// Benchmarks that cannot live in this program (another build of the CPU, the SDL audio device)
// are programs of their own installed beside it; their name=value lines are passed on as they come.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench.h"

extern "C" char** environ;

// Resolved through /proc so that neither the working directory nor PATH decides which
// side-by-side program runs.
std::string own_directory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  const std::string exe(path, static_cast<std::size_t>(length));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

CompanionResult run_companion(const char* name) {
  const std::string dir = own_directory();
  if (dir.empty()) {
    std::fprintf(stderr, "vantorel-bench: %s not found\n", name);
    return CompanionResult::missing;
  }
  return run_program(dir + "/" + name, {});
}

CompanionResult run_program(const std::string& program, const std::vector<std::string>& args) {
  if (access(program.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "vantorel-bench: %s not found\n", program.c_str());
    return CompanionResult::missing;
  }
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return CompanionResult::missing;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
  std::vector<char*> child_argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) child_argv.push_back(const_cast<char*>(arg.c_str()));
  child_argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, child_argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  if (spawned != 0) {
    close(pipe_ends[0]);
    std::fprintf(stderr, "vantorel-bench: cannot start %s: %s\n", program.c_str(), std::strerror(spawned));
    return CompanionResult::missing;
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
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? CompanionResult::finished : CompanionResult::failed;
}
