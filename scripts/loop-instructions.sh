#!/usr/bin/env bash
# Counts the instructions the run class takes per cell: the default run on PICTURE, three times
# on one Canvas, under callgrind, collecting only the runs (start, every tick and the finish).
#   scripts/loop-instructions.sh [BENCH_BINARY] PICTURE
# BENCH_BINARY defaults to build-rel/bench/tessivo-bench (configure with -DTESSIVO_EXTRAS=ON).
set -euo pipefail
if [ $# -ge 2 ]; then bench=$1; shift; else bench=build-rel/bench/tessivo-bench; fi
picture=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --collect-atstart=no \
  --callgrind-out-file="$out/cg.out" "$bench" loop "$picture" 3 >"$out/stdout" 2>"$out/stderr"
cells=$(sed -n 's/^cells=//p' "$out/stdout")
instructions=$(sed -n 's/^totals: *//p' "$out/cg.out")
echo "cells=$cells"
echo "instructions=$instructions"
awk -v i="$instructions" -v c="$cells" 'BEGIN { printf "instructions_per_cell=%.1f\n", i / c }'
