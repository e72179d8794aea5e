#!/usr/bin/env bash
# The mutation test: plants faults one at a time in a clone of HEAD, rebuilds incrementally, runs
# the tests the fault can reach and says whether one caught it. Not part of CI.
#   scripts/mutate.sh [PATCH...]             the hand-written faults: every tests/mutants/*.patch
#                                            unless named (each patch's first line says what it
#                                            plants)
#   scripts/mutate.sh --generate N --seed S  N faults made by rule from the product code
#                                            (scripts/make-mutants.py), spread at random over
#                                            every library folder; the same seed makes the same
#                                            faults on the same code
# A fault that does not compile is dropped and counted apart. Only the tests whose program was
# relinked, or that run a program that was, can see a fault; the others are not run for it.
# A fault whose tests run longer than MUTATE_TIMEOUT seconds (default 240; the whole suite takes
# about 30 s) counts as timed out.
# The clone and its build stay in $MUTATE_WORK (/tmp/tessivo-mutate-FOLDER unless set) and are
# brought up to HEAD by the next run, so only the first run builds everything.
# Prints a line per fault and a count; the table stays in $MUTATE_WORK/results.tsv and each
# survivor's patch in $MUTATE_WORK/survivors/. Exits 1 when a fault survived.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=${MUTATE_WORK:-/tmp/tessivo-mutate-$(basename "$root")}
timeout_seconds=${MUTATE_TIMEOUT:-240}
generate=0 seed=
patches=()
while [ $# -gt 0 ]; do
  case $1 in
    --generate) generate=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    *) patches+=("$1"); shift ;;
  esac
done
if [ "$generate" -gt 0 ] && [ -z "$seed" ]; then
  echo "mutate.sh: --generate needs --seed" >&2
  exit 2
fi

mkdir -p "$work"
tree=$work/tree
if [ -d "$tree/.git" ]; then
  git -C "$tree" fetch -q "$root" HEAD
  git -C "$tree" reset -q --hard FETCH_HEAD
  git -C "$tree" clean -fdq -e build
else
  git clone -q "$root" "$tree"
  git -C "$tree" checkout -q --detach "$(git -C "$root" rev-parse HEAD)"
fi
rm -rf "$work/faults" "$work/survivors" "$work"/*.log
mkdir -p "$work/faults" "$work/survivors"
if [ "$generate" -gt 0 ]; then
  python3 "$root/scripts/make-mutants.py" --count "$generate" --seed "$seed" \
    --root "$tree" --out "$work/faults"
  patches=("$work"/faults/*.patch)
elif [ ${#patches[@]} -eq 0 ]; then
  patches=("$root"/tests/mutants/*.patch)
fi

echo "mutate.sh: building $(git -C "$tree" rev-parse --short HEAD) in $tree/build"
# Without -Werror: a fault that only draws a warning (parentheses, an unused variable) still
# builds, and is a fault to catch.
(cd "$tree" && bash scripts/build.sh -DTESSIVO_WERROR=OFF >"$work/build.log" 2>&1) || {
  cat "$work/build.log" >&2
  echo "mutate.sh: the unmutated tree does not build" >&2
  exit 2
}
if ! (cd "$tree/build" && QT_QPA_PLATFORM=offscreen ctest --parallel "$(nproc)" >"$work/base.log" 2>&1); then
  echo "mutate.sh: the suite fails without any fault planted; see $work/base.log" >&2
  exit 2
fi

# The programs each test runs, from tests/CMakeLists.txt: "tst_x prog prog".
runs=$(sed -n 's/^tessivo_test(\([a-z_]*\) .*RUNS \([^)]*\)).*/\1 \2/p' "$tree/tests/CMakeLists.txt")

# The tests a build just relinked, or that run a program it relinked, as a ctest -R expression.
reached_tests() {
  local stamp=$1 programs=() tests=()
  while IFS= read -r file; do
    case $(basename "$file") in
      tst_*) tests+=("$(basename "$file")") ;;
      tessivo-*) programs+=("$(basename "$file")") ;;
    esac
  done < <(find "$tree/build/tests" "$tree/build/cli" "$tree/build/libexec" -type f -perm -u+x \
             -newer "$stamp" 2>/dev/null)
  local line program
  for program in "${programs[@]}"; do
    while read -r line; do
      case " ${line#* } " in *" $program "*) tests+=("${line%% *}") ;; esac
    done <<<"$runs"
  done
  [ ${#tests[@]} -gt 0 ] || return 0
  printf '%s\n' "${tests[@]}" | sort -u | sed 's/.*/^&$/' | paste -sd'|' -
}

printf 'fault\tresult\tcaught by\tplanted\n' >"$work/results.tsv"
caught=0 survived=0 stillborn=0 timedout=0
for patch in "${patches[@]}"; do
  name=$(basename "$patch" .patch)
  what=$(sed -n '1s/^Planted fault: //p' "$patch")
  if ! git -C "$tree" apply "$patch" 2>/dev/null; then
    echo "mutate.sh: $name does not apply to HEAD" >&2
    printf '%s\tdoes not apply\t\t%s\n' "$name" "$what" >>"$work/results.tsv"
    continue
  fi
  touch "$work/stamp"
  by=""
  if ! cmake --build "$tree/build" --parallel "$(nproc)" >"$work/$name.build.log" 2>&1; then
    result="does not build"
    stillborn=$((stillborn + 1))
  else
    tests=$(reached_tests "$work/stamp")
    if [ -z "$tests" ]; then
      result="SURVIVED" by="(no test reaches it)"
      survived=$((survived + 1))
    else
      set +e
      (cd "$tree/build" && QT_QPA_PLATFORM=offscreen timeout "$timeout_seconds" \
        ctest --parallel "$(nproc)" --timeout "$timeout_seconds" -R "$tests" >"$work/$name.log" 2>&1)
      status=$?
      set -e
      if [ $status -eq 0 ]; then
        result="SURVIVED"
        survived=$((survived + 1))
      elif [ $status -eq 124 ] || grep -q '(Timeout)' "$work/$name.log"; then
        result="timed out"
        timedout=$((timedout + 1))
      else
        result="caught"
        by=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$work/$name.log" | paste -sd, -)
        caught=$((caught + 1))
      fi
    fi
  fi
  if [ "$result" = SURVIVED ]; then
    cp "$patch" "$work/survivors/"
  fi
  git -C "$tree" apply -R "$patch"
  printf '%-40s %-15s %s   (%s)\n' "$name" "$result" "$by" "$what"
  printf '%s\t%s\t%s\t%s\n' "$name" "$result" "$by" "$what" >>"$work/results.tsv"
done
# The last build leaves the tree as it was: rebuilt so that a rerun starts from HEAD.
cmake --build "$tree/build" --parallel "$(nproc)" >/dev/null 2>&1 || true

built=$((caught + survived + timedout))
echo "mutate.sh: $built faults built, $stillborn did not"
echo "mutate.sh: $caught caught, $timedout timed out, $survived survived"
if [ "$built" -gt 0 ]; then
  echo "mutate.sh: $(((caught + timedout) * 1000 / built / 10)).$(((caught + timedout) * 1000 / built % 10)) % of the faults that built were caught or timed out"
fi
if [ "$survived" -gt 0 ]; then
  echo "mutate.sh: the survivors:"
  for patch in "$work"/survivors/*.patch; do
    echo
    sed -n '1p' "$patch"
    sed -n '/^@@/,$p' "$patch"
  done
fi
[ "$survived" -eq 0 ]
