#!/usr/bin/env bash
# Sets Wave up on Debian 12: installs the packages it needs that are missing, then builds.
#
#   ./setup.sh           build the programs into build/
#   ./setup.sh test      also build the sanitizer variant (build-sanitize/), the 64-bit ARM
#                        Linux programs (build-aarch64/) and the Windows programs (build-windows/,
#                        build-windows64/), then run every test: the ARM ones under qemu, the
#                        Windows ones under wine, the Debian packages through lintian
#   ./setup.sh windows   build only the Windows programs, 32- and 64-bit
#   ./setup.sh package   the packages: Debian packages for amd64 and arm64, a zip for each
#                        Windows build, all in packages/
#   ./setup.sh web       build the web page into build-web/
#   ./setup.sh fuzz [SECONDS]
#                        build the fuzz target of the note reader (build-fuzz/) and run it, for
#                        SECONDS (default 60); a finding is kept in build-fuzz/fuzz/
#
# A package index that cannot be fetched (one architecture's, say) does not stop it: what can be
# installed is installed, and what therefore cannot be built or tested is said on standard error.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-build}
case "$mode" in
  build | test | windows | package | web | fuzz) ;;
  *) echo "usage: ./setup.sh [test|windows|package|web|fuzz [SECONDS]]" >&2; exit 2 ;;
esac

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
updated=no
skipped=()  # what cannot be built or tested here, and why

warn() { echo "setup: WARNING: $*" >&2; }

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
  done
}

# apt-get update, once. Where some indexes fail (a mirror caught mid-sync fails one
# architecture's with "File has unexpected size", and apt then drops that whole release, the
# other architectures' new indexes too), the update is made again for the architectures whose
# indexes came through: their packages can be installed, the others' cannot.
update_package_lists() {
  [ $updated = yes ] && return 0
  updated=yes
  local log
  log=$(mktemp)
  if "${apt[@]}" update 2>&1 | tee "$log" >&2; then
    rm -f "$log"
    return 0
  fi
  local failed all arch good=()
  failed=$(grep -E '^[EW]: Failed to fetch' "$log" | grep -o 'binary-[a-z0-9]*/' | sed 's/binary-//; s,/,,' | sort -u || true)
  rm -f "$log"
  if [ -z "$failed" ]; then
    warn "apt-get update failed; installing from the package lists there are"
    return 0
  fi
  all=$(dpkg --print-architecture; dpkg --print-foreign-architectures)
  for arch in $all; do
    grep -qx "$arch" <<<"$failed" || good+=(-o "APT::Architectures::=$arch")
  done
  warn "the package index of" $failed "could not be fetched; updating the others alone:" \
    "no package of" $failed "can be installed"
  [ ${#good[@]} -gt 0 ] && "${apt[@]}" "${good[@]}" update >&2 || warn "apt-get update failed again"
}

# Installs those of the packages that are missing; returns non-zero if that fails.
install() {
  local missing
  missing=$(missing_of "$@")
  [ -z "$missing" ] && return 0
  echo "setup: installing" $missing >&2
  update_package_lists
  # shellcheck disable=SC2086
  "${apt[@]}" install -y --no-install-recommends $missing
}

# Installs one group of packages for a part of the tests; where that cannot be done, notes that
# the part is skipped. Returns non-zero then.
install_for() {
  local part=$1 missing
  shift
  missing=$(missing_of "$@" | paste -sd ' ')
  install "$@" && return 0
  skipped+=("$part (could not install $missing)")
  warn "could not install $missing: $part will be skipped"
  return 1
}

add_architecture() {
  dpkg --print-foreign-architectures | grep -qx "$1" && return 0
  "${sudo[@]}" dpkg --add-architecture "$1"
  updated=no
}

# librsvg2-bin's rsvg-convert renders the icon's PNGs from its SVG.
build_tools=(g++ cmake ninja-build pkg-config librsvg2-bin)
# The 64-bit ARM cross build, its libraries and the emulator its tests run under.
arm64_packages=(g++-aarch64-linux-gnu qemu-user libsndfile1-dev:arm64 libsdl2-dev:arm64 libgtest-dev:arm64
                zlib1g-dev:arm64 libbenchmark-dev:arm64 libpulse-dev:arm64)
windows_tools=(g++-mingw-w64-i686 g++-mingw-w64-x86-64)

# The player's sound: SDL2, and libpulse to talk to a PulseAudio or PipeWire server itself.
player_packages=(libsndfile1-dev libsdl2-dev libpulse-dev)
# Private sound servers for the player's tests: PulseAudio, and PipeWire with its pulse server.
sound_server_packages=(pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus-daemon)
# Debian's checkers of a package, its menu entry and its AppStream metadata.
package_check_packages=(lintian desktop-file-utils appstream)

# Configures and builds a preset; of configure's output, what the build leaves out and why.
build_preset() {
  cmake --preset "$1" "${@:2}" | { grep -E '\(Debian: |Sound output' | sed "s/^-- /setup: $1: /" >&2 || true; }
  cmake --build --preset "$1"
}

# The fuzz target: clang with libFuzzer and the sanitizers' runtimes.
fuzz_packages=(clang libclang-rt-14-dev cmake ninja-build)

# --- The web page (build-web/) -------------------------------------------------------------------
# Debian's emscripten builds it (and brings node, which runs its tests), and GoogleTest is built for
# WebAssembly from libgtest-dev's sources. The page tests run in three engines, each with what
# drives it: Chromium with chromedriver, Firefox ESR (which speaks WebDriver BiDi itself), and
# WebKitGTK's MiniBrowser with WebKitWebDriver under Xvfb; all with a Japanese font for the
# prompt's screenshots and a private PulseAudio null sink to play to.
web_packages=(cmake ninja-build emscripten)
browser_packages=(fonts-ipafont-gothic pulseaudio pulseaudio-utils)
chromium_packages=(chromium chromium-driver)
firefox_packages=(firefox-esr)
webkit_packages=(webkit2gtk-driver xvfb)
# Builds the page and its tests and runs them; says loudly what it has to skip. Each engine is
# installed on its own: one that cannot be has only its own tests skipped.
test_web() {
  if ! install_for "the web build and its tests" "${web_packages[@]}" libgtest-dev; then
    return 0
  fi
  if install_for "the tests of the page in a browser" "${browser_packages[@]}"; then
    install_for "the tests of the page in Chromium" "${chromium_packages[@]}" || true
    install_for "the tests of the page in Firefox" "${firefox_packages[@]}" || true
    install_for "the tests of the page in WebKitGTK" "${webkit_packages[@]}" || true
  fi
  build_preset web -DBUILD_TESTING=ON
  ctest --preset web
}
# ---------------------------------------------------------------------------------------------------

case "$mode" in
  build)
    packages=("${build_tools[@]}" "${player_packages[@]}")
    # The desktop dialog needs X core fonts on X11 and zenity on Wayland.
    [ -n "${DISPLAY:-}" ] && packages+=(xfonts-base)
    [ -n "${WAYLAND_DISPLAY:-}" ] && packages+=(zenity)
    install "${packages[@]}"
    build_preset default -DBUILD_TESTING=OFF
    ;;
  windows)
    install cmake ninja-build "${windows_tools[@]}"
    build_preset windows
    build_preset windows64
    ;;
  fuzz)
    seconds=${2:-60}
    [[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: ./setup.sh fuzz [SECONDS]" >&2; exit 2; }
    install "${fuzz_packages[@]}"
    build_preset fuzz
    mkdir -p build-fuzz/fuzz/corpus
    build-fuzz/notes_fuzz -max_total_time="$seconds" -max_len=8192 -timeout=30 -artifact_prefix=build-fuzz/fuzz/ \
      build-fuzz/fuzz/corpus fuzz/corpus
    ;;
  web)
    install "${web_packages[@]}"
    build_preset web -DBUILD_TESTING=OFF
    echo "setup: the page is in build-web/; serve it with: python3 -m http.server -d build-web -b 127.0.0.1 8000" >&2
    ;;
  package)
    add_architecture arm64
    install "${build_tools[@]}" "${player_packages[@]}" dpkg-dev file "${windows_tools[@]}"
    arm64=yes
    install_for "the arm64 Debian package" "${arm64_packages[@]}" || arm64=no
    mkdir -p packages
    build_preset default -DBUILD_TESTING=OFF
    presets=(default windows windows64)
    if [ $arm64 = yes ]; then
      build_preset aarch64 -DBUILD_TESTING=OFF
      presets+=(aarch64)
    fi
    build_preset windows
    build_preset windows64
    for preset in "${presets[@]}"; do
      dir=build-$preset
      [ "$preset" = default ] && dir=build
      (cd "$dir" && cpack -B "$OLDPWD/packages" >&2)
    done
    rm -rf packages/_CPack_Packages
    ls -l packages
    ;;
  test)
    # Architectures first, so that one update fetches every index.
    add_architecture arm64
    add_architecture i386
    install "${build_tools[@]}" "${player_packages[@]}" libgtest-dev libbenchmark-dev zlib1g-dev \
      acl libx11-dev locales xvfb xdotool xfonts-base dpkg-dev unzip "${windows_tools[@]}"
    install_for "the player's tests against real sound servers" "${sound_server_packages[@]}" || true
    install_for "the checks of the packages by lintian, desktop-file-validate and appstreamcli" \
      "${package_check_packages[@]}" || true
    arm64=yes
    install_for "the 64-bit ARM build and its tests" "${arm64_packages[@]}" || arm64=no
    # wine64 runs the 64-bit Windows programs; the 32-bit ones need wine32 from the i386
    # architecture. The tests of a build without its wine report themselves skipped.
    install_for "the tests of the 64-bit Windows programs" wine wine64 || true
    if install_for "the tests of the 32-bit Windows programs" wine wine32:i386 &&
       ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      skipped+=("the tests of the 32-bit Windows programs (this kernel runs no 32-bit programs)")
      warn "this kernel runs no 32-bit programs: the tests of the 32-bit Windows programs will be skipped"
    fi

    build_preset windows
    build_preset windows64
    build_preset default -DBUILD_TESTING=ON
    build_preset sanitize
    if [ $arm64 = yes ]; then build_preset aarch64; fi
    ctest --preset default
    ctest --preset sanitize
    if [ $arm64 = yes ]; then ctest --preset aarch64; fi
    if install_for "the fuzz target's short run" "${fuzz_packages[@]}"; then
      build_preset fuzz
      ctest --preset fuzz
    fi
    test_web
    if [ ${#skipped[@]} -gt 0 ]; then
      warn "not everything could be tested here:"
      printf 'setup: WARNING:   %s\n' "${skipped[@]}" >&2
    fi
    ;;
esac
