#!/usr/bin/env bash
# Sets Wave up on Debian 12: installs the packages it needs that are missing, then builds.
#
#   ./setup.sh           build the programs into build/
#   ./setup.sh test      also build the sanitizer variant (build-sanitize/) and the Windows
#                        programs (build-windows/), then run every test, the Windows ones under wine
#   ./setup.sh windows   build only the 32-bit Windows programs into build-windows/
#   ./setup.sh web       build only the web page into build-web/ (serve that folder and open it)
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-build}
case "$mode" in
  build | test | windows | web) ;;
  *) echo "usage: ./setup.sh [test|windows|web]" >&2; exit 2 ;;
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

# --- The web page (build-web/) -------------------------------------------------------------------
# Debian's emscripten builds it (and brings node, which runs its tests); the page tests drive
# Debian's Chromium through chromedriver, with a Japanese font for the prompt's screenshot, and
# build GoogleTest for WebAssembly from libgtest-dev's sources.
web_packages=(cmake ninja-build emscripten)
browser_packages=(chromium chromium-driver fonts-ipafont-gothic)
build_web() {
  cmake --preset web "$@" >/dev/null
  cmake --build --preset web
}
# Builds the page and its tests and runs them; says loudly what it has to skip.
test_web() {
  if ! install "${web_packages[@]}" libgtest-dev; then
    echo "setup: WARNING: emscripten could not be installed; the web build and its tests are skipped" >&2
    return 0
  fi
  if ! install "${browser_packages[@]}"; then
    echo "setup: WARNING: Chromium could not be installed; the tests of the page in a browser are skipped" >&2
  fi
  build_web -DBUILD_TESTING=ON
  ctest --preset web
}
# ---------------------------------------------------------------------------------------------------
case "$mode" in
  build)
    packages=("${build_tools[@]}" libsndfile1-dev libsdl2-dev libpulse-dev)
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
  web)
    install "${web_packages[@]}"
    build_web -DBUILD_TESTING=OFF
    echo "setup: the page is in build-web/; serve it with: python3 -m http.server -d build-web -b 127.0.0.1 8000" >&2
    ;;
  test)
    install "${build_tools[@]}" libsndfile1-dev libsdl2-dev libpulse-dev libgtest-dev libbenchmark-dev zlib1g-dev \
      xvfb xdotool xfonts-base g++-mingw-w64-i686 pulseaudio pulseaudio-utils \
      pipewire pipewire-pulse wireplumber dbus-daemon
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
    test_web
    ;;
esac
