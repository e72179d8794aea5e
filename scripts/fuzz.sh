#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# into build-fuzz/ (or FUZZ_BUILD_DIR) and runs them, one after another.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
#       Fuzzes each target (all six unless named) for SECONDS, 3600 by default, going on past
#       what it finds. New inputs collect in build-fuzz/corpus/TARGET and are kept for the next
#       run; crashes, leaks, hangs and memory blow-ups are written to build-fuzz/findings/TARGET/.
#       Fails when anything was found.
#   bash scripts/fuzz.sh --ci
#       The short run of scripts/test.sh: each target for CI_FUZZ_SECONDS (25) from its seed
#       corpus only, with a fixed random seed. Fails on the first finding.
#
# Targets: tablefile options picture_qt picture_wmf picture_emf animation (with or without
# "fuzz_").
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(tablefile options picture_qt picture_wmf picture_emf animation)
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}

ci=false
seconds=3600
if [ "${1:-}" = "--ci" ]; then
  ci=true
  seconds=${CI_FUZZ_SECONDS:-25}
  shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=("${all_targets[@]}"); fi
targets=("${targets[@]#fuzz_}")
for t in "${targets[@]}"; do
  if [[ ! " ${all_targets[*]} " =~ " $t " ]]; then
    echo "fuzz.sh: no target $t (${all_targets[*]})" >&2
    exit 2
  fi
done

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTESSIVO_FUZZ=ON -DTESSIVO_WERROR=ON >/dev/null
cmake --build "$build_dir" --target fuzzers --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1
status=0
for t in "${targets[@]}"; do
  findings="$build_dir/findings/$t"
  log="$build_dir/logs/$t.log"
  mkdir -p "$findings" "$(dirname "$log")"
  options=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1)
  if [ "$t" = options ]; then options+=(-dict=fuzz/options.dict); fi
  if $ci; then
    # A corpus of this run's own, so that every CI run starts from the same seeds.
    corpus=$(mktemp -d)
    cp fuzz/corpus/"$t"/* "$corpus"/
    options+=(-seed=1 -max_total_time="$seconds")
    echo "fuzz.sh: fuzz_$t ${options[*]}"
    if "$build_dir/fuzz/fuzz_$t" "${options[@]}" "$corpus" >"$log" 2>&1; then
      runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
      echo "fuzz.sh: fuzz_$t passed, ${runs:-?} inputs run (log: $log)"
      rm -rf "$corpus"
    else
      echo "fuzz.sh: fuzz_$t FOUND A FAULT; the input is in $findings/, the log ends:"
      tail -n 40 "$log"
      rm -rf "$corpus"
      exit 1
    fi
  else
    # Each input in a child process of its own, so that the run goes on past a finding.
    corpus="$build_dir/corpus/$t"
    mkdir -p "$corpus"
    options+=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
    options+=(-max_total_time="$seconds")
    start="$build_dir/logs/$t.start"
    touch "$start"
    echo "fuzz.sh: fuzz_$t ${options[*]}"
    "$build_dir/fuzz/fuzz_$t" "${options[@]}" "$corpus" "fuzz/corpus/$t" >"$log" 2>&1 || true
    runs=$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
    found=$(find "$findings" -type f -newer "$start" | wc -l)
    echo "fuzz.sh: fuzz_$t: ${runs:-?} inputs run in $seconds s, $found new findings (log: $log)"
    if [ "$found" -gt 0 ]; then status=1; fi
  fi
done
exit $status
