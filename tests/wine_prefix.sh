#!/bin/sh
# Creates the wine prefix the Windows tests share, once, before they run.
prefix=$1
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed: the Windows tests will be skipped"
  exit 0
fi
[ -f "$prefix/system.reg" ] && exit 0
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineboot --init && wineserver --wait
