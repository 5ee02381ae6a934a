#!/usr/bin/env bash
# Runs every benchmark executable of a build folder, one after the other.
set -euo pipefail
build_dir=${1:-build}
shopt -s nullglob
found=0
for bench in "$build_dir"/bench_*; do
  [ -x "$bench" ] || continue
  found=1
  echo "== $(basename "$bench")"
  "$bench" --benchmark_counters_tabular=true
done
[ $found = 1 ] || echo "no benchmarks built in $build_dir"
