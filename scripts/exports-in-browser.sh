#!/usr/bin/env bash
# Opens exported pages and SVG pictures in a browser (headless Chromium) and checks what it makes
# of them: every line of the art as wide as its cells, and the ink of every cell as in the PNG
# export of the same result. Not part of the tests: the first run installs Debian's
# chromium-headless-shell, and netpbm to read the screenshots.
#   scripts/exports-in-browser.sh [PNG PAGE_OR_SVG...]
# Without arguments: the drawing in docs/exports (its PNG, page, coloured page and SVG).
# Prints a line for each file; exits 1 when a check fails.
set -euo pipefail
files=()
for file in "$@"; do files+=("$(realpath "$file")"); done
cd "$(dirname "$0")/.."
set -- "${files[@]}"

if [ $# -eq 0 ]; then
  set -- docs/exports/drawing.png docs/exports/drawing.html docs/exports/drawing-colour.html \
    docs/exports/drawing.svg
fi
png=$1
shift

browser=chromium-headless-shell
if ! command -v "$browser" >/dev/null || ! command -v pngtopnm >/dev/null; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    chromium-headless-shell netpbm >/dev/null
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
    const group = document.querySelector('g[font-size]');
    out.cell = parseFloat(group.getAttribute('font-size')) / 2;
    out.lineHeight = 2 * out.cell;
    for (const t of document.querySelectorAll('text')) {
      const n = t.getNumberOfChars();
      const a = n ? t.getExtentOfChar(0) : null, b = n ? t.getExtentOfChar(n - 1) : null;
      out.rows.push({ text: t.textContent, left: n ? a.x : 0, width: n ? b.x + b.width - a.x : 0,
                      drawn: n });
    }
  }
  root.setAttribute('data-measured', JSON.stringify(out));
})();
JS

status=0
for file in "$@"; do
  name=$(basename "$file")
  case "$file" in
    *.svg) copy="$work/measure.svg"
      python3 - "$file" "$work/measure.js" "$copy" <<'PY'
import sys
svg = open(sys.argv[1], encoding="utf-8").read()
script = open(sys.argv[2], encoding="utf-8").read()
open(sys.argv[3], "w", encoding="utf-8").write(
    svg.replace("</svg>", "<script><![CDATA[" + script + "]]></script></svg>"))
PY
      ;;
    *) copy="$work/measure.html"
      python3 - "$file" "$work/measure.js" "$copy" <<'PY'
import sys
page = open(sys.argv[1], "rb").read()
script = open(sys.argv[2], "rb").read()
open(sys.argv[3], "wb").write(page.replace(b"</body>", b"<script>" + script + b"</script></body>"))
PY
      ;;
  esac
  cp "$file" "$work/shown.${file##*.}"
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
  python3 - "$name" "$work/dom.txt.json" "$work/shot.ppm" "$work/export.ppm" <<'PY' || status=1
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
ok = not off and len(widths) == 1 and corr >= 0.9
print(f"{name}: {len(rows)} lines, {len(art_rows)} of {art} cells, "
      f"{'all ' + str(widths[0]) if len(widths) == 1 else f'{len(widths)} widths from {widths[0]} to {widths[-1]}'} px wide "
      f"({m['cell']:g} px a cell); {len(off)} lines off their cells; ink per cell against the "
      f"PNG: correlation {corr:.3f}, mean difference {diff:.3f}: {'ok' if ok else 'FAILED'}")
sys.exit(0 if ok else 1)
PY
done
exit $status
