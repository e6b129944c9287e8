// vantorel-bench: throughput figures, printed as name=value lines, never asserted.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct Benchmark {
  std::string name;
  std::function<void()> run;   // prints its own name=value lines
};

std::vector<Benchmark>& benchmarks();

struct BenchmarkRegistrar {
  BenchmarkRegistrar(std::string name, std::function<void()> run) {
    benchmarks().push_back({std::move(name), std::move(run)});
  }
};

enum class CompanionResult { finished, failed, missing };
// Runs the program `name` from this program's directory, passing on its name=value lines.
// missing: not there or not started (said on standard error).
CompanionResult run_companion(const char* name);
