// vantorel-bench: throughput figures, printed as name=value lines, never asserted.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct Benchmark {
  std::string name;
  std::function<void()> run;   // prints its own name=value lines
};

std::vector<Benchmark>& benchmarks();
// The --name=value arguments of the command line, in order (for example --program=PATH).
std::vector<std::pair<std::string, std::string>>& bench_options();

struct BenchmarkRegistrar {
  BenchmarkRegistrar(std::string name, std::function<void()> run) {
    benchmarks().push_back({std::move(name), std::move(run)});
  }
};

enum class CompanionResult { finished, failed, missing };
// Runs the program `name` from this program's directory, passing on its name=value lines.
// missing: not there or not started (said on standard error).
CompanionResult run_companion(const char* name);
// The same for a program given by its path, with arguments.
CompanionResult run_program(const std::string& program, const std::vector<std::string>& args);
// The directory this program was started from (empty when unknown).
std::string own_directory();
