#!/usr/bin/env bash
# Measures Tessivo against its targets and prints a table of ratios:
#   the window's run against the run class alone, the longest stall of the window, the finish
#   against a bare text box, tessivo-convert against jp2a (time and memory), start-up against a
#   bare Qt window and against a bare window showing one line of text, opening a large photo
#   against a bare decode, the photo against djpeg's reduced decode, and 100 pictures converted
#   by one call against one jp2a call; and, counted by callgrind, the instructions the run class
#   takes per cell.
# Every figure is a median of several runs, measured side by side in one go.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
for p in jp2a hyperfine imagemagick time valgrind libjpeg-turbo-progs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$p" >/dev/null
done
BUILD_DIR=build-rel BUILD_TYPE=Release bash scripts/build.sh -DTESSIVO_EXTRAS=ON >/dev/null

out=build-rel/bench-data
mkdir -p "$out"
[ -f "$out/logo.jpg" ] || convert logo: "$out/logo.jpg"
[ -f "$out/photo.jpg" ] || convert -seed 7 -size 6000x4000 plasma:fractal -quality 90 "$out/photo.jpg"
# 100 different 640 x 480 JPEGs for the batch: the logo in other saturations and hues.
mkdir -p "$out/batch" "$out/batch-out"
for i in $(seq 1 100); do
  [ -f "$out/batch/p$i.jpg" ] ||
    convert logo: -modulate "100,$((50 + i)),$((i * 2))" -quality 90 "$out/batch/p$i.jpg"
done
batch=("$out"/batch/*.jpg)
export QT_QPA_PLATFORM=offscreen
bin=build-rel

# Times commands side by side and prints each one's median in seconds, a line each: several
# rounds, each a few runs of every command in turn, so that a slow spell of the machine falls on
# all of them alike rather than on whichever ran during it.
median_times() { # command...
  local round
  rm -f "$out"/h-*.json
  for ((round = 0; round < ${ROUNDS:-5}; round++)); do
    hyperfine -N -w 2 -r "${RUNS:-5}" --export-json "$out/h-$round.json" "$@" >/dev/null 2>&1
  done
  python3 - "$out"/h-*.json <<'PY'
import json, statistics, sys
times = {}
for name in sys.argv[1:]:
    for i, result in enumerate(json.load(open(name))["results"]):
        times.setdefault(i, []).extend(result["times"])
for i in sorted(times):
    print(statistics.median(times[i]))
PY
}
# Stores the medians of median_times into r[NAME] for each NAME=COMMAND given.
measure() { # NAME=COMMAND...
  local names=() commands=() pair i
  for pair in "$@"; do
    names+=("${pair%%=*}")
    commands+=("${pair#*=}")
  done
  mapfile -t medians < <(median_times "${commands[@]}")
  for i in "${!names[@]}"; do r[${names[$i]}]=${medians[$i]}; done
}
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

# The finest run's output size, for jp2a's --size.
finest=(--sample-x 2 --sample-y 2 --bands 100 --picture-fit 1 --canvas-height 5895)
read -r cols lines < <("$bin/cli/tessivo-convert" --no-footer "${finest[@]}" "$out/logo.jpg" |
  python3 -c 'import sys; t=sys.stdin.buffer.read().split(b"\r\n")[:-1]; print(len(t[0]), len(t))')

declare -A r
measure "conv_logo=$bin/cli/tessivo-convert $out/logo.jpg" \
  "jp2a_logo=jp2a --size=455x200 $out/logo.jpg"
measure "conv_fine=$bin/cli/tessivo-convert ${finest[*]} $out/logo.jpg" \
  "jp2a_fine=jp2a --size=${cols}x${lines} $out/logo.jpg"
measure "conv_photo=$bin/cli/tessivo-convert $out/photo.jpg" \
  "jp2a_photo=jp2a --size=455x200 $out/photo.jpg" \
  "djpeg_photo=djpeg -scale 1/8 -outfile /dev/null $out/photo.jpg"
ROUNDS=3 RUNS=2 measure \
  "batch_jobs1=$bin/cli/tessivo-convert --jobs 1 --output-dir $out/batch-out ${batch[*]}" \
  "batch_jobsn=$bin/cli/tessivo-convert --output-dir $out/batch-out ${batch[*]}" \
  "batch_jp2a=jp2a --size=455x200 ${batch[*]}"
r[conv_photo_kib]=$(peak_kib "$bin/cli/tessivo-convert" "$out/photo.jpg")
r[jp2a_photo_kib]=$(peak_kib jp2a --size=455x200 "$out/photo.jpg")
measure "start_tessivo=$bin/bench/startup-tessivo" "start_bare=$bin/bench/startup-bare" \
  "start_text=$bin/bench/startup-text"
r[rss_tessivo]=$("$bin/bench/startup-tessivo" | awk '/VmRSS/ {print $2}')
r[rss_bare]=$("$bin/bench/startup-bare" | awk '/VmRSS/ {print $2}')
r[rss_text]=$("$bin/bench/startup-text" | awk '/VmRSS/ {print $2}')

{
  for k in "${!r[@]}"; do echo "$k=${r[$k]}"; done
  "$bin/bench/tessivo-bench" run "$out/logo.jpg" default | sed 's/^/default_/'
  "$bin/bench/tessivo-bench" run "$out/logo.jpg" finest | sed 's/^/finest_/'
  "$bin/bench/tessivo-bench" load "$out/photo.jpg" | sed 's/^/load_/'
  bash scripts/loop-instructions.sh "$bin/bench/tessivo-bench" "$out/logo.jpg" | sed 's/^/loop_/'
} 2>/dev/null > "$out/results.txt"

python3 - "$out/results.txt" <<'PY'
import sys
v = {}
for line in open(sys.argv[1]):
    k, _, x = line.strip().partition("=")
    if x:
        v[k] = float(x)
rows = [
    ("1 run class, instructions per cell", v["loop_instructions_per_cell"], 40),
    ("5 longest stall of the run, default (ms)", v["default_max_gap_ms"], 16),
    ("5 finish / bare setPlainText, finest", v["finest_max_gap_ms"] / v["finest_bare_settext_ms"], 1.25),
    ("2 tessivo-convert / jp2a, logo 640x480", v["conv_logo"] / v["jp2a_logo"], 1.0),
    ("5 tessivo-convert / jp2a, finest on logo", v["conv_fine"] / v["jp2a_fine"], 1.0),
    ("2 tessivo-convert / jp2a, photo 6000x4000", v["conv_photo"] / v["jp2a_photo"], 0.5),
    ("2 tessivo-convert / djpeg -scale 1/8, photo", v["conv_photo"] / v["djpeg_photo"], 1.1),
    ("2 tessivo-convert peak memory, photo (MiB)", v["conv_photo_kib"] / 1024, 27028 / 1024),
    ("3 batch of 100 / jp2a, --jobs 1", v["batch_jobs1"] / v["batch_jp2a"], 0.6),
    ("3 batch of 100 / jp2a, all processors", v["batch_jobsn"] / v["batch_jp2a"], 0.35),
    ("4 start-up / bare window with one line of text", v["start_tessivo"] / v["start_text"], 1.15),
    ("4 resident memory / bare window with text", v["rss_tessivo"] / v["rss_text"], 1.15),
    ("5 open photo in window / bare decodes", v["load_window_load_ms"] / v["load_bare_decode_ms"], 1.3),
]
print(f"{'target':46} {'measured':>10} {'limit':>8}  met")
for name, value, limit in rows:
    print(f"{name:46} {value:10.2f} {limit:8.2f}  {'yes' if value <= limit else 'NO'}")
print()
# Not targets: the window's run against the run class alone, the program against the empty bare
# window, and what one line of text costs that window.
print("for reference:")
print(f"  window run / tight loop: default {v['default_window_ms'] / v['default_tight_ms']:.2f}, finest {v['finest_window_ms'] / v['finest_tight_ms']:.2f}")
print("  against the empty bare window:")
print(f"    Tessivo: start-up {v['start_tessivo'] / v['start_bare']:.2f}, resident memory {v['rss_tessivo'] / v['rss_bare']:.2f}")
print(f"    one line of text: start-up {v['start_text'] / v['start_bare']:.2f}, resident memory {v['rss_text'] / v['rss_bare']:.2f}")
print()
print("raw figures: " + sys.argv[1])
PY
