#!/bin/bash
# `cmake --install` into a scratch prefix, then what a desktop and a user meet there: the desktop
# entry starts the program with the file it was given; the shared MIME database names .caq files
# by name and .rom/.bin files only by a cartridge header (a random .bin stays unclaimed); the man
# pages are well-formed and have an entry for every option --help lists; the AppStream metainfo
# validates; --help and --version of both programs answer on standard output without a display.
build=$1
firmware=$build/firmware
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$prefix" >/dev/null 2>&1 || fail "cmake --install"
entry=$prefix/share/applications/vantorel.desktop
grep -qx 'Exec=vantorel %f' "$entry" || fail "$(cat "$entry")"
[ -x "$prefix/bin/vantorel" ] || fail "no installed program"
XDG_DATA_DIRS=$prefix/share update-mime-database "$prefix/share/mime" || fail "update-mime-database"
types=$(sed -n 's/^MimeType=//p' "$entry")

# Files as a file manager sees them (GIO sniffs the first 4K), and GLib's guess from the whole
# file, as readers that look further do: the header of a 16K image lies 8K in.
export XDG_DATA_DIRS=$prefix/share:/usr/share XDG_DATA_HOME=$prefix/no-user-data
seen_type() { gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
whole_file_type() {
  /usr/bin/python3 -c 'import sys; from gi.repository import Gio
print(Gio.content_type_guess(sys.argv[1], open(sys.argv[1], "rb").read())[0])' "$1"
}
expect_type() {  # expect_type TYPE FILE [how]
  local type
  type=$(${3:-seen_type} "$2")
  [ "$type" = "$1" ] || fail "$(basename "$2") is '$type', not $1"
  [ "$1" = application/octet-stream ] || [[ ";$types" == *";$1;"* ]] ||
    fail "the entry declares $types, not $1"
}
# files/NAME SIZE [OFFSET HEX...]: SIZE bytes of a fixed pseudo-random pattern, with bytes put at
# OFFSET (+2 for each next one).
files=$prefix/files
mkdir -p "$files"
make_image() {
  /usr/bin/python3 -c 'import random, sys
random.seed(18); image = bytearray(random.randbytes(int(sys.argv[2])))
if len(sys.argv) > 3:
    for k, byte in enumerate(sys.argv[4:]): image[int(sys.argv[3], 0) + 2 * k] = int(byte, 16)
open(sys.argv[1], "wb").write(image)' "$files/$1" "${@:2}"
}
# The system ROM's check of a machine cartridge, from the header at the start of the top 8K page:
# each of the bytes at 0x0F, 0x0D ... 0x05 of the page, rotated right by two and added to the low
# byte of its address, gives the next of 2B 37 24 24 33 2C. Here the bytes that pass it.
signature=$(/usr/bin/python3 -c 'for k, s in enumerate([0x2B, 0x37, 0x24, 0x24, 0x33, 0x2C]):
    b = (s - (0x0F - 2 * k)) & 0xFF; print("%02x" % (((b << 2) | (b >> 6)) & 0xFF))' | tac)
make_image t.bin 4096
make_image GAME.ROM 8192 0x05 $signature
make_image game16.bin 16384 0x2005 $signature
make_image almost.rom 8192 0x05 $(echo $signature | sed 's/[0-9a-f]*$/71/')
{ cat "$files/t.bin" "$files/t.bin"; printf VANTCART; head -c 8184 /dev/zero; } >"$files/up16.rom"
cp "$firmware/load_cart8.bin" "$files/cart8.rom"
cp "$firmware/load_cart16.bin" "$files/cart16.bin"
printf 'not even a tape' >"$files/GAME.CAQ"
expect_type application/octet-stream "$files/t.bin"
expect_type application/octet-stream "$files/almost.rom"
expect_type application/octet-stream "$files/almost.rom" whole_file_type
cartridge=application/x-aquarius-cartridge
for cart in GAME.ROM cart8.rom cart16.bin; do expect_type $cartridge "$files/$cart"; done
for cart in game16.bin up16.rom; do expect_type $cartridge "$files/$cart" whole_file_type; done
expect_type application/x-aquarius-cassette "$files/GAME.CAQ"

# --help and --version with no display and an empty home: an answer, and nothing made.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
mkdir -p "$prefix/home"
for program in vantorel vantorel-headless; do
  for option in --help --version; do
    out=$(cd "$prefix/home" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$prefix/home" \
            "$prefix/bin/$program" $option 2>"$prefix/stderr") ||
      fail "$program $option ended with status $?: $(cat "$prefix/stderr")"
    [ -n "$out" ] && [ ! -s "$prefix/stderr" ] ||
      fail "$program $option said '$out', on standard error '$(cat "$prefix/stderr")'"
    [ -z "$(ls -A "$prefix/home")" ] || fail "$program $option made $(ls -A "$prefix/home")"
  done
  [ "$out" = "$program $version" ] || fail "$program --version says '$out'"

  page=$prefix/share/man/man1/$program.1
  [ -f "$page" ] || fail "no man page $page"
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$program.1: $warnings"
  tags=$(awk 'previous == ".TP" { print } { previous = $0 }' "$page" | sed 's/\\-/-/g')
  for option in $("$prefix/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "\(^\| \)$option\( \|\$\)" <<<"$tags" || fail "$program.1 has no entry for $option"
  done
done

# The metainfo, and that the desktop entry it names is installed beside it.
ls "$prefix"/share/metainfo/*.metainfo.xml >/dev/null 2>&1 || fail "no AppStream metainfo"
appstreamcli validate-tree --no-net "$prefix" >"$prefix/validate.txt" 2>&1 ||
  fail "appstreamcli validate-tree: $(cat "$prefix/validate.txt")"
echo PASS
