#!/usr/bin/env bash
# Compares the output of two tessivo-convert builds byte for byte over a grid of settings and
# formats, on data/sample.jpg, pictures made here, and any pictures given after the binaries.
#   scripts/compare-outputs.sh BASE_BIN NEW_BIN [PICTURE...]
# Prints each difference and a count; exits 1 when any output differs.
set -euo pipefail
cd "$(dirname "$0")/.."
base=$1
new=$2
shift 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Pictures: flat blocks of black and white, a colour gradient, noise, greys, a small and a wide
# one (24-bit bitmaps, written here so that no image tool is needed).
python3 - "$work" <<'PY'
import random, struct, sys
def bmp(name, w, h, px):
    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b = px(x, y)
            data += bytes((b, g, r))
        data += bytes(row - w * 3)
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    open(f"{sys.argv[1]}/{name}.bmp", "wb").write(header + data)
random.seed(7)
bmp("blocks", 640, 480, lambda x, y: (0, 0, 0) if (x // 40 + y // 40) % 2 else (255, 255, 255))
bmp("gradient", 640, 480, lambda x, y: (x * 255 // 639, y * 255 // 479, (x + y) * 255 // 1118))
bmp("noise", 640, 480, lambda x, y: tuple(random.randrange(256) for _ in range(3)))
bmp("greys", 640, 480, lambda x, y: ((x // 3) % 256,) * 3)
bmp("small", 97, 61, lambda x, y: ((x * 7) % 256, (y * 11) % 256, (x * y) % 256))
bmp("wide", 1500, 200, lambda x, y: ((x * 3) % 256, 128, (y * 5) % 256))
PY

# Tables (UTF-8 with a byte-order mark): rows of several characters and empty rows; single
# characters only.
printf '\xef\xbb\xbf##\n\n@@@\n国国\n\no\n-.\n \n' >"$work/mixed.txt"
printf '\xef\xbb\xbf#\n+\n.\n' >"$work/single.txt"

settings=(
  ""
  "--color-level 2" "--color-level 3" "--color-level 4" "--color-level 5" "--color-level 6"
  "--color-level 7" "--color-level 8" "--color-level 9" "--color-level 10"
  "--ignore 2" "--ignore 12" "--ignore 23" "--ignore 30" "--color-level 3 --ignore 12"
  "--bands 1" "--bands 7" "--bands 100"
  "--sample-x 5 --sample-y 7" "--sample-x 300 --sample-y 300" "--sample-x 2 --sample-y 2 --bands 100"
  "--contrast 1" "--contrast 300" "--contrast 1500"
  "--picture-fit 1" "--picture-fit 50" "--picture-fit 100"
  "--remove-blank-lines" "--remove-blank-lines --ignore 30 --color-level 2"
  "--canvas-width 500 --canvas-height 300" "--canvas-width 100" "--canvas-height 0"
  "--table $work/mixed.txt --contrast 1"
  "--table $work/mixed.txt --contrast 1 --color-level 2 --remove-blank-lines --ignore 12"
  "--table $work/mixed.txt --contrast 900 --bands 3"
  "--table $work/single.txt --contrast 1"
)
formats=("" "--format html --colour --output -" "--format ansi --output -")

pictures=(data/sample.jpg "$work"/*.bmp "$@")
compared=0
differing=0
for picture in "${pictures[@]}"; do
  for s in "${settings[@]}"; do
    for f in "${formats[@]}"; do
      # shellcheck disable=SC2086 # the options are words on purpose
      "$base" $s $f "$picture" >"$work/base.out" 2>&1 && rb=0 || rb=$?
      # shellcheck disable=SC2086
      "$new" $s $f "$picture" >"$work/new.out" 2>&1 && rn=0 || rn=$?
      compared=$((compared + 1))
      if [ "$rb" != "$rn" ] || ! cmp -s "$work/base.out" "$work/new.out"; then
        differing=$((differing + 1))
        echo "differs: $picture $s $f (exit $rb vs $rn)"
      fi
    done
  done
done
echo "compared $compared outputs, $differing differ"
[ "$differing" -eq 0 ]
