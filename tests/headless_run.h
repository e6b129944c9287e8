// Runs the vantorel-headless program the way a user or a script does, with no shell in between
// (texts pass through untouched), and collects its exit status and output.
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

struct RunResult {
  int status = -1;
  std::string out, err;
};

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Started in directory cwd, in the background (-1 when it could not be); standard output and
// error go through the files .stdout and .stderr there.
inline pid_t start_headless_in(const std::string& cwd, std::vector<std::string> args) {
  const std::string program = std::string(VANTOREL_BINARY_DIR) + "/vantorel-headless";
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, (cwd + "/.stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (cwd + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Waits for the end of a run started so, and collects its exit status and output.
inline RunResult finish_headless(pid_t pid, const std::string& cwd) {
  RunResult r;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = slurp(cwd + "/.stdout");
  r.err = slurp(cwd + "/.stderr");
  return r;
}

inline RunResult run_headless_in(const std::string& cwd, std::vector<std::string> args) {
  return finish_headless(start_headless_in(cwd, std::move(args)), cwd);
}
