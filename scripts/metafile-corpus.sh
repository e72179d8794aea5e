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
# margins); the reference is LibreOffice's PNG of the same page at the size of Tessivo's picture,
# and LibreOffice's own drawing of each file witnesses what the export keeps of the page.
#
# Each file is converted with tessivo-convert, and so is its reference; the script prints for
# each file the share of identical character cells over the inked area (cells where either art
# has a character other than a space), the helper's time and peak memory, and the medians and
# lower quartiles. Files and results stay in $CORPUS_DIR (build/metafile-corpus, or
# build/metafile-corpus-libreoffice, unless set); results.tsv holds one line per file.
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
}

# A LibreOffice document to PNG at Tessivo's size.
office_png() { # DOCUMENT "WIDTH HEIGHT" PNG
  local out
  out=$(basename "$1" .fodg).png
  office --convert-to "png:draw_png_Export:{\"PixelWidth\":{\"type\":\"long\",\"value\":\"${2% *}\"},\"PixelHeight\":{\"type\":\"long\",\"value\":\"${2#* }\"}}" \
    --outdir "$dir/ref/out" "$1"
  mv "$dir/ref/out/$out" "$3" 2>/dev/null || true
}

# The reference: LibreOffice's PNG of the page the file was exported from. And a witness of what
# the export keeps (META.file.png): LibreOffice's own drawing of the file, as a picture filling a
# page of that size. Where the witness differs from the page, the file itself differs from it
# (the export rounds coordinates to 0.01 mm, writes some gradients and strokes otherwise than it
# draws them), and no player can show the page.
libreoffice_reference() { # META "WIDTH HEIGHT"
  local name kind ref=$1.png
  name=$(basename "$1")
  kind=${name##*.}
  name=${name%.*}
  mkdir -p "$dir/ref/out"
  if [ -n "$2" ] && [ ! -s "$ref" ]; then
    office_png "$dir/pages/$name.fodg" "$2" "$ref"
  fi
  if [ -n "$2" ] && [ ! -s "$1.file.png" ]; then
    python3 - "$dir/pages/$name.fodg" "$1" "$dir/ref/$name.$kind.fodg" <<'EOF'
import base64, re, sys
page, meta, out = sys.argv[1:]
width, height = re.search(r'fo:page-width="([^"]*)" fo:page-height="([^"]*)"',
                          open(page, encoding='utf-8').read()).groups()
data = base64.b64encode(open(meta, 'rb').read()).decode()
ns = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"')
open(out, 'w', encoding='utf-8').write(
    f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document {ns} office:version="1.3" '
    'office:mimetype="application/vnd.oasis.opendocument.graphics"><office:styles/>'
    '<office:automatic-styles><style:page-layout style:name="PM1">'
    f'<style:page-layout-properties fo:page-width="{width}" fo:page-height="{height}" '
    'fo:margin-top="0cm" fo:margin-bottom="0cm" fo:margin-left="0cm" fo:margin-right="0cm"/>'
    '</style:page-layout><style:style style:name="gr1" style:family="graphic">'
    '<style:graphic-properties draw:fill="none" draw:stroke="none"/></style:style>'
    '</office:automatic-styles><office:master-styles><style:master-page style:name="Default" '
    'style:page-layout-name="PM1"/></office:master-styles><office:body><office:drawing>'
    '<draw:page draw:name="p1" draw:master-page-name="Default"><draw:frame draw:style-name="gr1" '
    f'svg:x="0cm" svg:y="0cm" svg:width="{width}" svg:height="{height}"><draw:image>'
    f'<office:binary-data>{data}</office:binary-data></draw:image></draw:frame></draw:page>'
    '</office:drawing></office:body></office:document>\n')
EOF
    office_png "$dir/ref/$name.$kind.fodg" "$2" "$1.file.png"
  fi
  echo "$ref"
}

"${producer}_sample"

: > "$dir/results.tsv"
while read -r name svg; do
 for meta in "$dir/$name.wmf" "$dir/$name.emf"; do
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
for kind in ('wmf', 'emf'):
    mine = [r for r in rows if r[0].endswith('.' + kind)]
    if not mine:
        continue
    shares = sorted(float(r[1]) for r in mine)
    times = [float(r[2]) for r in mine]
    peaks = [int(r[4]) for r in mine if r[4].isdigit()]
    blank = sum(int(r[3]) for r in mine)
    resized = sum(int(r[5]) for r in mine if len(r) > 5)
    quartile = statistics.quantiles(shares, n=4)[0] if len(shares) > 1 else shares[0]
    print(f"{kind}: {len(mine)} files, median share {statistics.median(shares):.3f}, "
          f"lower quartile {quartile:.3f}, lowest {shares[0]:.3f}, "
          f"below 0.85: {sum(s < 0.85 for s in shares)}, "
          f"median helper time {statistics.median(times):.3f} s, "
          f"median peak memory {statistics.median(peaks) / 1024 if peaks else 0:.0f} MiB, "
          f"blank where the reference draws: {blank}, drawn again at Tessivo's size: {resized}")
    worst = sorted(mine, key=lambda r: float(r[1]))[:5]
    witnessed = [r for r in mine if len(r) > 7]
    if witnessed:
        kept = [r for r in witnessed if float(r[6]) >= 0.9]
        lost = sorted(float(r[6]) for r in witnessed)
        def figures(values):
            values = sorted(values)
            q = statistics.quantiles(values, n=4)[0] if len(values) > 1 else values[0]
            return (f"median {statistics.median(values):.3f}, lower quartile {q:.3f}, "
                    f"lowest {values[0]:.3f}, below 0.85: {sum(v < 0.85 for v in values)}")
        print(f"  LibreOffice's own drawing of the file against the page: {figures(lost)}")
        print(f"  Tessivo against LibreOffice's own drawing of the file: "
              f"{figures(float(r[7]) for r in witnessed)}")
        if kept:
            print(f"  the {len(kept)} files whose own drawing keeps at least 0.9 of the page: "
                  f"{figures(float(r[1]) for r in kept)}")
    print("  worst: " + ", ".join(f"{r[0].rsplit('/', 1)[-1]} {r[1]}" for r in worst))
EOF
