#!/usr/bin/env bash
# Configures and builds Tessivo into build/ (or the folder given as BUILD_DIR).
# Extra arguments go to CMake's configure step, e.g. -DTESSIVO_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
build_type=${BUILD_TYPE:-RelWithDebInfo}
# The configure step's progress lines are kept back unless it fails; then they are shown whole
# with its errors. Warnings always show (CMake writes them to standard error).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DTESSIVO_WERROR=ON \
  "$@" >"$log"; then
  cat "$log" >&2
  echo "build.sh: configuring $build_dir failed" >&2
  exit 1
fi
cmake --build "$build_dir" --parallel "$(nproc)"
