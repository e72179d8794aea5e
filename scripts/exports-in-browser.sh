#!/usr/bin/env bash
# Opens exported pages and SVG pictures in a browser (headless Chromium) and checks what it makes
# of them: every line of the art as wide as its cells, and the ink of every cell as in the PNG
# export of the same result. Not part of the tests: the first run installs Debian's
# chromium-headless-shell, netpbm to read the screenshots and webp to make an animated WebP.
#   scripts/exports-in-browser.sh [PNG PAGE_OR_SVG...]
# Without arguments: the drawing in docs/exports (its PNG, page, coloured page and SVG), then
# moving pictures made here, converted by build/cli/tessivo-convert (or $TESSIVO_CONVERT):
# every frame as Chromium composes it, cell by cell, with its delay; and the pages and SVGs that
# play them, each seeked to the middle of every frame's time and compared with that frame's PNG.
# Prints a line for each file; exits 1 when a check fails.
set -euo pipefail
files=()
for file in "$@"; do files+=("$(realpath "$file")"); done
cd "$(dirname "$0")/.."
set -- "${files[@]}"

moving=false
if [ $# -eq 0 ]; then
  moving=true
  set -- docs/exports/drawing.png docs/exports/drawing.html docs/exports/drawing-colour.html \
    docs/exports/drawing.svg
fi
png=$1
shift

browser=chromium-headless-shell
if ! command -v "$browser" >/dev/null || ! command -v pngtopnm >/dev/null ||
  ! command -v img2webp >/dev/null; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    chromium-headless-shell netpbm webp >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

browse() {
  "$browser" --no-sandbox --hide-scrollbars --force-device-scale-factor=1 \
    --virtual-time-budget=10000 "$@" 2>/dev/null
}

# Measures each line as the browser laid it out: a page's lines in its <pre>, an SVG's <text>
# elements, each with its text, left edge and width; the result goes into an attribute of the
# root element, which --dump-dom prints.
cat >"$work/measure.js" <<'JS'
(function () {
  const root = document.documentElement;
  const out = { rows: [] };
  const pre = document.querySelector('pre');
  if (pre) {
    const box = pre.getBoundingClientRect();
    Object.assign(out, { left: box.left, top: box.top, width: box.width, height: box.height,
                         lineHeight: parseFloat(getComputedStyle(pre).lineHeight),
                         cell: parseFloat(getComputedStyle(pre).fontSize) / 2 });
    const walker = document.createTreeWalker(pre, NodeFilter.SHOW_TEXT);
    let start = null, last = null, text = '';
    const close = () => {
      const range = document.createRange();
      if (start) { range.setStart(start[0], start[1]); range.setEnd(last[0], last[1]); }
      const r = range.getBoundingClientRect();
      out.rows.push({ text: text, left: start ? r.left : 0, width: start ? r.width : 0 });
      start = null; text = '';
    };
    for (let node; (node = walker.nextNode());) {
      for (let i = 0; i < node.data.length; ++i) {
        if (node.data[i] === '\n') { close(); continue; }
        if (!start) start = [node, i];
        last = [node, i + 1];
        text += node.data[i];
      }
    }
    close();
  } else {
    Object.assign(out, { left: 0, top: 0, width: root.width.baseVal.value,
                         height: root.height.baseVal.value });
    // The first art's lines: an SVG of several frames has one group of lines for each.
    const group = document.querySelector('g[font-size]');
    out.cell = parseFloat(group.getAttribute('font-size')) / 2;
    out.lineHeight = 2 * out.cell;
    for (const t of group.querySelectorAll('text')) {
      const n = t.getNumberOfChars();
      const a = n ? t.getExtentOfChar(0) : null, b = n ? t.getExtentOfChar(n - 1) : null;
      out.rows.push({ text: t.textContent, left: n ? a.x : 0, width: n ? b.x + b.width - a.x : 0,
                      drawn: n });
    }
  }
  root.setAttribute('data-measured', JSON.stringify(out));
})();
JS

# A copy of a page or SVG with a script added at its end.
inject() { # FILE SCRIPT_FILE COPY
  python3 - "$@" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
script = open(sys.argv[2], "rb").read()
if sys.argv[1].endswith(".svg"):
    data = data.replace(b"</svg>", b"<script><![CDATA[" + script + b"]]></script></svg>")
else:
    data = data.replace(b"</body>", b"<script>" + script + b"</script></body>")
open(sys.argv[3], "wb").write(data)
PY
}

# Compares a screenshot with PNG exports cell by cell, by the ink of each cell; with one PNG, also
# checks the lines' widths. With several (the frames of a moving picture), the shot must be most
# like the one of frame WANTED.
cat >"$work/compare.py" <<'PY'
import json, sys, unicodedata

def cells(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)

def ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    return int(fields[1]), int(fields[2]), data[pos + 1:]

# The ink of each cell: how far its pixels are from white, in their darkest channel, on average.
def inks(path, left, top, cw, ch, rows, columns):
    w, h, px = ppm(path)
    dark = bytes(255 - min(px[i], px[i + 1], px[i + 2]) for i in range(0, len(px), 3))
    out = []
    for r in range(rows):
        for c in range(columns):
            x0, x1 = round(left + c * cw), round(left + (c + 1) * cw)
            y0, y1 = round(top + r * ch), round(top + (r + 1) * ch)
            x1, y1 = min(x1, w), min(y1, h)
            total = sum(sum(dark[y * w + x0:y * w + x1]) for y in range(y0, y1))
            out.append(total / max(1, (x1 - x0) * (y1 - y0)) / 255)
    return out

name, m = sys.argv[1], json.load(open(sys.argv[2]))
wanted = int(sys.argv[5]) if len(sys.argv) > 5 else 0
others = sys.argv[6:]
rows = m["rows"]
art = max(cells(r["text"]) for r in rows)
art_rows = [r for r in rows if cells(r["text"]) == art]
# A line is off when it is not as wide as its cells, or the browser dropped some of its
# characters (an SVG's spaces, run together).
off = [r for r in rows if (r["text"] and abs(r["width"] - cells(r["text"]) * m["cell"]) > 0.5)
       or r.get("drawn", len(r["text"])) != len(r["text"])]
widths = sorted({round(r["width"], 2) for r in art_rows})

# The PNG export's cells: its width shared by the widest line's cells, twice as high as wide.
ew, eh, _ = ppm(sys.argv[4])
ecw = ew / art
shown = inks(sys.argv[3], m["left"], m["top"], m["cell"], m["lineHeight"], len(rows), art)
export = inks(sys.argv[4], 0, 0, ecw, 2 * ecw, len(rows), art)
n = len(shown)
ms, me = sum(shown) / n, sum(export) / n
cov = sum((a - ms) * (b - me) for a, b in zip(shown, export))
var = (sum((a - ms) ** 2 for a in shown) * sum((b - me) ** 2 for b in export)) ** 0.5
corr = cov / var if var else 0
diff = sum(abs(a - b) for a, b in zip(shown, export)) / n

def correlation(export_path):
    ew, eh, _ = ppm(export_path)
    theirs = inks(export_path, 0, 0, ew / art, 2 * ew / art, len(rows), art)
    mt = sum(theirs) / n
    c = sum((a - ms) * (b - mt) for a, b in zip(shown, theirs))
    v = (sum((a - ms) ** 2 for a in shown) * sum((b - mt) ** 2 for b in theirs)) ** 0.5
    return c / v if v else 0

if wanted:
    # A frame of a moving picture: its own PNG, and every frame's, against the shot.
    corrs = [correlation(path) for path in others]
    best = max(range(len(corrs)), key=lambda i: corrs[i]) + 1
    ok = best == wanted and corrs[wanted - 1] >= 0.9
    print(f"{name}: frame {wanted} of {len(corrs)}: ink per cell against each frame's PNG: "
          f"correlation {', '.join(f'{c:.3f}' for c in corrs)}; most like frame {best}: "
          f"{'ok' if ok else 'FAILED'}")
    sys.exit(0 if ok else 1)
ok = not off and len(widths) == 1 and corr >= 0.9
print(f"{name}: {len(rows)} lines, {len(art_rows)} of {art} cells, "
      f"{'all ' + str(widths[0]) if len(widths) == 1 else f'{len(widths)} widths from {widths[0]} to {widths[-1]}'} px wide "
      f"({m['cell']:g} px a cell); {len(off)} lines off their cells; ink per cell against the "
      f"PNG: correlation {corr:.3f}, mean difference {diff:.3f}: {'ok' if ok else 'FAILED'}")
sys.exit(0 if ok else 1)
PY

# Measures a page or SVG as the browser lays it out, takes its screenshot (seeked to AT_MS when
# given, with every animation of the page paused there) and compares it with the PNGs.
check() { # NAME FILE PNG [AT_MS FRAME FRAME_PNG...]
  local name=$1 file=$2 png=$3 at=${4:-} wanted=${5:-} copy="$work/measure.${2##*.}"
  inject "$file" "$work/measure.js" "$copy"
  cp "$file" "$work/shown.${file##*.}"
  if [ -n "$at" ]; then
    cat >"$work/seek.js" <<JS
(function () {
  const root = document.documentElement;
  if (root.pauseAnimations) { root.pauseAnimations(); root.setCurrentTime($at / 1000); }
  for (const a of document.getAnimations()) { a.pause(); a.currentTime = $at; }
})();
JS
    inject "$file" "$work/seek.js" "$work/shown.${file##*.}"
  fi
  browse --dump-dom "file://$copy" >"$work/dom.txt"
  size=$(python3 - "$work/dom.txt" <<'PY'
import html, json, math, sys
dom = open(sys.argv[1], encoding="utf-8").read()
start = dom.index('data-measured="') + len('data-measured="')
m = json.loads(html.unescape(dom[start:dom.index('"', start)]))
json.dump(m, open(sys.argv[1] + ".json", "w"))
right = max([m["left"] + m["width"]] + [r["left"] + r["width"] for r in m["rows"]])
print(f"{math.ceil(right)},{math.ceil(m['top'] + m['height'])}")
PY
  )
  browse --screenshot="$work/shot.png" --window-size="$size" "file://$work/shown.${file##*.}" \
    >/dev/null
  pngtopnm "$work/shot.png" >"$work/shot.ppm"
  pngtopnm "$png" >"$work/export.ppm"
  local frames=()
  if [ -n "$at" ]; then
    shift 5
    for frame in "$@"; do
      pngtopnm "$frame" >"$frame.ppm"
      frames+=("$frame.ppm")
    done
    python3 "$work/compare.py" "$name" "$work/dom.txt.json" "$work/shot.ppm" "$work/export.ppm" \
      "$wanted" "${frames[@]}" || status=1
  else
    python3 "$work/compare.py" "$name" "$work/dom.txt.json" "$work/shot.ppm" "$work/export.ppm" ||
      status=1
  fi
}

status=0
for file in "$@"; do
  check "$(basename "$file")" "$file" "$png"
done
# The moving pictures of scripts/moving-pictures.py, and its blocks on transparency as img2webp
# puts them together (sub-frames, blended or not, cleared after them), lossless and lossy (whose
# transparency is a plane of its own).
moving_pictures() {
  local convert=${TESSIVO_CONVERT:-build/cli/tessivo-convert}
  if [ ! -x "$convert" ]; then
    echo "exports-in-browser.sh: no $convert to convert moving pictures with (bash scripts/build.sh)" >&2
    status=1
    return
  fi
  local m="$work/moving"
  mkdir -p "$m"
  python3 scripts/moving-pictures.py "$m"
  local quality
  for quality in lossless lossy; do
    img2webp -loop 2 "-$quality" -d 100 "$m/webp-1.png" -d 200 "$m/webp-2.png" -d 300 \
      "$m/webp-3.png" -o "$m/blocks-$quality.webp" >/dev/null 2>&1
  done

  # Chromium's frames: its ImageDecoder composes each frame as an <img> shows it.
  cat >"$m/decode.html" <<'HTML'
<!DOCTYPE html><html><body><script>
(async () => {
  const name = location.hash.slice(1), out = { frames: [] };
  // The decoder works beside the page's thread; with nothing to wait for on the page, virtual
  // time would leap to its end before the decoder is done. A timer ticking holds it back.
  const ticking = setInterval(() => {}, 1);
  const data = await (await fetch(name)).arrayBuffer();
  const decoder = new ImageDecoder({ data, type: name.endsWith('.gif') ? 'image/gif' : 'image/webp' });
  await decoder.tracks.ready;
  const track = decoder.tracks.selectedTrack;
  out.plays = track.repetitionCount === Infinity ? 0 : track.repetitionCount + 1;
  for (let i = 0; i < track.frameCount; ++i) {
    const frame = (await decoder.decode({ frameIndex: i })).image;
    const canvas = new OffscreenCanvas(frame.displayWidth, frame.displayHeight);
    const context = canvas.getContext('2d');
    context.drawImage(frame, 0, 0);
    const rgba = context.getImageData(0, 0, canvas.width, canvas.height).data;
    let text = '';
    for (let j = 0; j < rgba.length; j += 8192) text += String.fromCharCode(...rgba.subarray(j, j + 8192));
    out.frames.push({ width: canvas.width, height: canvas.height, delay: frame.duration / 1000,
                      rgba: btoa(text) });
  }
  clearInterval(ticking);
  document.body.setAttribute('data-frames', JSON.stringify(out));
})();
</script></body></html>
HTML
  local picture
  for picture in blocks.gif edges.gif overflow.gif blocks-lossless.webp blocks-lossy.webp; do
    # Should the browser still stop before the frames are there, the page is read again.
    local tries=0
    until grep -q data-frames "$m/$picture.dom" 2>/dev/null || [ $tries -eq 5 ]; do
      browse --allow-file-access-from-files --dump-dom "file://$m/decode.html#$picture" \
        >"$m/$picture.dom"
      tries=$((tries + 1))
    done
    # Chromium's frames as PNG files, and ours converted with a cell for each pixel, in colour.
    size=$(python3 - "$m" "$picture" <<'PY'
import base64, html, json, struct, sys, zlib
folder, name = sys.argv[1], sys.argv[2]
dom = open(f"{folder}/{name}.dom", encoding="utf-8").read()
start = dom.index('data-frames="') + len('data-frames="')
decoded = json.loads(html.unescape(dom[start:dom.index('"', start)]))
json.dump({"plays": decoded["plays"], "delays": [f["delay"] for f in decoded["frames"]]},
          open(f"{folder}/{name}.chromium.json", "w"))
for n, f in enumerate(decoded["frames"]):
    w, h, rgba = f["width"], f["height"], base64.b64decode(f["rgba"])
    raw = b"".join(b"\0" + rgba[y * w * 4:(y + 1) * w * 4] for y in range(h))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    open(f"{folder}/{name}.chromium-{n + 1}.png", "wb").write(b"\x89PNG\r\n\x1a\n" +
        chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
        chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
print(f"{w}x{h}")
PY
    )
    local cells=(--mode ink --size "$size" --format ansi --no-footer --dither none)
    rm -rf "$m/ours"
    "$convert" "${cells[@]}" --output-dir "$m/ours" --frames all "$m/$picture" 2>"$m/ours.err" ||
      true
    for theirs in "$m/$picture".chromium-*.png; do
      "$convert" "${cells[@]}" "$theirs" >"${theirs%.png}.ans"
    done
    python3 - "$m" "$picture" <<'PY' || status=1
import glob, json, os, re, sys
folder, name = sys.argv[1], sys.argv[2]
base = os.path.splitext(name)[0]

# Each cell of terminal art: its character and the colour of its escape.
def cells(path):
    text, colour, out = open(path, encoding="utf-8").read(), None, []
    i = 0
    while i < len(text):
        if text[i] == "\x1b":
            end = text.index("m", i)
            colour = text[i + 2:end]
            i = end + 1
            continue
        if text[i] not in "\r\n":
            out.append((text[i], colour))
        i += 1
    return out

chromium = json.load(open(f"{folder}/{name}.chromium.json"))
theirs = sorted(glob.glob(f"{folder}/{name}.chromium-*.ans"), key=lambda p: int(p.split("-")[-1][:-4]))
ours = sorted(glob.glob(f"{folder}/ours/{base}-*.ans"))
listed = [line.split("\t") for line in open(f"{folder}/ours/{base}.frames.tsv").read().splitlines()[1:]]
delays = [int(row[2]) for row in listed]
differ = [sum(a != b for a, b in zip(cells(o), cells(t))) + abs(len(cells(o)) - len(cells(t)))
          for o, t in zip(ours, theirs)]
total = len(cells(theirs[0])) if theirs else 0
# The decoder gives the stored durations; an <img> plays those of 10 ms or less for 100 ms.
played = [100 if d <= 10 else round(d) for d in chromium["delays"]]
ok = len(ours) == len(theirs) and not any(differ) and delays == played
plays = f"{chromium['plays']} times" if chromium["plays"] else "for ever"
print(f"{name}: {len(ours)} frames (Chromium: {len(theirs)}), each of {total} cells against "
      f"Chromium's frame: {', '.join(map(str, differ))} differ; delays {' '.join(map(str, delays))} "
      f"ms (Chromium's stored {' '.join(f'{d:g}' for d in chromium['delays'])}, played "
      f"{' '.join(map(str, played))}); Chromium plays it {plays}: {'ok' if ok else 'FAILED'}")
sys.exit(0 if ok else 1)
PY
  done

  # The page and the SVG that play blocks.gif, in each colour mode: at the middle of each frame's
  # time, most like that frame's PNG.
  local colours
  for colours in "" "--colour" "--colour-mode bg" "--colour-mode both"; do
    # shellcheck disable=SC2206
    local options=(--mode shape --width 40 $colours)
    rm -rf "$m/pngs"
    "$convert" "${options[@]}" --format png --output-dir "$m/pngs" --frames all "$m/blocks.gif"
    "$convert" "${options[@]}" --format html --output "$m/blocks.html" "$m/blocks.gif"
    "$convert" "${options[@]}" --format svg --frames all --output "$m/blocks.svg" "$m/blocks.gif"
    local frames=("$m"/pngs/blocks-*.png) at=0 n=0 delay
    for delay in $(cut -f3 "$m/pngs/blocks.frames.tsv" | tail -n +2); do
      n=$((n + 1))
      for file in "$m/blocks.html" "$m/blocks.svg"; do
        check "$(basename "$file") ${colours:-(no colour)} at $((at + delay / 2)) ms" "$file" \
          "${frames[$((n - 1))]}" $((at + delay / 2)) "$n" "${frames[@]}"
      done
      at=$((at + delay))
    done
  done
}

if $moving; then
  moving_pictures
fi
exit $status
