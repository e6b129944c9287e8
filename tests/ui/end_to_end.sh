#!/bin/bash
# The desktop program as a user meets it, in an X server of its own (run under xvfb-run) with a
# window manager (openbox). It is started in a fresh program directory holding the free ROMs as
# the user's ROM files, so it boots without an error box. Then:
# - the drawing area shows, pixel for pixel, what the headless runner draws for the same
#   directory, each emulated pixel a sharp block of the window's size;
# - keys typed on the host keyboard reach the machine: the screen equals the headless runner's
#   after the same keys were typed into it;
# - no key sticks and no tap is lost: a key held while another window takes the focus, keys the
#   machine lacks, twenty taps faster than the frames, the keypad;
# - a text file dragged with the mouse from another program and dropped on the window (a real
#   XDND drop) is typed into the machine, again matching the headless runner's screen; of
#   three files dropped at once only the last is typed;
# - the window is moved and closed through the window manager's close request: the program
#   ends with status 0, prints the one "x - y" position line, and leaves a fourteen-line
#   vantorel.ini holding that position;
# - started again at 200 % (the settings file's first line), it comes back where it was closed
#   and shows the same picture doubled; in the PI layout Shift+9 let go Shift first leaves no
#   key down; ended by SIGTERM, it saves its settings as at a close;
# - made larger, it shows the picture at the largest whole multiple, centred on black; Ctrl+Q
#   quits and writes both settings files;
# - a second program started in the same directory says so in a dialog and saves no settings;
# - a line typed at 25 keys a second arrives whole in both layouts, on an idle and a busy host;
# - LPRINT typed on the keyboard shows in File -> Printer Output... as the headless runner prints it;
# - one quit signal with a modal dialog open closes it and quits, settings saved;
# - with the Micro Expander on, a cartridge chosen in the file chooser leaves the running
#   program alone until the Soft Reset, which starts the cartridge;
# - the debugger window (F8) leaves the machine running; its Break stops it and its Run goes on;
# - a tape given on the command line loads from the power-on screen, CAQ Autoload off;
# - File -> Rewind Tape lets CLOAD read the same tape a second time.
# Usage: end_to_end.sh <vantorel> <vantorel-headless> <drag_source> <firmware dir>
set -u
program=$1
headless=$2
drag_source=$3
firmware=$4
title='Vantorel v1.02'
work=$(mktemp -d)
pid=
source_pid=
wm_pid=
second_pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$second_pid" ] && kill "$second_pid" 2>/dev/null
  [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# VANTOREL_E2E_KEEP=<dir>: on failure the screenshots and references are copied there to look at.
fail() {
  echo "FAIL: $*"
  if [ -n "${VANTOREL_E2E_KEEP:-}" ]; then
    mkdir -p "$VANTOREL_E2E_KEEP" && cp "$work"/*.png "$work"/*.txt "$VANTOREL_E2E_KEEP" 2>/dev/null
  fi
  exit 1
}

# Polls a command every 0.2 s until it succeeds or the seconds run out.
poll() {
  local seconds=$1
  shift
  local tries=$((seconds * 5))
  for _ in $(seq 1 "$tries"); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# True once a visible window's name matches the pattern; its id is left in $found.
found=
named_window() {
  found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
  [ -n "$found" ]
}

mkdir -p "$work/roms" || exit 1
cp "$firmware/sysrom.bin" "$work/roms/aquariusS2.rom" || fail "no built system ROM in $firmware"
cp "$firmware/charrom.bin" "$work/roms/charS2.rom" || fail "no built character ROM in $firmware"
cd "$work" || exit 1

openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
poll 15 wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start"

# The headless runner's picture after the boot and the given actions (its command-line
# actions, carried out in order), scaled by SIZE with nearest-neighbour sampling.
reference() {
  local out=$1 size=$2
  shift 2
  "$headless" --dir "$work" --frames 100 "$@" --frames 150 --screenshot "$work/headless_picture.png" >/dev/null ||
    fail "the headless runner failed"
  convert "$work/headless_picture.png" -sample "$((size * 100))%" "$out" || fail "cannot scale the reference"
}

# Starts the program in the work directory and waits for its window; sets pid, window and the
# client area's screen position and size (X, Y, WIDTH, HEIGHT).
start_program() {
  "$program" >"$work/stdout.txt" 2>"$work/stderr.txt" &
  pid=$!
  window=
  find_window() {
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1)
    [ -n "$window" ] && wmctrl -l | grep -q "$title\$"
  }
  poll 30 find_window || fail "the main window did not appear"
  measure_window
}

# The client area's screen position and size now.
measure_window() {
  local info
  info=$(xwininfo -id "$window")
  X=$(echo "$info" | sed -n 's/^ *Absolute upper-left X: *//p')
  Y=$(echo "$info" | sed -n 's/^ *Absolute upper-left Y: *//p')
  WIDTH=$(echo "$info" | sed -n 's/^ *Width: *//p')
  HEIGHT=$(echo "$info" | sed -n 's/^ *Height: *//p')
}

# The client area of the window, as on screen now.
client_shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1" 2>/dev/null; }

# Finds REFERENCE inside the client area with no pixel different; sets PICTURE_Y, the drawing
# area's offset under the menu bar. The boot takes a while on a loaded host: keep looking.
find_picture() {
  local found
  look() {
    client_shot "$work/client.png" || return 1
    found=$(compare -metric AE -subimage-search "$work/client.png" "$1" null: 2>&1)
    [[ $found =~ ^0\ @\ 0,([0-9]+) ]] && PICTURE_Y=${BASH_REMATCH[1]}
  }
  poll 30 look "$1" || fail "the boot picture is not in the window (best match: $found)"
  echo "picture found at y offset $PICTURE_Y of the client area"
}

# The drawing area alone, where find_picture found it.
picture_shot() {
  import -window root -crop "${PICTURE_W}x${PICTURE_H}+${X}+$((Y + PICTURE_Y))" +repage "$1" 2>/dev/null
}
differing() { compare -metric AE "$1" "$2" null: 2>&1; }

# Waits until the drawing area equals REFERENCE; prints the differing pixel count otherwise.
wait_for_picture() {
  local count=
  same() {
    picture_shot "$work/picture.png" || return 1
    count=$(differing "$work/picture.png" "$1")
    [ "$count" = 0 ]
  }
  poll "$2" same "$1" && return 0
  echo "$count"
  return 1
}

# Asks the window manager to close the window, as its close button does (or, given a signal
# name, sends that signal as a log-out or kill does), and checks what the program leaves behind.
close_program() {
  if [ "${1:-}" = ctrl+q ]; then
    xdotool windowactivate --sync "$window" 2>/dev/null
    xdotool key ctrl+q
  elif [ $# -gt 0 ]; then
    kill -s "$1" "$pid" || fail "could not send SIG$1"
  else
    wmctrl -c "$title" || fail "wmctrl could not ask the window to close"
  fi
  ended() { ! kill -0 "$pid" 2>/dev/null; }
  poll 30 ended || fail "the program did not end after the close request"
  wait "$pid"
  local status=$?
  pid=
  [ $status -eq 0 ] || fail "exit status $status"
  [ -f vantorel.ini ] || fail "vantorel.ini was not written"
  local lines
  lines=$(wc -l <vantorel.ini)
  [ "$lines" -eq 14 ] || fail "vantorel.ini has $lines lines, expected 14"
  [ "$(wc -l <"$work/stdout.txt")" -eq 1 ] || fail "standard output is not one line: $(cat "$work/stdout.txt")"
  grep -Eqx -- '-?[0-9]+ - -?[0-9]+' "$work/stdout.txt" || fail "no position line: $(cat "$work/stdout.txt")"
}

# ---- At 100 %.
start_program
[ "$WIDTH" -eq 352 ] && [ "$HEIGHT" -eq 276 ] || fail "window ${WIDTH}x${HEIGHT}, expected 352x276"
PICTURE_W=352
PICTURE_H=232
reference "$work/boot.png" 1
find_picture "$work/boot.png"
[ "$PICTURE_Y" -gt 0 ] && [ $((PICTURE_Y + PICTURE_H)) -lt "$HEIGHT" ] ||
  fail "the picture is not between the menu bar and the status bar (y offset $PICTURE_Y)"
[ -z "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$window")" ] ||
  fail "a second window (an error box?) is open"

# Typed keys, SHIFT among them (the keyboard maps by position: SHIFT and 1 is the machine's
# "!", as on the host). The ROM takes a key once two scans agree on it and never repeats it, so
# each key is held until the screen shows it; a press and release handled in the same pass of
# the event loop would never be seen by the machine.
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool windowfocus --sync "$window" 2>/dev/null
host_keys="q w e r t y shift+1"
typed_text='qwerty!'
picture_shot "$work/before_key.png"
for key in $host_keys; do
  xdotool keydown "$key"
  key_shown() {
    picture_shot "$work/after_key.png" || return 1
    [ "$(differing "$work/before_key.png" "$work/after_key.png")" != 0 ]
  }
  poll 10 key_shown
  shown=$?
  xdotool keyup "$key"
  [ $shown -eq 0 ] || fail "the key $key did not reach the machine"
  mv "$work/after_key.png" "$work/before_key.png"
done
reference "$work/typed.png" 1 --keys "$typed_text"
count=$(wait_for_picture "$work/typed.png" 5) ||
  fail "after typing $typed_text the screen differs from the headless runner's in $count pixels"
echo "typed $typed_text: screen equals the headless runner's"

# The free ROM takes the first key down in column order, so a key left down on the machine
# hides every key of a later column: each step below ends with Q (the last column) and the
# screen must show it.
# - A held key whose release goes to another window, because that window took the focus.
xdotool keydown a
poll 10 key_shown || fail "the held key a did not reach the machine"
"$drag_source" "$work/drop.txt" 2>/dev/null &
source_pid=$!
poll 15 named_window '^drag source$' || fail "the other window did not appear"
other_window=$found
xdotool windowactivate --sync "$other_window" 2>/dev/null
xdotool keyup a
kill "$source_pid"
wait "$source_pid" 2>/dev/null
source_pid=
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool windowfocus --sync "$window" 2>/dev/null
# - Home, End, Page Up, Page Down and Insert: keys the machine lacks type nothing.
xdotool key --delay 60 Home End Prior Next Insert q
# - Twenty taps faster than the machine's frames, repeated keys among them.
xdotool type --delay 4 '11223344556677889900'
# - The keypad's digits, point and operators type what they show (NumLock on for the digits).
xdotool key Num_Lock
xdotool key --delay 30 KP_1 KP_2 KP_Decimal KP_Add KP_Multiply KP_Subtract KP_Divide q
xdotool key Num_Lock
typed_text="${typed_text}aq11223344556677889900""12.+*-/q"
reference "$work/keys.png" 1 --keys "$typed_text"
count=$(wait_for_picture "$work/keys.png" 10) ||
  fail "after the focus change, the missing keys, the quick taps and the keypad the screen differs from the headless runner's ($typed_text) in $count pixels"
echo "a key held across a focus change, keys the machine lacks, twenty quick taps, the keypad: $typed_text"

# Drags the given files, offered by another program's window as a file manager offers them,
# with the mouse onto the middle of the picture.
drag_files() {
  "$drag_source" "$@" 2>/dev/null &
  source_pid=$!
  poll 15 named_window '^drag source$' || fail "the drag source did not appear"
  local source_window=$found
  sleep 0.3
  local source_info from_x from_y to_x to_y
  source_info=$(xwininfo -id "$source_window")
  from_x=$(($(echo "$source_info" | sed -n 's/^ *Absolute upper-left X: *//p') + 30))
  from_y=$(($(echo "$source_info" | sed -n 's/^ *Absolute upper-left Y: *//p') + 30))
  to_x=$((X + PICTURE_W / 2))
  to_y=$((Y + PICTURE_Y + PICTURE_H / 2))
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
}

end_drag() {
  kill "$source_pid"
  wait "$source_pid" 2>/dev/null
  source_pid=
}

# A text file dropped on the picture; the headless runner is given the same keys and then the
# same file as a dropped file.
printf 'PRINT "DROPPED"\n' >"$work/drop.txt"
reference "$work/dropped.png" 1 --keys "$typed_text" --load "$work/drop.txt"
drag_files "$work/drop.txt"
count=$(wait_for_picture "$work/dropped.png" 15) ||
  fail "after the drop the screen differs from the headless runner's in $count pixels"
end_drag
echo "dropped a text file: screen equals the headless runner's"

# Three files dropped at once: only the last one is loaded.
printf 'FIRST\n' >"$work/first.txt"
printf 'SECOND\n' >"$work/second.txt"
printf 'THIRD\n' >"$work/third.txt"
reference "$work/three.png" 1 --keys "$typed_text" --load "$work/drop.txt" --frames 150 --load "$work/third.txt"
drag_files "$work/first.txt" "$work/second.txt" "$work/third.txt"
count=$(wait_for_picture "$work/three.png" 15) ||
  fail "after dropping three files the screen differs from the headless runner's loading the last in $count pixels"
end_drag
echo "dropped three files: screen equals the headless runner's given the last"

# ---- F11 writes the picture as the headless runner's --screenshot does (the reference just
# made), named after the file last loaded. F5 saves the quick state; after more typing F7 brings
# the saved screen back. Keys typed while paused (the Pause key) do nothing.
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool key F11
shot_written() { compgen -G "screenshots/third-*.png" >/dev/null; }
poll 10 shot_written || fail "F11 wrote no screenshots/third-....png: $(ls screenshots 2>&1)"
shot=$(compgen -G "screenshots/third-*.png" | head -1)
[[ $shot =~ ^screenshots/third-[0-9]{8}-[0-9]{6}\.png$ ]] || fail "screenshot named $shot"
[ "$(differing "$shot" "$work/headless_picture.png")" = 0 ] || fail "$shot differs from the headless screenshot"
xdotool key F5
poll 10 test -s states/quick.vst || fail "F5 wrote no states/quick.vst"
xdotool type --delay 60 'zzz'
changed() {
  picture_shot "$work/picture.png" || return 1
  [ "$(differing "$work/picture.png" "$work/three.png")" != 0 ]
}
poll 10 changed || fail "the keys typed after F5 did not show"
xdotool key F7
count=$(wait_for_picture "$work/three.png" 10) || fail "after F7 the screen differs from the one saved by F5 in $count pixels"
xdotool key Pause
xdotool type --delay 60 'zzz'
sleep 1
count=$(wait_for_picture "$work/three.png" 1) || fail "keys typed while paused reached the machine ($count pixels)"
xdotool key Pause
sleep 1
count=$(wait_for_picture "$work/three.png" 1) || fail "keys typed while paused arrived after the pause ($count pixels)"
xdotool type --delay 60 'z'
poll 10 changed || fail "after the second Pause the machine did not go on"
echo "F11: $shot equals the headless screenshot; F5 then F7 brought the saved screen back; paused, keys did nothing"

# ---- F8 opens the debugger and the machine goes on; Break there (Shift+F5) stops it while both
# windows keep answering: keys typed then do not show; Run there (F5) lets it go on.
focus_main() { xdotool windowactivate --sync "$window" 2>/dev/null; xdotool windowfocus --sync "$window" 2>/dev/null; }
differs_from() { picture_shot "$work/picture.png" && [ "$(differing "$work/picture.png" "$1")" != 0 ]; }
typed_shows() {
  focus_main
  picture_shot "$work/before_key.png"
  xdotool type --delay 60 "$1"
  poll "$2" differs_from "$work/before_key.png"
}
focus_main
xdotool key F8
poll 10 named_window '^Vantorel Debugger$' || fail "F8 opened no debugger window"
debugger=$found
typed_shows y 10 || fail "with the debugger open the machine stopped"
xdotool windowactivate --sync "$debugger" 2>/dev/null
xdotool key shift+F5
sleep 1
typed_shows y 2 && fail "after Break keys typed reached the machine"
xdotool windowactivate --sync "$debugger" 2>/dev/null
xdotool key F5
typed_shows y 10 || fail "after Run in the debugger the machine did not go on"
wmctrl -i -c "$debugger" || fail "wmctrl could not close the debugger"
gone() { ! named_window '^Vantorel Debugger$'; }
poll 10 gone || fail "the debugger window did not close"
echo "F8: the debugger opened with the machine running; Break stopped it, Run let it go on"

# Moved by the window manager, then closed.
wmctrl -i -r "$window" -e 0,240,130,-1,-1 || fail "wmctrl could not move the window"
moved() { [ "$(xwininfo -id "$window" | sed -n 's/^ *Absolute upper-left X: *//p')" != "$X" ]; }
poll 10 moved || fail "the window did not move"
close_program
grep -qx '240 - 130' "$work/stdout.txt" || fail "printed position $(cat "$work/stdout.txt"), expected 240 - 130"
[ "$(grep '^recent=' vantorel-extra.ini)" = "$(printf 'recent=%s\nrecent=%s' "$work/third.txt" "$work/drop.txt")" ] ||
  fail "the recent files are not the two loaded, newest first: $(cat vantorel-extra.ini)"
sed -n 10p vantorel.ini | grep -q '=240$' || fail "line 10 does not hold the x position 240: $(sed -n 10p vantorel.ini)"
sed -n 11p vantorel.ini | grep -q '=130$' || fail "line 11 does not hold the y position 130: $(sed -n 11p vantorel.ini)"
echo "closed at 100 %: exit status 0, position 240 - 130, vantorel.ini of 14 lines"

# ---- At 200 %, chosen by the settings file's first line, with the PI layout (third line).
sed -i '1s/=.*/=2/; 3s/=.*/=1/' vantorel.ini
start_program
[ "$WIDTH" -eq 704 ] && [ "$HEIGHT" -eq 508 ] || fail "window ${WIDTH}x${HEIGHT} at 200 %, expected 704x508"
PICTURE_W=704
PICTURE_H=464
reference "$work/boot2.png" 2
first_offset=$PICTURE_Y
find_picture "$work/boot2.png"
[ "$PICTURE_Y" -eq "$first_offset" ] || fail "the menu bar is $PICTURE_Y rows high at 200 %, $first_offset at 100 %"
# PI: host Shift+9 is the machine's "(" (SHIFT and 8); Shift let go before the 9 key must
# still leave no key down, or the Q after it would not show.
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool keydown shift keydown 9
sleep 0.3
xdotool keyup shift
sleep 0.1
xdotool keyup 9
xdotool key q
reference "$work/pi.png" 2 --keys '(q'
count=$(wait_for_picture "$work/pi.png" 10) ||
  fail "after Shift+9 released Shift first and Q, the screen differs from the headless runner's (q) in $count pixels"
echo "PI: Shift+9 released Shift first left no key down"
# Nobody moved it: ended by SIGTERM, as at a log-out, it still stores the position it came
# back at and the size.
close_program TERM
grep -qx '240 - 130' "$work/stdout.txt" || fail "reopened and ended at $(cat "$work/stdout.txt"), expected 240 - 130"
sed -n 1p vantorel.ini | grep -q '=2$' || fail "the 200 % size was not kept: $(sed -n 1p vantorel.ini)"
echo "ended by SIGTERM at 200 %: exit status 0, position 240 - 130 kept, vantorel.ini of 14 lines"
# ---- Started where there is neither roms/ nor vantorel.ini (as from the desktop menu), with a
# file on the command line: the program keeps its files in the user's data directory (where the
# user has put the ROM files), makes usb/ there and saves its settings there, and loads the file
# as a drop would.
data="$work/home/.local/share/vantorel"
mkdir -p "$work/elsewhere" "$data/roms"
cp "$work/roms/"* "$data/roms/"
printf 'hello\n' >"$work/elsewhere/typed.txt"
# XDG_DATA_HOME names a file: the data directory cannot be made there; an error box and standard
# error say why, and the default one is used.
(cd "$work/elsewhere" && exec env XDG_DATA_HOME="$work/elsewhere/typed.txt" HOME="$work/home" "$program" typed.txt \
   >"$work/stdout2.txt" 2>"$work/stderr2.txt") &
pid=$!
# A message box of program PID: a window of its own titled "Vantorel" (xdotool's --name would
# also match the window class).
box_of() {
  box=
  for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w")" = Vantorel ] && box=$w
  done
  [ -n "$box" ]
}
poll 30 box_of "$pid" || fail "no error box about the data directory under XDG_DATA_HOME"
grep -q "typed.txt/vantorel (from XDG_DATA_HOME) cannot be made: Not a directory" "$work/stderr2.txt" ||
  fail "standard error does not say why: $(cat "$work/stderr2.txt")"
wmctrl -i -c "$box"
titled() { xdotool search --name "^$title - typed.txt\$" >/dev/null 2>&1; }
poll 30 titled || fail "no window titled \"$title - typed.txt\" after a file given on the command line"
[ -d "$data/roms" ] && [ -d "$data/usb" ] || fail "the data directory $data was not made with roms/ and usb/"
[ ! -e "$work/elsewhere/usb" ] && [ ! -e "$work/elsewhere/vantorel.ini" ] || fail "files were made in the current directory"
kill -TERM "$pid"
wait "$pid" || fail "exit status $? after SIGTERM"
pid=
[ -f "$data/vantorel.ini" ] || fail "the settings were not saved in $data"
echo "data directory $data used, usb/ made there, settings saved there; typed.txt from the command line loaded"

# ---- At 100 %, made larger by the window manager: the picture is the largest whole multiple
# that fits the drawing area (the window less the 44 rows of menu bar and status bar), centred
# on black. The border colour marks the picture's edges.
sed -i '1s/=.*/=1/' vantorel.ini
start_program
wmctrl -i -r "$window" -e 0,-1,-1,1000,640 || fail "wmctrl could not resize the window"
resized() { [ "$(xwininfo -id "$window" | sed -n 's/^ *Width: *//p')" = 1000 ]; }
poll 10 resized || fail "the window did not grow"
measure_window
border=$(convert "$work/boot.png" -format '%[pixel:p{0,0}]' info:)
scale=$(((WIDTH / 352) < ((HEIGHT - 44) / 232) ? (WIDTH / 352) : ((HEIGHT - 44) / 232)))
expected="$((352 * scale))x$((232 * scale))+$(((WIDTH - 352 * scale) / 2))+$((first_offset + (HEIGHT - 44 - 232 * scale) / 2))"
placed() {
  client_shot "$work/large.png" || return 1
  box=$(convert "$work/large.png" -fill black +opaque "$border" -format '%@' info:)
  [ "$box" = "$expected" ]
}
poll 10 placed || fail "in a ${WIDTH}x${HEIGHT} window the picture is at $box, expected $expected"
convert "$work/large.png" -crop 1x1+$(((WIDTH - 352 * scale) / 2 - 1))+$((first_offset + 2)) -format '%[fx:r+g+b]' info: |
  grep -qx 0 || fail "the drawing area beside the picture is not black"
echo "in a ${WIDTH}x${HEIGHT} window: the picture $expected, $scale times, centred on black"
# Ctrl+Q quits as File -> Quit does, writing both settings files.
close_program ctrl+q
grep -qx 'integer_scaling=1' vantorel-extra.ini || fail "vantorel-extra.ini: $(cat vantorel-extra.ini 2>&1)"
echo "Ctrl+Q: exit status 0, vantorel.ini of 14 lines, vantorel-extra.ini with integer_scaling=1"

# ---- The keypad, then the cursor keys, as hand controller 1: a key held shows in the free ROM's
# status line, in the two hex digits of the controller byte and nowhere else (nothing is typed),
# the first two keys differ, and letting go brings the line back. Help -> Keyboard opens.
controller_keys() {  # setting in vantorel-extra.ini (switched on, the other set off), keys to hold
  local setting=$1
  shift
  sed -i '/_controller=/d' vantorel-extra.ini && echo "$setting=1" >>vantorel-extra.ini
  start_program
  [ "$WIDTH" -eq 352 ] || fail "the window did not start at 100 %: ${WIDTH}x${HEIGHT}"
  PICTURE_W=352
  PICTURE_H=232
  xdotool windowactivate --sync "$window" 2>/dev/null
  xdotool windowfocus --sync "$window" 2>/dev/null
  picture_shot "$work/pad_rest.png"
  changed_box() {  # the bounding box of the pixels where $1 differs from the picture at rest
    convert "$work/pad_rest.png" "$1" -compose difference -composite -threshold 0 -format '%@' info:
  }
  for key in "$@"; do
    xdotool keydown "$key"
    pad_shown() {
      picture_shot "$work/pad_$key.png" || return 1
      [ "$(differing "$work/pad_rest.png" "$work/pad_$key.png")" != 0 ]
    }
    poll 10 pad_shown || fail "$setting: holding $key changed nothing"
    xdotool keyup "$key"
    box=$(changed_box "$work/pad_$key.png")
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || fail "no change box: $box"
    [ "${BASH_REMATCH[3]}" -ge 152 ] && [ $((BASH_REMATCH[3] + BASH_REMATCH[1])) -le 168 ] &&
      [ "${BASH_REMATCH[4]}" -ge 208 ] && [ $((BASH_REMATCH[4] + BASH_REMATCH[2])) -le 216 ] ||
      fail "$setting: $key changed the picture at $box, not only the controller byte"
    count=$(wait_for_picture "$work/pad_rest.png" 5) || fail "after $key was let go the picture differs in $count pixels"
  done
  [ "$(differing "$work/pad_$1.png" "$work/pad_$2.png")" != 0 ] || fail "$setting: $1 and $2 look the same"
  echo "$setting: $* shown in the controller byte only, nothing typed"
}
controller_keys keypad_controller KP_Up KP_Down
close_program
grep -qx 'keypad_controller=1' vantorel-extra.ini || fail "the keypad setting was not kept: $(cat vantorel-extra.ini)"
controller_keys cursor_controller Up Down Left Delete
xdotool key alt+h k
poll 10 named_window '^Keyboard$' || fail "Help -> Keyboard showed no window"
wmctrl -i -c "$found"
close_program
grep -qx 'cursor_controller=1' vantorel-extra.ini || fail "the cursor-key setting was not kept: $(cat vantorel-extra.ini)"
sed -i 's/^cursor_controller=.*/cursor_controller=0/' vantorel-extra.ini
echo "Help -> Keyboard opened; both controller settings kept"

# ---- With an audio device (SDL's disk driver, writing a scratch file), "No sound device" stays
# away after 200 % chosen from the menu and full screen on and off: the status bar between the
# frame rate and the model stays blank.
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" start_program
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool key alt+p d Return
sleep 1
xdotool key F4
sleep 1
xdotool key F4
at_200() { measure_window && [ "$WIDTH" -eq 704 ] && [ "$HEIGHT" -eq 508 ]; }
poll 10 at_200 || fail "after 200 % and F4 twice the window is ${WIDTH}x${HEIGHT}"
sleep 0.5
client_shot "$work/status.png"
colours=$(convert "$work/status.png" -crop "460x14+80+$((HEIGHT - 17))" -format '%k' info:)
[ "$colours" = 1 ] || fail "the status bar shows more than the frame rate and the model ($colours colours)"
[ -s "$work/audio.raw" ] || fail "the disk audio driver received nothing: no device was open"
close_program
sed -i '1s/=.*/=1/' vantorel.ini
echo "with an audio device, no \"No sound device\" after 200 % and F4 twice"

# ---- Two programs in one directory. A temporary file that a killed save left is removed at the
# start (a file of the user's with a like name is not). The second program says in a dialog that
# another runs in the directory and that it will not save settings; the first one quits after
# being moved, and its settings survive the second's quit.
touch .vantorel.ini.vantorel-tmp-Ab3dE9 vantorel.ini.old
start_program
[ ! -e .vantorel.ini.vantorel-tmp-Ab3dE9 ] && [ -e vantorel.ini.old ] ||
  fail "stale temporaries were not removed, or too much was: $(ls -a)"
"$program" >"$work/stdout_second.txt" 2>"$work/stderr_second.txt" &
second_pid=$!
poll 30 box_of "$second_pid" || fail "the second program in one directory showed no dialog"
grep -q "running in $work" "$work/stderr_second.txt" || fail "standard error: $(cat "$work/stderr_second.txt")"
wmctrl -i -c "$box"
wmctrl -i -r "$window" -e 0,300,150,-1,-1 || fail "wmctrl could not move the window"
poll 10 moved || fail "the window did not move"
close_program TERM
second_window=$(xdotool search --onlyvisible --pid "$second_pid" --name "^$title\$" | head -1)
wmctrl -i -c "$second_window"
wait "$second_pid" || fail "the second program ended with status $?"
second_pid=
grep -qx 'opt_windowpos_x=300' vantorel.ini || fail "the second program overwrote the first's settings: $(cat vantorel.ini)"
[ ! -s "$work/stdout_second.txt" ] || fail "the second program saved settings: $(cat "$work/stdout_second.txt")"
echo "two programs in one directory: the second said so and left the first one's settings alone"

# ---- Typing at 25 keys a second (xdotool --delay 40), faster than the machine takes strokes
# (two frames down, one up): the line and its Return arrive whole and in order, in both layouts,
# on an idle host and on a busy one (VANTOREL_FRAME_DELAY_MS=30 makes every frame 30 ms longer,
# so the events of several keys pile up between two frames). NATIVE maps by position: the host's
# ':' and '*' (Shift+; and Shift+8) are the machine's SHIFT+; and SHIFT+8, "@" and "(".
fast_line='20 FOR I=1 TO 5:PRINT I;I*I:NEXT I'
for layout in NATIVE PI; do
  [ $layout = PI ] && machine_line=$fast_line || machine_line=$(echo "$fast_line" | tr ':*' '@(')
  reference "$work/fast_$layout.png" 1 --keys "$machine_line\\n"
  for delay in 0 30; do
    sed -i "3s/=.*/=$([ $layout = PI ] && echo 1 || echo 0)/" vantorel.ini
    VANTOREL_FRAME_DELAY_MS=$delay start_program
    find_picture "$work/boot.png" >/dev/null
    xdotool windowactivate --sync "$window" 2>/dev/null
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool type --delay 40 "$fast_line"
    xdotool key Return
    count=$(wait_for_picture "$work/fast_$layout.png" 20) ||
      fail "$layout, frames ${delay} ms longer: typed at 25 keys a second, the screen differs from the headless runner's ($machine_line) in $count pixels"
    close_program
    echo "$layout, frames ${delay} ms longer: the line typed at 25 keys a second arrived whole"
  done
done
# ---- LPRINT typed on the host keyboard: File -> Printer Output... shows the paper, twice its
# size at the window's top left, as the headless runner's --printer-png draws it.
reference "$work/lprint.png" 1 --keys 'LPRINT HELLO\n' --printer-png "$work/paper.png"
convert "$work/paper.png" -sample 200% "$work/paper2.png" || fail "cannot scale the paper"
start_program
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool windowfocus --sync "$window" 2>/dev/null
xdotool type --delay 80 'lprint hello'
xdotool key Return
count=$(wait_for_picture "$work/lprint.png" 10) || fail "after LPRINT HELLO the screen differs from the headless runner's in $count pixels"
xdotool key alt+f p
poll 15 named_window '^Printer Output$' || fail "File -> Printer Output... opened no window"
paper_window=$found
info=$(xwininfo -id "$paper_window")
crop="$(identify -format %wx%h "$work/paper2.png")+$(echo "$info" | sed -n 's/^ *Absolute upper-left X: *//p')+$(echo "$info" | sed -n 's/^ *Absolute upper-left Y: *//p')"
shows_paper() { import -window root -crop "$crop" +repage "$work/paper_shot.png" 2>/dev/null && [ "$(differing "$work/paper_shot.png" "$work/paper2.png")" = 0 ]; }
poll 15 shows_paper || fail "Printer Output does not show what LPRINT printed"
wmctrl -i -c "$paper_window"
close_program
echo "LPRINT typed on the keyboard: Printer Output shows the paper the headless runner prints"

# ---- One SIGTERM or SIGHUP while a modal dialog is open (About, the file chooser, the error box
# of a first start without ROM files) closes it and quits as a close does: exit status 0 within
# two seconds, the settings written anew.
quit_from_dialog() {  # signal, keys that open the dialog ("" when it opens by itself), what it is
  local signal=$1
  shift
  start_program
  xdotool windowactivate --sync "$window" 2>/dev/null
  [ -n "$1" ] && xdotool key --delay 200 $1
  dialog_open() { [ -n "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$window")" ]; }
  poll 10 dialog_open || fail "$2 did not open"
  rm -f vantorel.ini
  local started=$(date +%s%N)
  close_program "$signal"
  local took=$((($(date +%s%N) - started) / 1000000))
  [ "$took" -le 2000 ] || fail "with $2 open, SIG$signal took $took ms to end the program"
  echo "$2 open: one SIG$signal ended the program in $took ms, settings saved"
}
# The test tape of load_tape.bin: leader, sync, NAME; leader, sync, header (load at 0x3900, the
# length, the high byte of the run address given as a printf escape: '\071' runs it at 0x3900,
# '\0' does not run it), the program.
load_tape_image() {
  local size
  size=$(stat -c %s "$firmware/load_tape.bin")
  head -c 16 /dev/zero | tr '\0' '\377'; printf '\0%s' "$1"; head -c 16 /dev/zero | tr '\0' '\377'
  printf '\0\0\071'"\\$(printf %03o $((size & 255)))\\$(printf %03o $((size >> 8)))"'\0'"$2"
  cat "$firmware/load_tape.bin"
}

quit_from_dialog TERM "alt+h a" "About"
quit_from_dialog HUP "ctrl+o" "the file chooser"
mkdir -p "$work/first/roms" && cd "$work/first" && quit_from_dialog TERM "" "the error box of a start without ROM files"
cd "$work"
# ---- The Micro Expander on, its ROM stood in for by a 16K program that loops in the cartridge
# pages. An 8K cartridge chosen with File -> Load File... leaves that program running untouched;
# Operation -> Soft Reset then starts the cartridge in its place.
[ -f "$firmware/load_cart16.bin" ] || fail "no built load_cart16.bin in $firmware"
# The expansion ROM must fill its pages: the program is padded as an unprogrammed ROM is.
{ cat "$firmware/load_cart16.bin" && head -c 16384 /dev/zero | tr '\0' '\377'; } | head -c 16384 >roms/aqubasic.rom
cp "$firmware/load_cart8.bin" "$work/game.rom" || fail "no built load_cart8.bin in $firmware"
echo 'micro_expander=1' >>vantorel-extra.ini
reference "$work/mx.png" 1 --microex
reference "$work/mx_cart.png" 1 --microex --frames 50 --load "$work/game.rom" --soft-reset
start_program
count=$(wait_for_picture "$work/mx.png" 15) || fail "the Micro Expander's stand-in ROM is not running ($count pixels)"
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool key ctrl+o
poll 15 named_window '^Open File$' || fail "File -> Load File... opened no chooser"
chooser=$found
xdotool windowactivate --sync "$chooser" 2>/dev/null
sleep 0.5
xdotool key ctrl+l
sleep 0.3
xdotool type --delay 20 "$work/game.rom"
sleep 0.3
xdotool key Return
cart_titled() { xdotool search --name "^$title - game.rom\$" >/dev/null 2>&1; }
poll 15 cart_titled || fail "the cartridge chosen in the chooser was not loaded"
sleep 1
count=$(wait_for_picture "$work/mx.png" 1) || fail "loading the cartridge changed the running machine ($count pixels)"
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool key alt+o s
count=$(wait_for_picture "$work/mx_cart.png" 10) || fail "Soft Reset did not start the cartridge ($count pixels)"
close_program
echo "Micro Expander: a cartridge loaded from the menu waited for the Soft Reset, which started it"

# ---- A tape given on the command line (what a double-click in a file manager runs), CAQ
# Autoload off, while the ROM is on a power-on screen that waits for RETURN and then sets up
# reading no keys: the program loads and runs, the picture the headless runner's autoload gives.
tape_at_start() {
  local dir="$work/poweron" size
  mkdir -p "$dir/roms"
  cp "$firmware/sysrom_power_on.bin" "$dir/roms/aquariusS2.rom" && cp "$firmware/charrom.bin" "$dir/roms/charS2.rom" ||
    fail "no built power-on ROM in $firmware"
  load_tape_image GAME01 '\071' >"$dir/game.caq"
  "$headless" --dir "$dir" --autoload --load "$dir/game.caq" --frames 300 --screenshot "$work/tape_at_start.png" \
    >/dev/null || fail "the headless runner failed"
  cd "$dir" || exit 1
  "$program" game.caq >"$work/stdout.txt" 2>"$work/stderr.txt" &
  pid=$!
  poll 30 named_window "^$title - game.caq\$" || fail "no window titled \"$title - game.caq\""
  window=$found
  measure_window
  shows_loaded() {
    client_shot "$work/client.png" &&
      [[ $(compare -metric AE -subimage-search "$work/client.png" "$work/tape_at_start.png" null: 2>&1) =~ ^0\ @ ]]
  }
  poll 30 shows_loaded || fail "the tape given on the command line did not load as the headless runner's autoload"
  close_program
  cd "$work" || exit 1
  echo "a tape given on the command line loaded from the power-on screen"
}
tape_at_start
# ---- vantorel --gdb 0, with a client of a few lines of bash: GDB arriving stops the machine, even
# a paused one, and it stays stopped when the pause ends (a write to screen RAM does not show);
# continue runs it (the write shows), GDB's Ctrl-C stops it again, and after detach the window
# closes as usual.
gdb_session() {
  local dir="$work/gdb" port reply
  mkdir -p "$dir" && cp -r "$work/roms" "$dir/" && cd "$dir" || exit 1
  "$program" --gdb 0 >"$work/stdout.txt" 2>"$work/stderr.txt" &
  pid=$!
  poll 30 named_window "^$title\$" || fail "no window with --gdb 0"
  window=$found
  measure_window
  port=$(sed -n 's/.*waiting for GDB on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/stderr.txt")
  answer() {  # the reply expected to the packet just sent
    IFS= read -r -d '#' -t 10 reply <&3 && read -r -n 2 -t 5 _ <&3 && printf + >&3
    [ "${reply##*\$}" = "$1" ] || fail "GDB was answered \"${reply##*\$}\", expected \"$1\""
  }
  ask() {  # packet, then the reply expected ("" for none)
    local sum=0 i
    for ((i = 0; i < ${#1}; i++)); do sum=$(((sum + $(printf %d "'${1:i:1}")) & 255)); done
    printf '$%s#%02x' "$1" "$sum" >&3
    [ -z "$2" ] || answer "$2"
  }
  sleep 2
  xdotool windowactivate --sync "$window" 2>/dev/null
  xdotool key Pause
  sleep 0.5
  exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "no GDB port to connect to: $(cat "$work/stderr.txt")"
  ask '?' T05
  xdotool key Pause
  picture_shot "$work/gdb_stopped.png" || fail "no picture"
  ask 'M31e5,3:474442' OK
  sleep 1
  count=$(wait_for_picture "$work/gdb_stopped.png" 1) || fail "the machine GDB stopped drew ($count pixels)"
  ask c ""
  unlike_stopped() { picture_shot "$work/picture.png" && [ "$(differing "$work/picture.png" "$work/gdb_stopped.png")" != 0 ]; }
  poll 10 unlike_stopped || fail "continue from GDB did not run the machine"
  printf '\003' >&3
  answer T02
  ask D OK
  exec 3>&-
  close_program
  cd "$work" || exit 1
  echo "--gdb: GDB stopped the machine, continue ran it, Ctrl-C stopped it, detach let it go"
}
gdb_session

# ---- A tape is read once, as a real one; after File -> Rewind Tape a second CLOAD loads it
# again (the picture the headless runner gives for the same steps, with --rewind-tape).
rewind_tape() {
  local dir="$work/rewind" size
  mkdir -p "$dir/roms"
  cp "$firmware/sysrom.bin" "$dir/roms/aquariusS2.rom" && cp "$firmware/charrom.bin" "$dir/roms/charS2.rom" || exit 1
  # Not run (execution address 0), so that the prompt comes back.
  load_tape_image TWICE1 '\0' >"$dir/twice.caq"
  local steps=(--autoload --load "$dir/twice.caq" --frames 300)
  "$headless" --dir "$dir" "${steps[@]}" --screenshot "$work/loaded_once.png" >/dev/null &&
    "$headless" --dir "$dir" "${steps[@]}" --rewind-tape --keys 'cload\n' --frames 10 --keys '\n' --frames 150 \
      --screenshot "$work/loaded_twice.png" >/dev/null || fail "the headless runner failed"
  cd "$dir" || exit 1
  "$program" twice.caq >"$work/stdout.txt" 2>"$work/stderr.txt" &
  pid=$!
  poll 30 named_window "^$title - twice.caq\$" || fail "no window titled \"$title - twice.caq\""
  window=$found
  measure_window
  PICTURE_W=352
  PICTURE_H=232
  find_picture "$work/loaded_once.png" >/dev/null
  xdotool windowactivate --sync "$window" 2>/dev/null
  xdotool key alt+f w
  sleep 0.5
  xdotool type --delay 60 cload
  xdotool key Return
  sleep 0.5
  xdotool key Return
  count=$(wait_for_picture "$work/loaded_twice.png" 15) || fail "after Rewind Tape, CLOAD did not load the tape again ($count pixels)"
  close_program
  cd "$work" || exit 1
  echo "Rewind Tape: a second CLOAD loaded the tape again"
}
rewind_tape
echo "PASS"
