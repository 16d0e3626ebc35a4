#!/usr/bin/env bash
# Measures what a user waits for, in one run on this machine, each as medians of alternating runs:
#   1. the two sample buffers' pages in a fresh process: brought in, then written once, with
#      transparent huge pages and without them (as on a system that has them off);
#   2. wave-export as a whole process (start, render, convert, write): the straightforward version
#      (by default the commit before the render paths), an earlier version of this tree if one is
#      given, and this one; the output file removed before each run;
#   3. the player's first sound through a private PulseAudio, from its start: the earlier version
#      (if given), this one, and paplay of the same block as a WAV file (what the server and the
#      recording take of any program's time), with wave-export as a whole process in the same
#      turns, to compare the player with;
#   4. wave-bench: every stage and the whole render, straightforward and on every render path.
# Usage: bench/run.sh [runs] [earlier-commit] [straightforward-commit]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
earlier_commit=${2:-}
straight_commit=${3:-35a114e}

cmake --preset default -DBUILD_TESTING=ON >/dev/null
cmake --build --preset default --target wave wave-export wave-bench wave-buffer-pages wave-first-sound \
  restricted_run >/dev/null

# Another commit's programs, built from its sources as git has them (no worktree is left behind);
# prints the build directory.
build_commit() {
  local dir=build-bench/at-$1
  if [ ! -x "$dir/build/wave-export" ]; then
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git archive "$1" | tar -x -C "$dir/src"
    cmake -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$dir/build" >/dev/null
  fi
  echo "$dir/build"
}
straight=$(build_commit "$straight_commit")
earlier=
[ -n "$earlier_commit" ] && earlier=$(build_commit "$earlier_commit")

median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores;" \
  "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo none)"

echo
echo "1. the sample buffers' pages in a fresh process, median of $runs alternating runs:"
declare -a huge_in huge_write small_in small_write
for ((i = 0; i < runs; i++)); do
  read -r a b < <(build/wave-buffer-pages)
  huge_in+=("$a") huge_write+=("$b")
  read -r a b < <(build/restricted_run --no-huge-pages build/wave-buffer-pages)
  small_in+=("$a") small_write+=("$b")
done
echo "  huge pages:  brought in $(median "${huge_in[@]}") ms, then written $(median "${huge_write[@]}") ms"
echo "  small pages: brought in $(median "${small_in[@]}") ms, then written $(median "${small_write[@]}") ms"

echo
echo "2. wave-export tune.wav as a whole process, median of $runs alternating runs:"
programs=("$straight/wave-export" build/wave-export)
names=("straightforward ($straight_commit)" "this tree")
if [ -n "$earlier" ]; then
  programs=("$straight/wave-export" "$earlier/wave-export" build/wave-export)
  names=("straightforward ($straight_commit)" "earlier ($earlier_commit)" "this tree")
fi
declare -A took
for ((i = 0; i < runs; i++)); do
  for k in "${!programs[@]}"; do
    rm -f "$tmp/tune.wav"
    t0=$(date +%s%N)
    "${programs[$k]}" "$tmp/tune.wav" >/dev/null
    t1=$(date +%s%N)
    took[$k]+=" $(( (t1 - t0) / 1000 ))"  # microseconds
  done
done
last=$(( ${#programs[@]} - 1 ))
# shellcheck disable=SC2086
this_us=$(median ${took[$last]})
for k in "${!programs[@]}"; do
  # shellcheck disable=SC2086
  us=$(median ${took[$k]})
  awk -v n="${names[$k]}" -v a="$us" -v b="$this_us" 'BEGIN {printf "  %-28s %7.1f ms  (%.2f times this tree)\n", n, a/1000, a/b}'
done

echo
echo "3. start to first sound through a private PulseAudio, median of $runs alternating runs, and in"
echo "   the same turns wave-export as a whole process (marked =):"
build/wave-export "$tmp/song.wav" >/dev/null
players=(build/wave "paplay $tmp/song.wav" "=build/wave-export $tmp/tune.wav")
[ -n "$earlier" ] && players=("$earlier/wave" "${players[@]}")
if ! build/wave-first-sound "$runs" "${players[@]}"; then
  echo "  (skipped: no private PulseAudio here; ./setup.sh test installs pulseaudio)"
fi

echo
echo "4. the render's stages:"
build/wave-bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'median|Benchmark'
