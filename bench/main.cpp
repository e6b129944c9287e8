// Runs every registered benchmark, or those whose names are given on the command line; arguments
// --name=value are options for the benchmarks.
#include <cstdio>
#include <cstring>

#include "bench.h"

std::vector<Benchmark>& benchmarks() {
  static std::vector<Benchmark> all;
  return all;
}

std::vector<std::pair<std::string, std::string>>& bench_options() {
  static std::vector<std::pair<std::string, std::string>> options;
  return options;
}

int main(int argc, char** argv) {
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const char* equals = std::strchr(argv[i], '=');
    if (std::strncmp(argv[i], "--", 2) == 0 && equals)
      bench_options().emplace_back(std::string(argv[i] + 2, static_cast<size_t>(equals - argv[i] - 2)), equals + 1);
    else
      names.emplace_back(argv[i]);
  }
  for (const Benchmark& b : benchmarks()) {
    bool wanted = names.empty();
    for (const std::string& name : names) wanted |= b.name == name;
    if (wanted) {
      b.run();
      std::fflush(stdout);
    }
  }
  return 0;
}
