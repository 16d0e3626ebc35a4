#!/usr/bin/env bash
# Sets Wave up on Debian 12: installs the packages it needs that are missing, then builds.
#
#   ./setup.sh           build the programs into build/
#   ./setup.sh test      also build the sanitizer variant (build-sanitize/) and the Windows
#                        programs (build-windows/), then run every test, the Windows ones under wine
#   ./setup.sh windows   build only the 32-bit Windows programs into build-windows/
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-build}
case "$mode" in
  build | test | windows) ;;
  *) echo "usage: ./setup.sh [test|windows]" >&2; exit 2 ;;
esac

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
updated=no

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
  done
}

# Installs those of the packages that are missing; returns non-zero if that fails.
install() {
  local missing
  missing=$(missing_of "$@")
  [ -z "$missing" ] && return 0
  echo "setup: installing" $missing >&2
  if [ $updated = no ]; then
    "${sudo[@]}" apt-get update || return 1
    updated=yes
  fi
  # shellcheck disable=SC2086
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

build_tools=(g++ cmake ninja-build pkg-config)
case "$mode" in
  build)
    packages=("${build_tools[@]}" libsndfile1-dev libsdl2-dev)
    # The desktop dialog needs X core fonts on X11 and zenity on Wayland.
    [ -n "${DISPLAY:-}" ] && packages+=(xfonts-base)
    [ -n "${WAYLAND_DISPLAY:-}" ] && packages+=(zenity)
    install "${packages[@]}"
    cmake --preset default -DBUILD_TESTING=OFF >/dev/null
    cmake --build --preset default
    ;;
  windows)
    install cmake ninja-build g++-mingw-w64-i686
    cmake --preset windows >/dev/null
    cmake --build --preset windows
    ;;
  test)
    install "${build_tools[@]}" libsndfile1-dev libsdl2-dev libgtest-dev libbenchmark-dev zlib1g-dev \
      acl libx11-dev locales xvfb xdotool xfonts-base g++-mingw-w64-i686 pulseaudio pulseaudio-utils
    # wine runs the 32-bit Windows programs; it needs the i386 architecture. Without it the
    # Windows tests report themselves skipped, so say so loudly here too.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      "${sudo[@]}" dpkg --add-architecture i386
      updated=no
    fi
    if ! install wine wine32:i386; then
      echo "setup: WARNING: wine could not be installed; the tests of the Windows programs will be skipped" >&2
    fi
    cmake --preset windows >/dev/null
    cmake --build --preset windows
    cmake --preset default -DBUILD_TESTING=ON >/dev/null
    cmake --build --preset default
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize
    ctest --preset default
    ctest --preset sanitize
    ;;
esac
