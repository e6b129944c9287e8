#!/bin/bash
# The desktop program as a user meets it, in an X server of its own (run under xvfb-run):
# started in an empty directory (no roms/, so the error box comes up and is closed with the
# keyboard), looked at (the emulated picture is on screen in the machine's colours), typed to
# (the key reaches the machine and changes its screen), given a text file dragged with the mouse
# from another program (a real XDND drop: the file's text is typed into the machine), moved, and
# closed through the window's close request, after which vantorel.ini holds fourteen lines and
# the window's last position.
# Usage: end_to_end.sh <vantorel> <close_window> <drag_source>
set -u
program=$1
close_window=$2
drag_source=$3
work=$(mktemp -d)
log=$work/stdout.txt
pid=
source_pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

cd "$work" || exit 1
"$program" >"$log" 2>"$work/stderr.txt" &
pid=$!

# The main window appears first; the error box about the missing ROMs follows at once.
main_window=
for _ in $(seq 1 300); do
  main_window=$(xdotool search --onlyvisible --name '^Vantorel v1\.02$' 2>/dev/null | head -1)
  [ -n "$main_window" ] && break
  sleep 0.1
done
[ -n "$main_window" ] || fail "the main window did not appear"

# Every other visible window of the program is an error box: close it as a user would, with Return.
boxes_closed=0
for _ in $(seq 1 150); do
  box=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -v "^$main_window\$" | head -1)
  if [ -n "$box" ]; then
    xdotool mousemove --window "$box" 20 20
    xdotool windowfocus --sync "$box" 2>/dev/null
    xdotool key --clearmodifiers Return
    boxes_closed=$((boxes_closed + 1))
    sleep 0.3
  elif [ $boxes_closed -gt 0 ]; then
    break
  else
    sleep 0.1
  fi
done
[ $boxes_closed -gt 0 ] || fail "no error box appeared for the missing ROMs"
[ -z "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -v "^$main_window\$")" ] ||
  fail "an error box is still open"
kill -0 "$pid" 2>/dev/null || fail "the program ended after the error box"

# The picture area: the drawing area sits right under the menu bar of the window.
eval "$(xdotool getwindowgeometry --shell "$main_window")"
[ "$WIDTH" -eq 352 ] || fail "window width $WIDTH, expected 352"
sleep 1.5

# Pixels of the machine's palette other than its black, within the window.
palette_pixels() {
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
  convert "$1" -depth 8 txt:- | awk '
    BEGIN {
      split("F01010 10F010 F0E810 2121DE F010F0 30C0C0 F0F0F0 C0C0C0 28A8A8 C020C0 4210C8 F0F070 20C840 A82020 303030", p, " ")
      for (i in p) palette["#" p[i]] = 1
    }
    /^[0-9]/ { if (substr($3, 1, 7) in palette) n++ }
    END { print n + 0 }'
}

# The middle of the picture only: the status bar's frame rate changes by itself.
shot() { import -window root -crop "${WIDTH}x180+${X}+$((Y + 50))" +repage "$1"; }
changed() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d. -f1; }

# The machine needs a few frames to draw its first screen; a loaded host may take a while.
coloured=0
for _ in $(seq 1 20); do
  coloured=$(palette_pixels "$work/start.png")
  [ "$coloured" -gt 5000 ] && break
  sleep 0.5
done
echo "palette pixels after start-up: $coloured"
[ "$coloured" -gt 5000 ] || fail "the emulated picture is not on screen ($coloured palette pixels)"

# Waits until the picture holds still, leaving it in still.png.
settle() {
  local moving=1
  shot "$work/still.png"
  for _ in $(seq 1 20); do
    sleep 0.5
    shot "$work/now.png"
    moving=$(changed "$work/still.png" "$work/now.png")
    mv "$work/now.png" "$work/still.png"
    [ "$moving" = 0 ] && return 0
  done
  fail "the picture never settled ($1)"
}

# Waits up to five seconds for the picture to differ from still.png; prints the pixel count.
picture_change() {
  local count=0
  for _ in $(seq 1 10); do
    sleep 0.5
    shot "$work/changed.png"
    count=$(changed "$work/still.png" "$work/changed.png")
    [ "$count" -gt 50 ] 2>/dev/null && break
  done
  echo "$count"
}

# Nobody types: the picture holds still...
settle "before typing"

# ...then type into the window: the machine's screen changes.
xdotool mousemove --window "$main_window" 100 100
xdotool windowfocus --sync "$main_window" 2>/dev/null
# Each key is held for a few frames: the ROM takes a key once two scans agree on it.
for key in q w e r t y; do
  xdotool keydown "$key"
  sleep 0.3
  xdotool keyup "$key"
  sleep 0.2
done
typed=$(picture_change)
echo "pixels changed by typing: $typed"
[ "$typed" -gt 50 ] 2>/dev/null || fail "typing did not reach the machine ($typed pixels changed)"

# Drag a text file from another program's window and drop it on the picture.
printf 'PRINT "DROPPED"\n' >"$work/drop.txt"
"$drag_source" "$work/drop.txt" &
source_pid=$!
source_window=
for _ in $(seq 1 100); do
  source_window=$(xdotool search --onlyvisible --name '^drag source$' 2>/dev/null | head -1)
  [ -n "$source_window" ] && break
  sleep 0.1
done
[ -n "$source_window" ] || fail "the drag source did not appear"
settle "before the drop"
source_geometry=$(xdotool getwindowgeometry --shell "$source_window")
from_x=$(echo "$source_geometry" | sed -n 's/^X=//p')
from_y=$(echo "$source_geometry" | sed -n 's/^Y=//p')
from_x=$((from_x + 30))
from_y=$((from_y + 30))
to_x=$((X + WIDTH / 2))
to_y=$((Y + HEIGHT / 2))
xdotool mousemove "$from_x" "$from_y"
sleep 0.2
xdotool mousedown 1
sleep 0.2
for step in 1 2 3 4 5 6 7 8 9 10; do
  xdotool mousemove $((from_x + (to_x - from_x) * step / 10)) $((from_y + (to_y - from_y) * step / 10))
  sleep 0.05
done
sleep 0.3
xdotool mouseup 1
dropped=$(picture_change)
echo "pixels changed by the drop: $dropped"
[ "$dropped" -gt 50 ] 2>/dev/null || fail "the dropped file was not typed into the machine ($dropped pixels changed)"
kill "$source_pid"
wait "$source_pid" 2>/dev/null
source_pid=

# Move the window, then ask it to close.
xdotool windowmove --sync "$main_window" 240 130 2>/dev/null
sleep 0.5
"$close_window" "$main_window" || fail "could not send the close request"
for _ in $(seq 1 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end after the close request"
wait "$pid"
status=$?
pid=
[ $status -eq 0 ] || fail "exit status $status"

[ -f vantorel.ini ] || fail "vantorel.ini was not written"
lines=$(wc -l <vantorel.ini)
echo "vantorel.ini lines: $lines"
[ "$lines" -eq 14 ] || fail "vantorel.ini has $lines lines, expected 14"
sed -n 10p vantorel.ini | grep -q '240' || fail "line 10 does not hold the x position 240: $(sed -n 10p vantorel.ini)"
sed -n 11p vantorel.ini | grep -q '130' || fail "line 11 does not hold the y position 130: $(sed -n 11p vantorel.ini)"
grep -qx '240 - 130' "$log" || fail "the position line was not printed: $(cat "$log")"
[ "$(grep -c ' - ' "$log")" -eq 1 ] || fail "the position line was printed more than once"
echo "PASS"
