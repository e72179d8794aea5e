#!/usr/bin/env bash
# The mutation test: plants each fault of tests/mutants/ (one small patch each, its first line
# saying what it plants) one at a time in a clone of HEAD, rebuilds incrementally, runs the whole
# test suite and says whether a test caught the fault. Not part of CI: each fault costs a
# rebuild and a run of the suite, about 25 seconds on two cores (some 25 minutes in all).
#   scripts/mutate.sh [PATCH...]      every tests/mutants/*.patch unless named
# Prints a line per fault and a count; the table stays in $MUTATE_WORK/results.tsv
# (/tmp/tessivo-mutate unless set). Exits 1 when a fault survived.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=${MUTATE_WORK:-/tmp/tessivo-mutate}
patches=("$@")
if [ ${#patches[@]} -eq 0 ]; then patches=("$root"/tests/mutants/*.patch); fi

rm -rf "$work"
mkdir -p "$work"
git clone -q "$root" "$work/tree"
tree=$work/tree
echo "mutate.sh: building $(git -C "$tree" rev-parse --short HEAD) in $tree/build"
(cd "$tree" && bash scripts/build.sh >"$work/build.log" 2>&1) || {
  cat "$work/build.log" >&2
  echo "mutate.sh: the unmutated tree does not build" >&2
  exit 2
}
if ! (cd "$tree/build" && QT_QPA_PLATFORM=offscreen ctest --parallel "$(nproc)" >"$work/base.log" 2>&1); then
  echo "mutate.sh: the suite fails without any fault planted; see $work/base.log" >&2
  exit 2
fi

printf 'fault\tresult\tcaught by\n' >"$work/results.tsv"
caught=0 survived=0 stillborn=0
for patch in "${patches[@]}"; do
  name=$(basename "$patch" .patch)
  what=$(sed -n '1s/^Planted fault: //p' "$patch")
  if ! git -C "$tree" apply "$patch" 2>/dev/null; then
    echo "mutate.sh: $name does not apply to HEAD" >&2
    printf '%s\tdoes not apply\t\n' "$name" >>"$work/results.tsv"
    continue
  fi
  if ! cmake --build "$tree/build" --parallel "$(nproc)" >"$work/$name.build.log" 2>&1; then
    result="does not build" by="the compiler"
    stillborn=$((stillborn + 1))
  elif (cd "$tree/build" && QT_QPA_PLATFORM=offscreen ctest --parallel "$(nproc)" \
          >"$work/$name.log" 2>&1); then
    result="SURVIVED" by=""
    survived=$((survived + 1))
  else
    result="caught"
    by=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$work/$name.log" | paste -sd, -)
    caught=$((caught + 1))
  fi
  git -C "$tree" apply -R "$patch"
  printf '%-40s %-15s %s   (%s)\n' "$name" "$result" "$by" "$what"
  printf '%s\t%s\t%s\n' "$name" "$result" "$by" >>"$work/results.tsv"
done
# The last build leaves the tree as it was: rebuilt so that a rerun starts from HEAD.
cmake --build "$tree/build" --parallel "$(nproc)" >/dev/null 2>&1 || true
total=$((caught + survived))
echo "mutate.sh: $caught of $total faults caught, $survived survived, $stillborn did not build"
[ "$survived" -eq 0 ]
