#!/bin/sh
# Creates the wine prefix that the tests of one Windows build share, once, before they run.
#   wine_prefix.sh 32|64 PREFIX
bits=$1
prefix=$2
if [ "$bits" = 64 ]; then loader=/usr/lib/wine/wine64; arch=win64; else loader=/usr/lib/wine/wine; arch=win32; fi
if [ ! -x "$loader" ]; then
  echo "$loader is not installed: the tests of the $bits-bit Windows programs will be skipped"
  exit 0
fi
if ! "$loader" --version >/dev/null 2>&1; then
  echo "$loader cannot run on this kernel: the tests of the $bits-bit Windows programs will be skipped"
  exit 0
fi
[ -f "$prefix/system.reg" ] && exit 0
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
"$loader" wineboot --init && wineserver --wait
