#!/usr/bin/env bash
# Sets up the machine, builds Tessivo and runs the whole test suite, in four stages:
#   normal    the build of scripts/build.sh in build/, and every test
#   install   that build installed into a staging folder and run from there, the desktop entry
#             and metadata validated, the Debian package built and checked (scripts/install-check.sh)
#   sanitize  a build with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/, and
#             every test under them, leak detection on
#   fuzz      the fuzz targets in build-fuzz/, each run for a short, fixed time (scripts/fuzz.sh)
# All four run by default, in this order; name stages to run only those:
#   bash scripts/test.sh normal
set -euo pipefail
cd "$(dirname "$0")/.."

stages=("$@")
if [ ${#stages[@]} -eq 0 ]; then stages=(normal install sanitize fuzz); fi
for stage in "${stages[@]}"; do
  case $stage in
    normal | install | sanitize | fuzz) ;;
    *) echo "test.sh: no stage $stage (normal, install, sanitize, fuzz)" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh

run_tests() {
  (cd "$1" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)")
}

for stage in "${stages[@]}"; do
  echo "test.sh: $stage stage"
  SECONDS=0
  case $stage in
    normal)
      bash scripts/build.sh
      run_tests "${BUILD_DIR:-build}"
      ;;
    install)
      bash scripts/build.sh
      bash scripts/install-check.sh
      ;;
    sanitize)
      # Unoptimised: it builds fastest, and GCC's optimiser warns falsely about bounds in
      # sanitized code. Undefined behaviour stops a test (-fno-sanitize-recover).
      asan_dir=${ASAN_BUILD_DIR:-build-asan}
      BUILD_DIR=$asan_dir BUILD_TYPE=Debug bash scripts/build.sh -DTESSIVO_SANITIZE=ON
      UBSAN_OPTIONS=print_stacktrace=1 run_tests "$asan_dir"
      ;;
    fuzz)
      bash scripts/fuzz.sh --ci
      ;;
  esac
  echo "test.sh: $stage stage passed in ${SECONDS} s"
done
