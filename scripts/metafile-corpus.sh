#!/usr/bin/env bash
# Real drawings against the metafile players (not part of CI: it installs the producer and the
# openclipart drawings, and takes several minutes).
#
#   scripts/metafile-corpus.sh [--producer inkscape|libreoffice] [COUNT] [SEED]
#
# Inkscape (the default producer) exports a random sample of COUNT drawings (60 unless given;
# SEED picks the sample) to WMF and EMF; the reference for each file is Inkscape's own re-import
# of it (drawn to PNG at 96 pixels to the inch, or at the size of Tessivo's picture when
# Inkscape's differs from it).
#
# LibreOffice, the second producer, exports a third of COUNT documents made by
# scripts/office-documents.py (gradients, hatches, transparency, shadows, bitmaps, text, charts,
# slides) and clip art for the rest (each drawing imported into a page of its own size, without
# margins); the reference is LibreOffice's PNG of the same page at the size of Tessivo's picture.
# Every WMF it writes carries the EMF of the same drawing in comment escapes, which Tessivo draws
# instead of the WMF's own records; NAME.stripped.wmf is the WMF without them, so that its own
# records are drawn. LibreOffice's own reading of each file (the file opened in Draw, the page
# refitted to the picture, drawn at Tessivo's size) witnesses what the file keeps of the page.
#
# Each file is converted with tessivo-convert, and so is its reference; the script prints for
# each file the share of identical character cells over the inked area (cells where either art
# has a character other than a space), the helper's time and peak memory, and the medians and
# lower quartiles. Files and results stay in $CORPUS_DIR (build/metafile-corpus, or
# build/metafile-corpus-libreoffice, unless set); results.tsv holds one line per file: the file,
# its share against the reference, the helper's time, whether it is blank where the reference
# draws, the peak memory, whether the reference was drawn again at Tessivo's size, and, for
# LibreOffice, the share of LibreOffice's own reading against the page and Tessivo's share
# against LibreOffice's reading.
set -euo pipefail
cd "$(dirname "$0")/.."

producer=inkscape
if [ "${1:-}" = --producer ]; then
  producer=$2
  shift 2
fi
case $producer in
  inkscape) packages=(inkscape openclipart-svg time) ;;
  libreoffice) packages=(libreoffice-draw openclipart-svg time) ;;
  *) echo "metafile-corpus.sh: no producer $producer (inkscape or libreoffice)" >&2; exit 2 ;;
esac
count=${1:-60}
seed=${2:-13}
build=${BUILD_DIR:-build}
suffix=
[ "$producer" = inkscape ] || suffix=-$producer
dir=${CORPUS_DIR:-$build/metafile-corpus$suffix}

bash scripts/setup.sh >/dev/null
sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
      "$p" >/dev/null
done
[ -x "$build/cli/tessivo-convert" ] || BUILD_DIR="$build" bash scripts/build.sh >/dev/null
convert_bin=$build/cli/tessivo-convert
helper=$build/libexec/tessivo/tessivo-metafile

mkdir -p "$dir"
export QT_QPA_PLATFORM=offscreen

# Clip art in an order fixed by the seed.
find /usr/share/openclipart/svg -name '*.svg' | LC_ALL=C sort |
  shuf --random-source=<(yes "$seed") > "$dir/order.txt"
: > "$dir/sample.txt"

# Inkscape: drawings taken in order until COUNT of them export to both kinds and read back
# (Inkscape fails on a few drawings).
inkscape_sample() {
  local i=0 taken=0 svg name whole kind meta ref
  while read -r svg && [ "$taken" -lt "$count" ]; do
    i=$((i + 1))
    name=$(printf '%04d' "$i")
    whole=1
    for kind in wmf emf; do
      meta=$dir/$name.$kind
      if [ ! -s "$meta" ]; then
        timeout 120 inkscape "$svg" --export-type="$kind" --export-filename="$meta" \
          >/dev/null 2>&1 || true
      fi
      ref=$dir/$name.$kind.png
      if [ -s "$meta" ] && [ ! -s "$ref" ]; then
        timeout 120 inkscape "$meta" --export-type=png --export-dpi=96 --export-filename="$ref" \
          >/dev/null 2>&1 || true
      fi
      [ -s "$meta" ] && [ -s "$ref" ] || whole=0
    done
    if [ "$whole" = 1 ]; then
      taken=$((taken + 1))
      echo "$name $svg" >> "$dir/sample.txt"
    fi
  done < "$dir/order.txt"
}

# Inkscape sizes its drawing of a file by rules of its own (a placeable frame of 437.44 pixels
# becomes 438, where Tessivo rounds to 437), and a drawing one pixel larger moves every cell near
# its far edges by most of a pixel. When the sizes differ, Inkscape draws the file again at
# Tessivo's size.
inkscape_reference() { # META "WIDTH HEIGHT"
  local ref=$1.png sized=$1.sized.png theirs
  theirs=$(python3 -c 'import struct, sys
print(*struct.unpack(">II", open(sys.argv[1], "rb").read(24)[16:24]))' "$ref")
  if [ -n "$2" ] && [ "$2" != "$theirs" ]; then
    if [ ! -s "$sized" ]; then
      timeout 120 inkscape "$1" --export-type=png --export-width="${2% *}" \
        --export-height="${2#* }" --export-filename="$sized" >/dev/null 2>&1 || true
    fi
    [ -s "$sized" ] && ref=$sized
  fi
  echo "$ref"
}

office() {
  timeout 300 soffice -env:UserInstallation="file://$(realpath "$dir")/profile" --headless "$@" \
    >/dev/null 2>&1 || true
}

# LibreOffice: a third of COUNT made documents, the rest clip art. Each drawing is imported into
# a page of its own size and its page margins removed, so that the metafiles (which cover the
# page within its margins) and the PNG (the whole page) show the same area.
libreoffice_sample() {
  local pages=$dir/pages docs=$((count / 3)) taken=0 i=0 svg name page
  mkdir -p "$pages"
  python3 scripts/office-documents.py "$pages" "$docs" "$seed"
  while read -r svg && [ "$taken" -lt $((count - docs)) ]; do
    i=$((i + 1))
    name=$(printf '%04d' "$i")
    page=$pages/$name.fodg
    if [ ! -s "$page" ]; then
      cp "$svg" "$dir/$name.svg"
      office --convert-to fodg --outdir "$pages" "$dir/$name.svg"
      rm -f "$dir/$name.svg"
      [ -s "$page" ] && sed -i -E 's/fo:margin-(top|bottom|left|right)="[^"]*"/fo:margin-\1="0cm"/g' "$page"
    fi
    [ -s "$page" ] && taken=$((taken + 1)) && echo "$name $svg" >> "$dir/sample.txt"
  done < "$dir/order.txt"
  for page in "$pages"/doc*.fodg; do
    name=$(basename "$page" .fodg)
    echo "$name $page" >> "$dir/sample.txt"
  done
  for kind in wmf emf; do
    office --convert-to "$kind" --outdir "$dir" "$pages"/*.fodg
  done
  for meta in "$dir"/*.wmf; do
    case $meta in *.stripped.wmf) continue ;; esac
    [ -s "${meta%.wmf}.stripped.wmf" ] || strip_wmf "$meta" "${meta%.wmf}.stripped.wmf"
  done
}

# A WMF without the comment escapes that carry an EMF ("WMFC"), its header's size and largest
# record made to agree; nothing is written for a WMF that carries none.
strip_wmf() { # WMF OUT
  python3 - "$1" "$2" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
head = 22 if data[:4] == b'\xd7\xcd\xc6\x9a' else 0
at, kept, largest, stripped = head + 18, bytearray(), 3, 0
while at + 6 <= len(data):
    words, function = struct.unpack_from('<IH', data, at)
    record = data[at:at + 2 * words]
    at += 2 * max(words, 3)
    if (function == 0x0626 and len(record) >= 14 and record[6:8] == b'\x0f\x00'
            and record[10:14] == b'WMFC'):
        stripped += 1
        continue
    kept += record
    largest = max(largest, words)
    if function == 0 and words == 3:
        break
if stripped:
    header = bytearray(data[head:head + 18])
    struct.pack_into('<I', header, 6, 9 + len(kept) // 2)
    struct.pack_into('<I', header, 12, largest)
    open(sys.argv[2], 'wb').write(data[:head] + bytes(header) + bytes(kept))
EOF
}

# A LibreOffice document to PNG at Tessivo's size.
office_png() { # DOCUMENT "WIDTH HEIGHT" PNG
  local out
  out=$(basename "$1" .fodg).png
  office --convert-to "png:draw_png_Export:{\"PixelWidth\":{\"type\":\"long\",\"value\":\"${2% *}\"},\"PixelHeight\":{\"type\":\"long\",\"value\":\"${2#* }\"}}" \
    --outdir "$dir/ref/out" "$1"
  mv "$dir/ref/out/$out" "$3" 2>/dev/null || true
}

# The reference: LibreOffice's PNG of the page the file was exported from, at Tessivo's size.
# And a witness (META.file.png): LibreOffice's own reading of the file, opened in Draw (which
# puts it on an A4 page with margins), the page refitted to the picture without margins, and
# drawn at the same size. Where the witness differs from the page, the file itself differs from
# it (the export rounds coordinates to 0.01 mm, writes some gradients and strokes otherwise than
# it draws them), and no player can show the page.
libreoffice_reference() { # META "WIDTH HEIGHT"
  local name kind imported ref
  name=$(basename "$1")
  kind=${name##*.}
  name=${name%.*}
  ref=$dir/ref/${name%.stripped}.${2/ /x}.png
  mkdir -p "$dir/ref/out" "$dir/ref/$kind"
  if [ -n "$2" ] && [ ! -s "$ref" ]; then
    office_png "$dir/pages/${name%.stripped}.fodg" "$2" "$ref"
  fi
  imported=$dir/ref/$kind/$name.fodg
  if [ -n "$2" ] && [ ! -s "$1.file.png" ]; then
    [ -s "$imported" ] || office --convert-to fodg --outdir "$dir/ref/$kind" "$1"
    [ -s "$imported" ] && python3 - "$imported" "$dir/ref/$kind/$name.fitted.fodg" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding='utf-8').read()
frame = re.search(r'<draw:frame\b[^>]*>', text).group(0)
width = re.search(r'svg:width="([^"]*)"', frame).group(1)
height = re.search(r'svg:height="([^"]*)"', frame).group(1)
text = text.replace(frame, re.sub(r'svg:(x|y)="[^"]*"', r'svg:\1="0cm"', frame), 1)
def refit(layout):
    t = re.sub(r'fo:margin-(top|bottom|left|right)="[^"]*"', r'fo:margin-\1="0cm"',
               layout.group(0))
    t = re.sub(r'fo:page-width="[^"]*"', f'fo:page-width="{width}"', t)
    return re.sub(r'fo:page-height="[^"]*"', f'fo:page-height="{height}"', t)
text = re.sub(r'<style:page-layout-properties[^>]*>', refit, text)
open(sys.argv[2], 'w', encoding='utf-8').write(text)
EOF
    [ -s "$dir/ref/$kind/$name.fitted.fodg" ] &&
      office_png "$dir/ref/$kind/$name.fitted.fodg" "$2" "$1.file.png"
  fi
  echo "$ref"
}

"${producer}_sample"

: > "$dir/results.tsv"
while read -r name svg; do
 for meta in "$dir/$name.wmf" "$dir/$name.emf" "$dir/$name.stripped.wmf"; do
  [ -s "$meta" ] || continue
  start=$(date +%s.%N)
  /usr/bin/time -o "$dir/peak" -f %M "$helper" "$meta" > "$dir/reply" 2>/dev/null || true
  peak=$(tail -1 "$dir/peak")
  end=$(date +%s.%N)
  # The two pictures are compared at the same size.
  ours=$(head -c 12 "$dir/reply" | od -An -tu4 -j4 | xargs)
  ref=$("${producer}_reference" "$meta" "$ours")
  "$convert_bin" --no-footer "$meta" > "$meta.txt" 2>/dev/null || true
  "$convert_bin" --no-footer "$ref" > "$ref.txt" 2>/dev/null || true
  witness=$meta.file.png
  [ -s "$witness" ] && "$convert_bin" --no-footer "$witness" > "$witness.txt" 2>/dev/null || true
  python3 - "$meta" "$meta.txt" "$ref.txt" "$start" "$end" "$peak" "$ref" "$witness.txt" \
    >> "$dir/results.tsv" <<'EOF'
import os, sys
meta, ours, theirs, start, end, peak, ref, witness = sys.argv[1:]
def lines(path):
    with open(path, 'rb') as f:
        return f.read().decode('utf-8', 'replace').split('\r\n')
def share(a, b):
    inked = same = 0
    for y in range(max(len(a), len(b))):
        ra = a[y] if y < len(a) else ''
        rb = b[y] if y < len(b) else ''
        for x in range(max(len(ra), len(rb))):
            ca = ra[x] if x < len(ra) else ' '
            cb = rb[x] if x < len(rb) else ' '
            if ca.isspace() and cb.isspace():
                continue
            inked += 1
            same += ca == cb
    return same / inked if inked else 1.0
a, b = lines(ours), lines(theirs)
blank_ours = all(c.isspace() for c in ''.join(a))
blank_ref = all(c.isspace() for c in ''.join(b))
# For LibreOffice: how much of the page its own drawing of the file keeps, and Tessivo against it.
kept = ''
if os.path.exists(witness):
    w = lines(witness)
    kept = f"\t{share(w, b):.3f}\t{share(a, w):.3f}"
print(f"{meta}\t{share(a, b):.3f}\t{float(end) - float(start):.3f}\t"
      f"{int(blank_ours and not blank_ref)}\t{peak}\t{int(ref.endswith('.sized.png'))}{kept}")
EOF
 done
done < "$dir/sample.txt"

python3 - "$dir/results.tsv" <<'EOF'
import statistics, sys
rows = [l.rstrip('\n').split('\t') for l in open(sys.argv[1]) if l.strip()]
def kind_of(path):
    return 'stripped wmf' if path.endswith('.stripped.wmf') else path.rsplit('.', 1)[-1]
def figures(values):
    values = sorted(values)
    q = statistics.quantiles(values, n=4)[0] if len(values) > 1 else values[0]
    return (f"median {statistics.median(values):.3f}, lower quartile {q:.3f}, "
            f"lowest {values[0]:.3f}, below 0.85: {sum(v < 0.85 for v in values)}")
for kind in ('wmf', 'emf', 'stripped wmf'):
    mine = [r for r in rows if kind_of(r[0]) == kind]
    if not mine:
        continue
    shares = sorted(float(r[1]) for r in mine)
    times = [float(r[2]) for r in mine]
    peaks = [int(r[4]) for r in mine if r[4].isdigit()]
    blank = sum(int(r[3]) for r in mine)
    resized = sum(int(r[5]) for r in mine if len(r) > 5)
    print(f"{kind}: {len(mine)} files, {figures(shares)}, "
          f"median helper time {statistics.median(times):.3f} s, "
          f"median peak memory {statistics.median(peaks) / 1024 if peaks else 0:.0f} MiB, "
          f"blank where the reference draws: {blank}, drawn again at Tessivo's size: {resized}")
    worst = sorted(mine, key=lambda r: float(r[1]))[:5]
    witnessed = [r for r in mine if len(r) > 7]
    if witnessed:
        print(f"  LibreOffice's own reading of the file against the page: "
              f"{figures(float(r[6]) for r in witnessed)}")
        print(f"  Tessivo against LibreOffice's own reading of the file: "
              f"{figures(float(r[7]) for r in witnessed)}")
        kept = [r for r in witnessed if float(r[6]) >= 0.9]
        if kept:
            print(f"  the {len(kept)} files whose own reading keeps at least 0.9 of the page: "
                  f"{figures(float(r[1]) for r in kept)}")
        # How far below LibreOffice's own reading a file may fall: its WMF records alone are
        # held to less than the EMF that draws the same page.
        slack = 0.02 if kind == 'stripped wmf' else 0.01
        below = [r for r in witnessed if float(r[1]) < float(r[6]) - slack]
        print(f"  more than {slack} below LibreOffice's own reading: {len(below)}" +
              "".join(f", {r[0].rsplit('/', 1)[-1]} {r[1]} against {r[6]}" for r in below))
    print("  worst: " + ", ".join(f"{r[0].rsplit('/', 1)[-1]} {r[1]}" for r in worst))

# For LibreOffice, the three figures of every file as a table (figures.md): Tessivo against the
# page, LibreOffice's own reading against the page, Tessivo against LibreOffice's reading.
files = {}
for r in rows:
    if len(r) > 7:
        name = r[0].rsplit('/', 1)[-1]
        files.setdefault(name.split('.', 1)[0], {})[kind_of(r[0])] = r[1], r[6], r[7]
if files:
    kinds = ('wmf', 'emf', 'stripped wmf')
    with open(sys.argv[1].rsplit('/', 1)[0] + '/figures.md', 'w') as out:
        out.write('| drawing | ' + ' | '.join(kinds) + ' |\n|---|---|---|---|\n')
        for name in sorted(files):
            cells = [' / '.join(files[name][k]) if k in files[name] else '' for k in kinds]
            out.write(f"| {name} | " + ' | '.join(cells) + ' |\n')
EOF
