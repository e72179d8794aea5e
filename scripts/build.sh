#!/usr/bin/env bash
# Configures and builds Tessivo into build/ (or the folder given as BUILD_DIR).
# Extra arguments go to CMake's configure step, e.g. -DTESSIVO_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
build_type=${BUILD_TYPE:-RelWithDebInfo}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DTESSIVO_WERROR=ON "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
