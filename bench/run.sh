#!/usr/bin/env bash
# Measures the render against the straightforward implementation, in one run on this machine:
#   1. wave-export as a whole process (start, render, convert, write), the straightforward
#      version (built from git, by default the commit before the render paths) against this one,
#      as the medians of alternating runs, the output file removed before each;
#   2. wave-bench: every stage and the whole render, straightforward and on every render path.
# Usage: bench/run.sh [runs] [baseline-commit]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
base_commit=${2:-35a114e}

cmake --preset default -DBUILD_TESTING=ON >/dev/null
cmake --build --preset default --target wave-export wave-bench >/dev/null

# The baseline's sources are unpacked from git, not checked out: no worktree is left behind.
base=build-bench/baseline-$base_commit
if [ ! -x "$base/build/wave-export" ]; then
  rm -rf "$base"
  mkdir -p "$base/src"
  git archive "$base_commit" | tar -x -C "$base/src"
  cmake -S "$base/src" -B "$base/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$base/build" --target wave-export >/dev/null
fi

out=$(mktemp -d)/tune.wav
ms() { echo $(( ($2 - $1) / 1000 )); }  # nanoseconds to microseconds
declare -a straight fast
for ((i = 0; i < runs; i++)); do
  for which in straight fast; do
    prog=build/wave-export
    [ "$which" = straight ] && prog=$base/build/wave-export
    rm -f "$out"
    t0=$(date +%s%N)
    "$prog" "$out" >/dev/null
    t1=$(date +%s%N)
    if [ "$which" = straight ]; then straight+=("$(ms "$t0" "$t1")"); else fast+=("$(ms "$t0" "$t1")"); fi
  done
done
rm -rf "$(dirname "$out")"
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
ms_straight=$(median "${straight[@]}")
ms_fast=$(median "${fast[@]}")
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "wave-export tune.wav, median of $runs alternating runs:"
awk -v a="$ms_straight" -v b="$ms_fast" 'BEGIN {printf "  straightforward %.1f ms, this %.1f ms, %.2f times faster\n", a/1000, b/1000, a/b}'
echo
build/wave-bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'median|Benchmark'
