#!/bin/sh
# Runs the CH376 fuzz harness for a bounded time over a sandbox, then checks that nothing
# outside the sandbox's usb directory was read into existence, changed or removed.
#   tests/ch376/run_fuzz.sh <fuzz build directory> [seconds]
set -eu
build=$1
seconds=${2:-60}
arena=$(cd "$build" && pwd)/fuzz-arena
rm -rf "$arena"
mkdir -p "$arena/prog/usb" "$arena/outside/deep" "$arena/corpus"
printf 'canary' > "$arena/outside/canary.txt"
printf 'deep' > "$arena/outside/deep/d.txt"
printf 'top' > "$arena/top.txt"
# A few seeds: mount, a name, open, read; a listing; a create and write.
printf '\001\000\000\057\001/\001A\001.\001D\001A\001T\001\000\000\062\000\072\001\377\001\000\000\047\003\000\003\000' > "$arena/corpus/open-read"
printf '\001\000\000\057\001/\001*\001\000\000\062\000\047\003\000\003\000\000\063' > "$arena/corpus/list"
printf '\001\000\000\057\001N\001.\001D\001\000\000\064\000\074\001\005\001\000\000\055\003\000\001x\000\075' > "$arena/corpus/create-write"
printf '\001\000\000\057\001.\001.\001/\001o\001\000\000\062\000\064\000\065\000\100' > "$arena/corpus/escape"
# Upper-case names of lower- and mixed-case host entries: a directory step, CD, a link out.
printf '\001\000\000\057\001/\001M\001I\001X\001E\001D\001.\001B\001A\001S\001\000\000\062\000\065' > "$arena/corpus/case-open-erase"
printf '\001\000\000\057\001/\001G\001A\001M\001E\001S\001\000\000\062\000\057\001O\001U\001T\001\000\000\062\000\057\001P\001A\001C\001R\001O\001M\001\000\000\062' > "$arena/corpus/case-cd"

snapshot() {
  # Everything but the served directory: names, types, sizes, modification times, contents.
  (cd "$arena" && find . -path ./prog/usb -prune -o -path ./corpus -prune -o -print0 | sort -z |
     xargs -0 stat -c '%n %F %s %Y %a' && find outside top.txt -type f -print0 | sort -z | xargs -0 md5sum)
}
before=$(snapshot)
VANTOREL_FUZZ_DIR="$arena" "$build/tests/ch376/fuzz_ch376" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=512 -artifact_prefix="$build/" "$arena/corpus" 2>"$build/fuzz_ch376.log" || { tail -40 "$build/fuzz_ch376.log"; exit 1; }
tail -3 "$build/fuzz_ch376.log"
after=$(snapshot)
if [ "$before" != "$after" ]; then
  echo "fuzz_ch376: the sandbox's surroundings changed:"
  printf '%s\n' "$before" > "$build/fuzz-before.txt"
  printf '%s\n' "$after" > "$build/fuzz-after.txt"
  diff "$build/fuzz-before.txt" "$build/fuzz-after.txt" || true
  exit 1
fi
echo "fuzz_ch376: nothing outside the usb directory changed"
