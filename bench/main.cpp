// Runs every registered benchmark, or those whose names are given on the command line.
#include <cstdio>
#include <cstring>

#include "bench.h"

std::vector<Benchmark>& benchmarks() {
  static std::vector<Benchmark> all;
  return all;
}

int main(int argc, char** argv) {
  for (const Benchmark& b : benchmarks()) {
    bool wanted = argc < 2;
    for (int i = 1; i < argc; ++i) wanted |= b.name == argv[i];
    if (wanted) {
      b.run();
      std::fflush(stdout);
    }
  }
  return 0;
}
