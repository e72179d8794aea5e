#!/usr/bin/env bash
# Measures tessivo-convert on a moving picture against a still of its first frame: the CPU time
# (user and system) and the peak resident memory of each command, the median of 5 runs.
# The picture: 100 frames of 640 x 480, ImageMagick's logo: rolled sideways and turned in hue a
# little more each frame (every frame differs all over), 256 colours, dithered, 40 ms a frame.
#   scripts/bench-moving.sh
# Uses build/cli/tessivo-convert (or $TESSIVO_CONVERT); the picture is made once, in
# build/bench-data/moving (ImageMagick is installed the first time).
set -euo pipefail
cd "$(dirname "$0")/.."
convert_tool=$(realpath "${TESSIVO_CONVERT:-build/cli/tessivo-convert}")
if ! command -v convert >/dev/null; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq imagemagick >/dev/null
fi
data=build/bench-data/moving
mkdir -p "$data"
if [ ! -f "$data/anim.gif" ]; then
  convert logo: -resize '640x480!' "$data/base.png"
  for i in $(seq 0 99); do
    printf -v n %03d "$i"
    convert "$data/base.png" -roll +$((i * 64 / 10))+0 -modulate 100,100,$((100 + i)) \
      "$data/f$n.png"
  done
  convert -delay 4 -loop 0 "$data"/f*.png "$data/anim.gif"
  convert "$data/anim.gif[0]" "$data/still.png"
  rm -f "$data"/f*.png "$data/base.png"
fi
export QT_QPA_PLATFORM=offscreen
python3 - "$convert_tool" "$data" <<'PY'
import os, statistics, subprocess, sys, tempfile
tool, data = sys.argv[1], sys.argv[2]
out = tempfile.mkdtemp()

def measure(args):
    cpu, peak = [], []
    for _ in range(5):
        process = subprocess.Popen([tool] + args, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        assert status == 0, args
        cpu.append(usage.ru_utime + usage.ru_stime)
        peak.append(usage.ru_maxrss / 1024)
    return statistics.median(cpu), statistics.median(peak)

shape = ["--mode", "shape", "--size", "120x45"]
rows = [
    ("shape 120x45, ansi to a file", shape + ["--format", "ansi", "--output", f"{out}/a.ans"]),
    ("shape 120x45, ansi to standard output", shape + ["--format", "ansi"]),
    ("shape 120x45, html", shape + ["--format", "html", "--output", f"{out}/a.html"]),
    ("shape 120x45, a txt file a frame", shape + ["--output-dir", f"{out}/frames", "--frames", "all"]),
    ("tone (start-up settings), html", ["--format", "html", "--output", f"{out}/t.html"]),
]
frame = 640 * 480 * 4 / 1024 / 1024
print(f"| command | still: CPU / peak memory | 100 frames: CPU / peak memory | memory above the still |")
print("|---|---|---|---|")
for name, args in rows:
    still = measure(args + [f"{data}/still.png"])
    moving = measure(args + [f"{data}/anim.gif"])
    print(f"| {name} | {still[0]:.2f} s / {still[1]:.1f} MiB | {moving[0]:.2f} s / "
          f"{moving[1]:.1f} MiB | {moving[1] - still[1]:.1f} MiB ({(moving[1] - still[1]) / frame:.1f} frames) |")
PY
