#!/bin/bash
# `cmake --install` into a scratch prefix: the desktop entry starts the program with the file it
# was given and declares the Aquarius types, which the shared MIME database then gives to
# .caq, .rom and .bin files.
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null 2>&1 || { echo "FAIL: cmake --install"; exit 1; }
entry=$prefix/share/applications/vantorel.desktop
grep -qx 'Exec=vantorel %f' "$entry" || { echo "FAIL: $(cat "$entry")"; exit 1; }
[ -x "$prefix/bin/vantorel" ] || { echo "FAIL: no installed program"; exit 1; }
update-mime-database "$prefix/share/mime" || { echo "FAIL: update-mime-database"; exit 1; }
types=$(sed -n 's/^MimeType=//p' "$entry")
for glob in caq rom bin; do
  type=$(sed -n "s/^[0-9]*:\([^:]*\):\*\.$glob\$/\1/p" "$prefix/share/mime/globs2" | head -1)
  [ -n "$type" ] && [[ ";$types" == *";$type;"* ]] || { echo "FAIL: *.$glob is '$type', the entry declares $types"; exit 1; }
done
echo PASS
