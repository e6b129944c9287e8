// The desktop's sound path against a real-time audio device: a program of its own,
// vantorel-bench-audio, since it links SDL's audio device where this one has the headless host.
#include <cstdio>

#include "bench.h"

namespace {

void run_audio_bench() {
  if (run_companion("vantorel-bench-audio") == CompanionResult::failed)
    std::fprintf(stderr, "vantorel-bench: vantorel-bench-audio did not finish cleanly\n");
}

BenchmarkRegistrar audio_bench("audio", run_audio_bench);

}  // namespace
