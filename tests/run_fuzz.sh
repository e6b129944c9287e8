#!/bin/sh
# Runs the file-reader harnesses for a bounded time each, from the seeds in the repository
# (copied, since libFuzzer adds what it finds to its first corpus directory), and reports each
# one's rate and the largest input it tried.
#   tests/run_fuzz.sh <fuzz build directory> [seconds]
set -eu
build=$(cd "$1" && pwd)
seconds=${2:-60}
src=$(cd "$(dirname "$0")/.." && pwd)

# Each input gets a time limit: a harness that stalls on one fails the run.
run() {
  name=$1 seeds=$2 max_len=$3 timeout=${4:-20}
  corpus="$build/corpus-$name"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp "$seeds"/* "$corpus"/
  log="$build/$name.log"
  program=$(find "$build/tests" -name "$name" -type f -perm -u+x | head -n 1)
  TMPDIR=${TMPDIR:-/dev/shm} "$program" -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/" "$corpus" 2>"$log" \
    || { tail -40 "$log"; exit 1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  largest=$(find "$corpus" -type f -printf '%s\n' | sort -n | tail -n 1)
  echo "$name: $runs runs, $rate per second, largest input in the corpus $largest bytes"
}

run fuzz_readers "$src/tests/loading/corpus" 20000
run fuzz_loading "$src/tests/loading/corpus" 20000
run fuzz_config "$src/tests/core/corpus" 4096
# A state runs a frame after it loads: some milliseconds, so five seconds is a stall.
run fuzz_state "$src/tests/core/corpus-state" 20000 5
# A packet that lets the machine run costs a frame.
run fuzz_gdb "$src/tests/debug/corpus-gdb" 8192 5
