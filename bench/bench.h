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
