#!/usr/bin/env bash
# Sets Wave up on Debian 12: installs the packages it needs that are missing, then builds it into
# build/. With "test", also builds the sanitizer variant into build-sanitize/ and runs every test
# in both.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-build}
case "$mode" in
  build | test) ;;
  *) echo "usage: ./setup.sh [test]" >&2; exit 2 ;;
esac

packages=(g++ cmake ninja-build pkg-config libsndfile1-dev libsdl2-dev)
if [ "$mode" = test ]; then
  # The tests also drive the desktop dialog on a virtual X server.
  packages+=(libgtest-dev zlib1g-dev xvfb xdotool xfonts-base)
else
  # The desktop dialog needs X core fonts on X11 and zenity on Wayland.
  [ -n "${DISPLAY:-}" ] && packages+=(xfonts-base)
  [ -n "${WAYLAND_DISPLAY:-}" ] && packages+=(zenity)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ "$mode" = build ]; then
  cmake --preset default -DBUILD_TESTING=OFF >/dev/null
  cmake --build --preset default
  exit 0
fi

cmake --preset default -DBUILD_TESTING=ON >/dev/null
cmake --build --preset default
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset default
ctest --preset sanitize
