#!/bin/sh
# Installs the Debian packages the build, the programs and the tests need, when missing.
set -e
PACKAGES="build-essential cmake pkg-config libgtk-3-dev libsdl2-dev z80asm z80dasm libz80ex-dev
googletest libgtest-dev libcairo2-dev xvfb xauth x11-utils xdotool imagemagick openbox wmctrl clang
libclang-rt-14-dev shared-mime-info libglib2.0-bin appstream groff-base python3-gi sox"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
