#!/usr/bin/python3
"""Art-quality benchmark: Tessivo's modes against jp2a, chafa, aalib and libcaca.

    scripts/quality.py run [--jobs N] [--work DIR] [--grids 80x30,...] [--tools a,b,...]
                           [--limit N] [--markdown FILE] [--figures DIR]
    scripts/quality.py choose [--seed N]

`run` converts every picture of bench/quality/corpus.txt and bench/quality/holdout.txt with
every tool at every grid, draws each result black on white in one monospace font, compares the
drawing with the picture and prints the medians: one table for the corpus, one for the held-back
sample, with the drawing's greys stretched so that a cell of the font's darkest character reads
as black (the same mapping for every tool), then the same measures of the drawing as it is.
Per-result numbers go to WORK/results.tsv. `choose` makes the two lists from
bench/quality/pool.txt with a seed. scripts/quality.sh installs what this needs and runs it.
"""

import argparse
import concurrent.futures
import ctypes
import datetime
import fnmatch
import math
import os
import random
import re
import shutil
import subprocess
import sys
import time
import unicodedata

import numpy as np
from PIL import Image, ImageDraw, ImageFont, ImageOps
from scipy import ndimage
from skimage.color import deltaE_ciede2000, rgb2lab
from skimage.metrics import structural_similarity

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LISTS = os.path.join(ROOT, "bench", "quality")
CONVERT = os.path.abspath(os.environ.get("TESSIVO_CONVERT",
                                         os.path.join(ROOT, "build", "cli", "tessivo-convert")))
# The fonts the art is drawn in: a name for --font, then the family Tessivo is told, the file
# and the face in it. 12 pixels to the em, 9 pt at 96 dots per inch.
FONTS = {
    "dejavu": ("DejaVu Sans Mono", "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 0),
    "uming": ("AR PL UMing CN", "/usr/share/fonts/truetype/arphic/uming.ttc", 0),
}
FONT = "dejavu"  # the one this run draws in (--font)
FONT_PX = 12
# A table of full-width rows for the ink and shape modes, measured in the CJK font.
CJK_TABLE = os.path.join(ROOT, "bench", "quality", "cjk-table.txt")
GRIDS = [(80, 30), (120, 45), (160, 60)]

# The Canvas's largest size, in twips, and the twips of a pixel.
CANVAS_MAX_W, CANVAS_MAX_H, TWIPS = 7935, 5895, 15
LINE_END_MARGIN = 160

ANSI = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")


class HarnessError(Exception):
    """A tool was called so that its result is not the grid asked for, or it failed."""


# ---------------------------------------------------------------------------------------------
# Lists


def read_list(path):
    entries = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                kind, package, rest = line.split(None, 2)
                entries.append((kind, package, rest))
    return entries


def package_files(package):
    out = subprocess.run(["dpkg", "-L", package], capture_output=True, text=True)
    if out.returncode != 0:
        raise HarnessError(f"package {package} is not installed")
    return [p for p in out.stdout.splitlines() if os.path.isfile(p)]


def expand(pool_file, rng):
    """The pool's lines with each seeded line expanded to its count of the package's files."""
    pool = []
    for kind, package, rest in read_list(os.path.join(LISTS, pool_file)):
        if rest.startswith("*seeded"):
            _, count, pattern = rest.split()
            files = sorted(p for p in package_files(package) if fnmatch.fnmatch(p, pattern))
            taken = {p for _, _, p in pool}
            files = [p for p in files if p not in taken]
            rng.shuffle(files)
            pool += [(kind, package, p) for p in sorted(files[: int(count)])]
        else:
            pool.append((kind, package, rest))
    return pool


def choose_second(seed):
    """The second held-back sample: every picture of bench/quality/pool2.txt, expanded."""
    pool = expand("pool2.txt", random.Random(seed))
    with open(os.path.join(LISTS, "holdout2.txt"), "w", encoding="utf-8") as f:
        f.write("# The second held-back sample: used only to check the final result, never while\n"
                f"# working on the modes. Chosen by `scripts/quality.py choose-second --seed {seed}`\n"
                "# from bench/quality/pool2.txt.\n# KIND PACKAGE PATH\n")
        for e in pool:
            f.write(" ".join(e) + "\n")
    print(f"holdout2.txt: {len(pool)} pictures")


def choose(seed):
    """Expands the seeded lines of the pool and sets about a fifth of every kind aside."""
    rng = random.Random(seed)
    pool = expand("pool.txt", rng)
    corpus, holdout = [], []
    for kind in sorted({k for k, _, _ in pool}):
        members = [e for e in pool if e[0] == kind]
        order = list(range(len(members)))
        rng.shuffle(order)
        held = set(order[: max(1, round(len(members) / 5))])
        for i, e in enumerate(members):
            (holdout if i in held else corpus).append(e)
    head = (f"# Chosen by `scripts/quality.py choose --seed {seed}` from bench/quality/pool.txt:\n"
            "# the seeded lines of the pool expanded with the seed, then about a fifth of every\n"
            "# kind set aside, with the same seed, as the held-back sample.\n"
            "# KIND PACKAGE PATH\n")
    for name, entries, what in (("corpus.txt", corpus, "The corpus."),
                                ("holdout.txt", holdout,
                                 "The held-back sample: used only to check the corpus's result.")):
        with open(os.path.join(LISTS, name), "w", encoding="utf-8") as f:
            f.write(f"# {what}\n" + head)
            for e in entries:
                f.write(" ".join(e) + "\n")
        print(f"{name}: {len(entries)} pictures")


# ---------------------------------------------------------------------------------------------
# Pictures


def slug(package, path):
    base = os.path.splitext(os.path.basename(path))[0]
    if base in ("grub-4x3", "sddm-preview", "logo", "rocket0", "earth0"):
        # Named after the theme or folder they belong to.
        parts = path.split("/")[:-1]
        themes = [p[:-len("-theme")] for p in parts if p.endswith("-theme")]
        base = (themes[0] if themes else parts[-1]) + "-" + base
    return re.sub(r"[^A-Za-z0-9_.-]", "_", base)


def prepare(entry, work):
    """The picture as every tool gets it: a PNG in RGB, transparency laid on white."""
    kind, package, path = entry
    if not os.path.isfile(path):
        raise HarnessError(f"{path} is missing: is {package} installed?")
    found = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True).stdout
    owners = [o.split(":")[0].strip() for line in found.splitlines()
              for o in line.rsplit(": ", 1)[0].split(",")]
    if package not in owners:
        raise HarnessError(f"{path} does not belong to {package} ({found.strip()})")
    name = slug(package, path)
    out = os.path.join(work, "pictures", name + ".png")
    if not os.path.isfile(out):
        src = path
        if path.endswith(".svg"):
            src = os.path.join(work, "pictures", name + ".svg.png")
            subprocess.run(["rsvg-convert", "-w", "800", "-o", src, path], check=True)
        im = Image.open(src)
        im.load()
        im = im.convert("RGBA")
        flat = Image.new("RGBA", im.size, (255, 255, 255, 255))
        flat.alpha_composite(im)
        flat.convert("RGB").save(out)
    return name, out


# ---------------------------------------------------------------------------------------------
# The tools. Each takes the prepared picture and a grid and returns the art as a list of lines,
# to be drawn dark on light.


def run(cmd, **kw):
    p = subprocess.run(cmd, capture_output=True, **kw)
    if p.returncode != 0:
        raise HarnessError(f"{cmd[0]} exited {p.returncode}: {p.stderr.decode(errors='replace')[:300]}")
    return p.stdout


def lines_of(text):
    text = text.replace("\r\n", "\n")
    if text.endswith("\n"):
        text = text[:-1]
    return text.split("\n")


def tool_jp2a(pic, cols, rows):
    # jp2a's default is a dark background (inverted); the art is drawn on white.
    return lines_of(run(["jp2a", f"--size={cols}x{rows}", "--background=light", pic]).decode())


def tool_chafa(pic, cols, rows):
    # No colour: the symbols alone carry the picture. --fill ascii lets chafa use ASCII
    # symbols for tone as well as for shape; --invert draws dark symbols on a light ground.
    out = run(["chafa", "--format", "symbols", "--colors", "none", "--symbols", "ascii",
               "--fill", "ascii", "--invert", "--size", f"{cols}x{rows}", "--stretch",
               "--animate", "off", "--threads", "1", pic]).decode()
    return lines_of(ANSI.sub("", out))


def tool_img2txt(pic, cols, rows):
    # img2txt has no plain-text format: its characters are chosen together with colours, and
    # the colour codes are stripped here.
    out = run(["img2txt", "-W", str(cols), "-H", str(rows), "-f", "utf8", pic]).decode()
    return lines_of(ANSI.sub("", out))


def tool_aalib(pic, cols, rows):
    import aalib
    screen = aalib.AsciiScreen(width=cols, height=rows)
    if screen.render_size != (cols, rows):
        raise HarnessError(f"aalib gave a screen of {screen.render_size}")
    # aalib draws light characters on a dark screen: the picture is inverted for dark on light.
    im = ImageOps.invert(Image.open(pic).convert("L")).resize(screen.virtual_size, Image.BICUBIC)
    data = im.tobytes()
    ctypes.memmove(screen._framebuffer, data, len(data))
    return screen.render().split("\n")


_caca = None


def caca_lib():
    global _caca
    if _caca is None:
        lib = ctypes.CDLL("libcaca.so.0")
        lib.caca_create_canvas.restype = ctypes.c_void_p
        lib.caca_create_canvas.argtypes = [ctypes.c_int, ctypes.c_int]
        lib.caca_create_dither.restype = ctypes.c_void_p
        lib.caca_create_dither.argtypes = [ctypes.c_int] * 4 + [ctypes.c_uint32] * 4
        for n in ("color", "charset", "algorithm", "antialias"):
            f = getattr(lib, "caca_set_dither_" + n)
            f.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
            f.restype = ctypes.c_int
        lib.caca_dither_bitmap.argtypes = [ctypes.c_void_p] + [ctypes.c_int] * 4 + \
            [ctypes.c_void_p, ctypes.c_void_p]
        lib.caca_get_char.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        lib.caca_get_char.restype = ctypes.c_uint32
        lib.caca_free_dither.argtypes = [ctypes.c_void_p]
        lib.caca_free_canvas.argtypes = [ctypes.c_void_p]
        _caca = lib
    return _caca


def tool_caca(pic, cols, rows):
    # libcaca's own dither in its "mono" colour mode (one colour, white on black) with the ASCII
    # character set and Floyd-Steinberg, called through the library as img2txt cannot ask for
    # it. White on black: the picture is inverted for dark on light.
    lib = caca_lib()
    a = np.asarray(ImageOps.invert(Image.open(pic).convert("RGB"))).astype(np.uint32)
    px = np.ascontiguousarray((a[..., 0] << 16) | (a[..., 1] << 8) | a[..., 2])
    h, w = px.shape
    cv = lib.caca_create_canvas(cols, rows)
    d = lib.caca_create_dither(32, w, h, 4 * w, 0xFF0000, 0xFF00, 0xFF, 0)
    for n, v in (("color", b"mono"), ("charset", b"ascii"), ("algorithm", b"fstein")):
        if getattr(lib, "caca_set_dither_" + n)(d, v) != 0:
            raise HarnessError(f"libcaca refused dither {n} {v}")
    lib.caca_dither_bitmap(cv, 0, 0, cols, rows, d, px.ctypes.data)
    out = ["".join(chr(lib.caca_get_char(cv, x, y)) for x in range(cols)) for y in range(rows)]
    lib.caca_free_dither(d)
    lib.caca_free_canvas(cv)
    return out


def tone_plan(cols, width0):
    """The picture width nearest width0 (pixels) and a SampleX that give exactly cols columns.

    A line's columns sit at x = 0, SampleX, 2 SampleX, ... while x <= CanvasWidth - 160; with
    CanvasWidth = 15 w + 160 that is floor(15 w / SampleX) + 1 columns. The last column is kept
    strictly inside the picture, and 5 twips away from the next count in case the Canvas width
    is rounded to whole pixels.
    """
    best = None
    for w in range(2, (CANVAS_MAX_W - LINE_END_MARGIN) // TWIPS + 1):
        t = TWIPS * w
        for sx in range(max(2, t // cols), min(300, t // (cols - 1) if cols > 1 else 300) + 1):
            if (cols - 1) * sx < t and t + 5 < cols * sx:
                if best is None or abs(w - width0) < abs(best[0] - width0):
                    best = (w, sx)
                break
    if best is None:
        raise HarnessError(f"no picture width gives {cols} columns")
    return best


def tool_tone(pic, cols, rows, work):
    # The picture fitted into the largest Canvas, its width then nudged so that a whole SampleX
    # gives the columns; one band a line (SampleY above the band height), PictureFit 1.
    im = Image.open(pic)
    scale = min((CANVAS_MAX_W - LINE_END_MARGIN) / TWIPS / im.width, CANVAS_MAX_H / TWIPS / im.height)
    w0, h = round(im.width * scale), max(1, min(CANVAS_MAX_H // TWIPS, round(im.height * scale)))
    w, sx = tone_plan(cols, w0)
    fit, bands = 1, rows
    band = round((1 - fit / 100) * TWIPS * h / bands)
    if not 1 <= bands <= 100 or band > 300 or band < 1:
        raise HarnessError(f"{rows} lines cannot be one band each for a picture {h} pixels high")
    small = os.path.join(work, "tone", f"{os.path.basename(pic)[:-4]}-{cols}x{rows}.png")
    im.convert("RGB").resize((w, h), Image.LANCZOS).save(small)
    out = run([CONVERT, "--no-footer", "--canvas-width", str(TWIPS * w + LINE_END_MARGIN),
               "--canvas-height", str(TWIPS * h), "--picture-fit", str(fit), "--bands", str(bands),
               "--sample-y", "300", "--sample-x", str(sx), small],
              env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    return crlf_lines(out)


def crlf_lines(out):
    text = out.decode("utf-8")
    if text and not text.endswith("\r\n"):
        raise HarnessError("tessivo-convert's text does not end in CR LF")
    if "\n" in text.replace("\r\n", ""):
        raise HarnessError("tessivo-convert's text has a line end other than CR LF")
    return text[:-2].split("\r\n") if text else []


def tool_mode(mode, table=None):
    def convert(pic, cols, rows, work):
        extra = ["--table", table] if table else []
        out = run([CONVERT, "--mode", mode, "--size", f"{cols}x{rows}", "--font", FONTS[FONT][0],
                   "--font-size", "9", "--no-footer"] + extra + [pic],
                  env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        return crlf_lines(out)
    return convert


def tool_blank(pic, cols, rows):
    # Not a tool: a page of spaces, the score of drawing nothing.
    return [" " * cols] * rows


def tessivo_modes():
    """The modes besides tone that this build of tessivo-convert offers."""
    lines = subprocess.run([CONVERT, "--help"], capture_output=True, text=True).stdout.splitlines()
    starts = [i for i, l in enumerate(lines) if l.strip().startswith("--mode")]
    if not starts:
        return []
    # The option's description runs on until the next option.
    text = [lines[starts[0]]]
    for l in lines[starts[0] + 1:]:
        if l.strip().startswith("-") or not l.strip():
            break
        text.append(l)
    return [m for m in ("ink", "shape") if re.search(r"\b%s:" % m, " ".join(text))]


def tools_available(modes):
    tools = {
        "jp2a": tool_jp2a,
        "chafa": tool_chafa,
        "aalib": tool_aalib,
        "libcaca mono": tool_caca,
        "img2txt (colours stripped)": tool_img2txt,
        "tessivo tone": tool_tone,
    }
    for m in modes:
        tools["tessivo " + m] = tool_mode(m)
    if FONT == "uming":
        for m in modes:
            tools[f"tessivo {m} CJK-table"] = tool_mode(m, CJK_TABLE)
    tools["blank page"] = tool_blank
    return tools


def call(tool, pic, cols, rows, work):
    if tool.__code__.co_argcount == 4:
        return tool(pic, cols, rows, work)
    return tool(pic, cols, rows)


def cells_of(ch):
    return 2 if unicodedata.east_asian_width(ch) in "WF" else 1


def width_of(line):
    return sum(cells_of(c) for c in line)


def check_grid(lines, cols, rows):
    if len(lines) != rows:
        raise HarnessError(f"{len(lines)} lines instead of {rows}")
    bad = [(i, width_of(l)) for i, l in enumerate(lines) if width_of(l) != cols]
    if bad:
        raise HarnessError(f"line {bad[0][0] + 1} is {bad[0][1]} cells wide instead of {cols}"
                           f" ({len(bad)} such lines)")
    ctrl = [c for l in lines for c in l if ord(c) < 32 or ord(c) == 127]
    if ctrl:
        raise HarnessError(f"control characters left in the text: {sorted(set(ctrl))!r}")


# ---------------------------------------------------------------------------------------------
# Drawing and measuring


class Renderer:
    """Draws art black on white in the run's font at 12 pixels to the em: a line every
    ascent + descent pixels, the character in cell i of a line at x = round(i * advance), a
    full-width character taking two cells."""

    def __init__(self, font=None):
        _, path, index = FONTS[font or FONT]
        try:
            self.font = ImageFont.truetype(path, FONT_PX, index=index,
                                           layout_engine=ImageFont.Layout.RAQM)
        except Exception:
            self.font = ImageFont.truetype(path, FONT_PX, index=index)
        ascent, descent = self.font.getmetrics()
        self.line = ascent + descent
        self.advance = self.font.getlength("M")
        self.pad = 4
        self.glyphs = {}
        self.notdef = self._draw("\uffff")
        self.missing = set()

    def _draw(self, ch):
        w = math.ceil(cells_of(ch) * self.advance) + 2 * self.pad
        im = Image.new("L", (w, self.line), 255)
        ImageDraw.Draw(im).text((self.pad, 0), ch, font=self.font, fill=0)
        return np.asarray(im)

    def glyph(self, ch):
        g = self.glyphs.get(ch)
        if g is None:
            g = self._draw(ch)
            if ch != " " and np.array_equal(g, self.notdef):
                self.missing.add(ch)
            self.glyphs[ch] = g
        return g

    def darkest(self):
        """The darkest printable ASCII character (U+0020 to U+007E) and the mean grey, 0 to 255,
        of a cell holding it: the middle 32 cells of a line of 34 of them, drawn as every art is
        drawn (32 advances are a whole number of pixels, 231), so that what a glyph spills into
        its neighbours is counted as in a page of it."""
        n = 34
        xs = self.xs(n)
        tones = []
        for c in range(0x20, 0x7F):
            row = self.render([chr(c) * n], n)
            tones.append((float(row[:, xs[1]:xs[n - 1]].mean()), chr(c)))
        return min(tones)

    def xs(self, cols):
        return [int(math.floor(i * self.advance + 0.5)) for i in range(cols + 1)]

    def size(self, cols, rows):
        return self.xs(cols)[-1], rows * self.line

    def render(self, lines, cols):
        xs = self.xs(cols)
        w, h = xs[-1], len(lines) * self.line
        p = self.pad
        canvas = np.full((h, w + 2 * p + 8), 255, np.uint8)
        for j, line in enumerate(lines):
            y = j * self.line
            i = 0
            for ch in line:
                cell, i = i, i + cells_of(ch)
                if ch == " " or cell >= cols:
                    continue
                g = self.glyph(ch)
                x = xs[cell]
                region = canvas[y:y + self.line, x:x + g.shape[1]]
                np.minimum(region, g, out=region)
        return canvas[:, p:p + w]


def stretch(g, dark):
    """The art's greys as seen with the page's darkest ink taken as black: g to
    255 (g - dark) / (255 - dark), clamped to 0 to 255. One mapping for every tool, dark being
    the mean grey of a cell of the font's darkest printable ASCII character."""
    return np.clip(255 * (np.asarray(g, np.float64) - dark) / (255 - dark), 0, 255)


def cell_means(img, xs, line, rows):
    sums = np.add.reduceat(img.astype(np.float64), xs[:-1], axis=1)
    sums = np.add.reduceat(sums, list(range(0, rows * line, line)), axis=0)
    widths = np.diff(xs)
    return sums / (widths[None, :] * line)


class Reference:
    """The picture's grey at the art's size, with what SSIM needs of it worked out once.

    SSIM is skimage.metrics.structural_similarity's default: a 7 x 7 uniform window, K1 0.01,
    K2 0.03, sample covariance, the mean over the image less a border of 3 pixels, data range
    255. It is computed here with the reference's local means and variances kept for every
    tool; check_measures holds it to skimage's own function.
    """

    WIN = 7

    def __init__(self, ref, xs, line, rows, sigma, dark):
        self.xs, self.line, self.rows, self.sigma, self.dark = xs, line, rows, sigma, dark
        self.ref = ref.astype(np.float64)
        self.cells = cell_means(self.ref, xs, line, rows)
        self.plain = self._stats(self.ref)
        self.blurred = self._stats(ndimage.gaussian_filter(self.ref, sigma))

    def _stats(self, y):
        u = ndimage.uniform_filter(y, self.WIN)
        n = self.WIN * self.WIN
        v = n / (n - 1) * (ndimage.uniform_filter(y * y, self.WIN) - u * u)
        return y, u, v

    def _ssim(self, x, stats):
        y, uy, vy = stats
        n = self.WIN * self.WIN
        ux = ndimage.uniform_filter(x, self.WIN)
        vx = n / (n - 1) * (ndimage.uniform_filter(x * x, self.WIN) - ux * ux)
        vxy = n / (n - 1) * (ndimage.uniform_filter(x * y, self.WIN) - ux * uy)
        c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
        s = ((2 * ux * uy + c1) * (2 * vxy + c2)) / ((ux * ux + uy * uy + c1) * (vx + vy + c2))
        p = (self.WIN - 1) // 2
        return float(s[p:-p, p:-p].mean())

    def measure(self, art):
        """SSIM, B-SSIM (SSIM of both blurred by a Gaussian of sigma) and tone error of the
        art stretched (see stretch), then the same three of the art as drawn.

        The stretch's linear part commutes with the blur and the cell means, its clamp does
        not: it is applied to the blurred art and to the cell means, as the tone is seen at a
        distance. Clamped pixel by pixel before them it would hardly change a drawing whose
        pixels are mostly 0 and 255 (a page of the darkest character would stay at about 140,
        not 0). Plain SSIM, which looks at the pixels, gets the art stretched pixel by pixel.
        """
        a = art.astype(np.float64)
        blurred = ndimage.gaussian_filter(a, self.sigma)
        cells = cell_means(a, self.xs, self.line, self.rows)
        ssim = self._ssim(a, self.plain)
        bssim = self._ssim(blurred, self.blurred)
        tone = float(np.mean(np.abs(cells - self.cells)))
        s_ssim = self._ssim(stretch(a, self.dark), self.plain)
        s_bssim = self._ssim(stretch(blurred, self.dark), self.blurred)
        s_tone = float(np.mean(np.abs(stretch(cells, self.dark) - self.cells)))
        return s_ssim, s_bssim, s_tone, ssim, bssim, tone


def measure(art, ref, xs, line, rows, sigma, dark):
    return Reference(ref, xs, line, rows, sigma, dark).measure(art)


def art_path(work, name, cols, rows, tool):
    short = "-".join(tool.split()[1:]) if tool.startswith("tessivo") else tool.split()[0]
    return os.path.join(work, "art", f"{name}-{cols}x{rows}-{short}.txt")


# ---------------------------------------------------------------------------------------------
# One picture, every tool and grid (run in a worker process)

_renderer = None


def convert_picture(task):
    global _renderer, FONT
    sample, name, pic, kind, grids, tool_names, modes, work, dark, FONT = task
    if _renderer is None:
        _renderer = Renderer()
    R = _renderer
    tools = tools_available(modes)
    rows_out, errors = [], []
    grey = Image.open(pic).convert("L")
    for cols, rows in grids:
        xs = R.xs(cols)
        size = R.size(cols, rows)
        ref = Reference(np.asarray(grey.resize(size, Image.LANCZOS)), xs, R.line, rows, R.line / 2,
                        dark)
        for tn in tool_names:
            t0 = time.monotonic()
            try:
                lines = call(tools[tn], pic, cols, rows, work)
                check_grid(lines, cols, rows)
            except (HarnessError, subprocess.SubprocessError, OSError, UnicodeDecodeError) as e:
                errors.append(f"{tn} {cols}x{rows} {name}: {e}")
                continue
            seconds = time.monotonic() - t0
            art = R.render(lines, cols)
            rows_out.append((sample, kind, name, tn, f"{cols}x{rows}") + ref.measure(art) +
                            (seconds,))
            with open(art_path(work, name, cols, rows, tn), "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
    return rows_out, errors, sorted(R.missing)


# ---------------------------------------------------------------------------------------------
# Checks of the harness itself


def check_polarity(tools, work):
    """Every tool must draw a dark-to-light ramp dark to light once drawn black on white: a
    tool called with the wrong sense of background comes out inverted (a strongly negative
    correlation). Some tools' darkest characters are lighter than their neighbours in this
    font, so the bar is a clearly positive correlation, not a perfect one."""
    ramp = os.path.join(work, "pictures", "_ramp.png")
    a = np.tile(np.linspace(0, 255, 600), (300, 1)).astype(np.uint8)
    Image.fromarray(a).convert("RGB").save(ramp)
    R = Renderer()
    cols, rows = 40, 30
    xs = R.xs(cols)
    problems = []
    for tn, tool in tools.items():
        if tn in ("blank page", "img2txt (colours stripped)"):
            continue
        try:
            lines = call(tool, ramp, cols, rows, work)
            check_grid(lines, cols, rows)
        except HarnessError as e:
            problems.append(f"{tn}: {e}")
            continue
        tone = cell_means(R.render(lines, cols), xs, R.line, rows).mean(axis=0)
        r = np.corrcoef(tone, np.arange(cols))[0, 1]
        if not r > 0.3:
            problems.append(f"{tn}: the ramp comes out with correlation {r:.2f}, not dark to light")
    return problems


def check_measures(dark):
    """The measures on known cases: a picture against itself and against its negative, a blank
    page against white, a page of the darkest character against black; and the SSIM here held
    to skimage's."""
    R = Renderer()
    problems = []
    if not 100 < dark < 250:
        problems.append(f"the darkest character leaves a cell at {dark:.1f}: is the font drawn?")
    cols, rows = 20, 5
    xs = R.xs(cols)
    art = R.render(["#@%*+=-:. " * 2] * rows, cols)
    same = measure(art, art, xs, R.line, rows, R.line / 2, dark)[3:]
    neg = measure(art, 255 - art, xs, R.line, rows, R.line / 2, dark)[3:]
    ok = abs(same[0] - 1) < 1e-9 and abs(same[1] - 1) < 1e-9 and same[2] == 0
    ok = ok and neg[0] < 0 and neg[1] < 0.5 and neg[2] > 50
    if not ok:
        problems.append(f"measures of known cases are off: {same} {neg}")
    # The stretch: white stays white, a page of the darkest character reads as black once seen
    # at a distance (its cells are 7 and 8 pixels wide in turn, so not all of them exactly).
    blank = measure(R.render([" " * cols] * rows, cols), np.full(art.shape, 255.0), xs, R.line,
                    rows, R.line / 2, dark)
    if max(abs(blank[0] - 1), abs(blank[1] - 1), blank[2]) > 1e-9:
        problems.append(f"a blank page against white is not 1, 1, 0 once stretched: {blank[:3]}")
    darkest = R.darkest()[1]
    page = R.render([darkest * cols] * rows, cols)
    inner = float(page[:, xs[1]:xs[cols - 1]].mean())
    if abs(inner - dark) > 0.5:
        problems.append(f"a page of {darkest!r}, its first and last columns left out, has a "
                        f"mean grey of {inner:.1f}, not the {dark:.1f} the stretch takes as black")
    full = measure(page, np.zeros(art.shape), xs, R.line, rows, R.line / 2, dark)
    if not (full[2] < 10 and full[5] > 150 and full[1] > 0.5 > full[4]):
        problems.append(f"a page of {darkest!r} against black: stretched {full[:3]}, "
                        f"as drawn {full[3:]}; the stretch should take it to about black")
    # The SSIM here against skimage's, on the art and a picture of noise and a ramp.
    rng = np.random.default_rng(1)
    pic = np.clip(np.linspace(0, 255, art.shape[1])[None, :] + rng.normal(0, 40, art.shape), 0, 255)
    ours = measure(art, pic, xs, R.line, rows, R.line / 2, dark)
    a = art.astype(np.float64)
    b = ndimage.gaussian_filter(a, R.line / 2)
    pb = ndimage.gaussian_filter(pic, R.line / 2)
    theirs = [structural_similarity(stretch(a, dark), pic, data_range=255),
              structural_similarity(stretch(b, dark), pb, data_range=255),
              structural_similarity(a, pic, data_range=255),
              structural_similarity(b, pb, data_range=255)]
    if max(abs(x - y) for x, y in zip(ours[:2] + ours[3:5], theirs)) > 1e-9:
        problems.append(f"SSIM differs from skimage's: {ours} against {theirs}")
    return problems


# ---------------------------------------------------------------------------------------------
# Report


def medians(results, sample, tool, grid=None, column=None):
    vals = [r[column] for r in results if r[0] == sample and r[3] == tool and
            (grid is None or r[4] == grid)]
    return (float(np.median(vals)), len(vals)) if vals else (float("nan"), 0)


def render_table(head, body, markdown):
    if markdown:
        out = ["| " + " | ".join(head) + " |",
               "|" + "|".join(["---"] + ["---:"] * (len(head) - 1)) + "|"]
        return "\n".join(out + ["| " + " | ".join(row) + " |" for row in body])
    widths = [max(len(x[i]) for x in [head] + body) for i in range(len(head))]
    fmt = lambda row: "  ".join(c.ljust(widths[0]) if i == 0 else c.rjust(widths[i])
                               for i, c in enumerate(row))
    return "\n".join([fmt(head)] + [fmt(r) for r in body])


# Columns of a result: sample, kind, picture, tool, grid; SSIM, B-SSIM and tone error of the art
# stretched; the same three of the art as drawn; seconds.
SSIM, BSSIM, TONE, RAW_SSIM, RAW_BSSIM, RAW_TONE, SECONDS = range(5, 12)


def table(results, sample, tools, grids, markdown=False):
    """Per tool: median B-SSIM at each grid, median SSIM and tone error over every grid, and
    the share of (picture, grid) pairs where its B-SSIM is above jp2a's; the art stretched."""
    gnames = [f"{c}x{r}" for c, r in grids]
    head = ["tool"] + [f"B-SSIM {g}" for g in gnames] + ["SSIM", "tone error",
                                                        "B-SSIM above jp2a", "results"]
    jp2a = {(r[2], r[4]): r[BSSIM] for r in results if r[0] == sample and r[3] == "jp2a"}
    body = []
    for tn in tools:
        b = [medians(results, sample, tn, g, BSSIM)[0] for g in gnames]
        s, n = medians(results, sample, tn, None, SSIM)
        t, _ = medians(results, sample, tn, None, TONE)
        if n == 0:
            continue
        pairs = [r[BSSIM] > jp2a[(r[2], r[4])] for r in results
                 if r[0] == sample and r[3] == tn and (r[2], r[4]) in jp2a]
        above = "-" if tn == "jp2a" or not pairs else f"{100 * sum(pairs) / len(pairs):.0f}%"
        body.append([tn] + [f"{v:.3f}" for v in b] + [f"{s:.3f}", f"{t:.1f}", above, str(n)])
    return render_table(head, body, markdown) if body else "(no pictures)"


def raw_table(results, tools, grids, markdown=False):
    """The art as drawn, not stretched: per tool, the corpus's median B-SSIM at each grid, its
    SSIM and tone error over every grid, and the held-back sample's B-SSIM and tone error over
    every grid."""
    gnames = [f"{c}x{r}" for c, r in grids]
    head = (["tool"] + [f"B-SSIM {g}" for g in gnames] +
            ["SSIM", "tone error", "held back: B-SSIM", "held back: tone error"])
    body = []
    for tn in tools:
        if medians(results, "corpus", tn, None, RAW_SSIM)[1] == 0:
            continue
        v = [medians(results, "corpus", tn, g, RAW_BSSIM)[0] for g in gnames]
        v += [medians(results, "corpus", tn, None, RAW_SSIM)[0]]
        cells = [f"{x:.3f}" for x in v]
        cells.append(f"{medians(results, 'corpus', tn, None, RAW_TONE)[0]:.1f}")
        hb, n = medians(results, "holdout", tn, None, RAW_BSSIM)
        ht, _ = medians(results, "holdout", tn, None, RAW_TONE)
        cells += [f"{hb:.3f}", f"{ht:.1f}"] if n else ["-", "-"]
        body.append([tn] + cells)
    return render_table(head, body, markdown) if body else "(no pictures)"


def tone_table(results, tools, grids, markdown=False):
    """Per tool and grid: the median tone error of the art stretched, corpus and held back."""
    gnames = [f"{c}x{r}" for c, r in grids]
    head = ["tool"] + [f"{s} {g}" for s in ("corpus", "held back") for g in gnames]
    body = []
    for tn in tools:
        vals = [medians(results, s, tn, g, TONE) for s in ("corpus", "holdout") for g in gnames]
        if any(n for _, n in vals):
            body.append([tn] + [f"{v:.1f}" if n else "-" for v, n in vals])
    return render_table(head, body, markdown) if body else "(no pictures)"


def kind_table(results, sample, tools, markdown=False, column=BSSIM):
    """Per tool and kind of picture: the median B-SSIM (or another column) over every grid."""
    kinds = sorted({r[1] for r in results if r[0] == sample})
    count = {k: len({r[2] for r in results if r[0] == sample and r[1] == k}) for k in kinds}
    head = ["tool"] + [f"{k} ({count[k]})" for k in kinds]
    body = []
    for tn in tools:
        row = [tn]
        for k in kinds:
            vals = [r[column] for r in results if r[0] == sample and r[3] == tn and r[1] == k]
            row.append(f"{float(np.median(vals)):.3f}" if vals else "-")
        body.append(row)
    return render_table(head, body, markdown)


PEERS = ("jp2a", "chafa", "aalib")
SAMPLES = (("corpus", "Corpus"), ("holdout", "Held-back sample"),
           ("holdout2", "Second held-back sample"))


def wins_table(results, sample, tools, grids, markdown=False):
    """Per Tessivo mode and peer: at each grid, the pictures where the mode's B-SSIM is above
    the peer's, and at the last column the same count for plain SSIM over every grid."""
    gnames = [f"{c}x{r}" for c, r in grids]
    by = {(r[2], r[3], r[4]): r for r in results if r[0] == sample}
    head = ["mode", "against"] + [f"B-SSIM {g}" for g in gnames] + ["SSIM, every grid"]
    body = []
    for tn in tools:
        if not tn.startswith("tessivo") or tn == "tessivo tone":
            continue
        for peer in PEERS:
            if peer not in tools:
                continue
            row = [tn, peer]
            for g in gnames:
                pairs = [(by[(p, tn, g)][BSSIM], by[(p, peer, g)][BSSIM]) for (p, t, gg) in by
                         if t == tn and gg == g and (p, peer, g) in by]
                row.append(f"{sum(a > b for a, b in pairs)} of {len(pairs)}" if pairs else "-")
            pairs = [(by[k][SSIM], by[(k[0], peer, k[2])][SSIM]) for k in by
                     if k[1] == tn and (k[0], peer, k[2]) in by]
            row.append(f"{sum(a > b for a, b in pairs)} of {len(pairs)}" if pairs else "-")
            body.append(row)
    return render_table(head, body, markdown) if body else "(no pictures)"


def own_png_ramps(modes, work):
    """Each mode's own PNG of a ramp from black (left) to white, 80 columns: the largest step
    by which a column of the drawing is lighter than the next one, in grey levels of the mean
    over the column's cells. A choice of rows that follows the picture never gets darker where
    it gets lighter."""
    ramp = os.path.join(work, "pictures", "_ramp-png.png")
    Image.fromarray(np.tile(np.linspace(0, 255, 800), (300, 1)).astype(np.uint8)).convert(
        "RGB").save(ramp)
    cols = 80
    out = {}
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for mode in ["tone"] + list(modes):
        png = os.path.join(work, f"_ramp-{mode}.png")
        if mode == "tone":
            w, sx = tone_plan(cols, 512)
            small = os.path.join(work, "tone", "_ramp-png.png")
            Image.open(ramp).resize((w, 300), Image.LANCZOS).save(small)
            cmd = [CONVERT, "--no-footer", "--canvas-width", str(TWIPS * w + LINE_END_MARGIN),
                   "--canvas-height", str(TWIPS * 300), "--sample-x", str(sx), "--format", "png",
                   "--output", png, small]
        else:
            cmd = [CONVERT, "--mode", mode, "--size", f"{cols}x30", "--font", FONTS[FONT][0],
                   "--no-footer", "--format", "png", "--output", png, ramp]
        subprocess.run(cmd, check=True, env=env, capture_output=True)
        g = np.asarray(Image.open(png).convert("L"), np.float64)
        edges = [round(i * g.shape[1] / cols) for i in range(cols + 1)]
        means = [g[:, edges[i]:edges[i + 1]].mean() for i in range(cols)]
        out[mode] = max(0.0, max(means[i] - means[i + 1] for i in range(cols - 1)))
    return out


def figures(work, names, grid, tools, outdir):
    """Side by side: the picture and each tool's art at one grid, drawn as the measures draw
    them."""
    R = Renderer()
    cols, rows = grid
    w, h = R.size(cols, rows)
    label = 14
    os.makedirs(outdir, exist_ok=True)
    made = []
    for name in names:
        panels = [("picture", Image.open(os.path.join(work, "pictures", name + ".png"))
                   .convert("L").resize((w, h), Image.LANCZOS))]
        for tn in tools:
            f = art_path(work, name, cols, rows, tn)
            if os.path.isfile(f):
                lines = open(f, encoding="utf-8").read().rstrip("\n").split("\n")
                panels.append((tn, Image.fromarray(R.render(lines, cols))))
        per_row = 3
        nrow = math.ceil(len(panels) / per_row)
        # Four greys keep the files small: the picture dithered to them, the art (black and
        # white but for its edges) taken to the nearest.
        greys = [round(255 * i / 3) for i in range(4)]
        palette = Image.new("P", (1, 1))
        palette.putpalette([g for g in greys for _ in range(3)] + [0] * (3 * 252))
        sheet = Image.new("L", (per_row * (w + 8), nrow * (h + label + 8)), 255)
        sheet = sheet.convert("RGB").quantize(palette=palette, dither=Image.Dither.NONE)
        d = ImageDraw.Draw(sheet)
        for k, (tn, im) in enumerate(panels):
            x, y = (k % per_row) * (w + 8), (k // per_row) * (h + label + 8)
            dither = Image.Dither.FLOYDSTEINBERG if k == 0 else Image.Dither.NONE
            sheet.paste(im.convert("RGB").quantize(palette=palette, dither=dither), (x, y + label))
            d.text((x + 2, y), tn, font=R.font, fill=0)
            d.rectangle([x, y + label, x + w - 1, y + label + h - 1], outline=2)
        path = os.path.join(outdir, f"{name}.png")
        sheet.save(path, optimize=True, bits=2)
        made.append(path)
    return made


def versions(built):
    def dpkg_version(p):
        return subprocess.run(["dpkg-query", "-W", "-f=${Version}", p], capture_output=True,
                              text=True).stdout or "?"
    v = subprocess.run([CONVERT, "--version"], capture_output=True, text=True).stdout.strip()
    git = subprocess.run(["git", "-C", ROOT, "describe", "--always", "--dirty", "--abbrev=10"],
                         capture_output=True, text=True).stdout.strip()
    head = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                          capture_output=True, text=True).stdout.strip()
    return {
        "tessivo-convert": f"{v} (binary built {built}; when it was copied, HEAD {head}, "
                           f"work tree {git})",
        "jp2a": dpkg_version("jp2a"), "chafa": dpkg_version("chafa"),
        "aalib": dpkg_version("libaa1"), "libcaca": dpkg_version("libcaca0"),
    }


def snapshot_convert(work):
    """Measures a copy of tessivo-convert, so that a build finishing during the run cannot
    change the program halfway (or leave it half written when a tool is started)."""
    global CONVERT
    if not os.access(CONVERT, os.X_OK):
        raise HarnessError(f"{CONVERT} is not there: build Tessivo first (scripts/build.sh)")
    copy = os.path.join(work, "bin", "tessivo-convert")
    os.makedirs(os.path.dirname(copy), exist_ok=True)
    for _ in range(60):
        before = os.stat(CONVERT)
        time.sleep(1)
        after = os.stat(CONVERT)
        if (before.st_size, before.st_mtime_ns) == (after.st_size, after.st_mtime_ns):
            shutil.copy2(CONVERT, copy)
            ok = subprocess.run([copy, "--version"], capture_output=True).returncode == 0
            if ok and os.stat(CONVERT).st_mtime_ns == after.st_mtime_ns:
                CONVERT = copy
                return
    raise HarnessError(f"{CONVERT} kept changing for a minute")


def chosen_samples(args):
    """The (sample, entry) pairs of every list, or of those --samples names, cut to --limit."""
    samples = [(name, e) for name, _ in SAMPLES
               for e in read_list(os.path.join(LISTS, name + ".txt"))]
    if args.samples:
        samples = [(s, e) for s, e in samples if s in args.samples.split(",")]
    if args.limit:
        samples = samples[:args.limit]
    return samples


def main_run(args):
    global FONT
    FONT = args.font
    t_start = time.monotonic()
    work = os.path.abspath(args.work)
    for sub in ("pictures", "art", "tone"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
    snapshot_convert(work)
    # The copy keeps the time the binary was written.
    built = datetime.datetime.fromtimestamp(os.path.getmtime(CONVERT)).strftime("%Y-%m-%d %H:%M")
    # The work tree as the copy is taken (others may commit during the run).
    info = versions(built)
    grids = GRIDS if not args.grids else [tuple(int(v) for v in g.split("x"))
                                          for g in args.grids.split(",")]
    modes = tessivo_modes()
    tools = tools_available(modes)
    if args.tools:
        wanted = args.tools.split(",")
        tools = {k: v for k, v in tools.items() if k in wanted or k.split()[-1] in wanted
                 or k.split()[0] in wanted}
    notes = []
    if "ink" not in modes:
        notes.append("tessivo-convert has no --mode ink in this build: the ink mode is left out")

    dark, darkest = Renderer().darkest()
    problems = check_measures(dark) + check_polarity(tools, work)
    if problems:
        print("The harness's own checks failed:", *problems, sep="\n  ", file=sys.stderr)
        return 2

    samples = chosen_samples(args)
    tasks = []
    for sample, entry in samples:
        name, pic = prepare(entry, work)
        tasks.append((sample, name, pic, entry[0], grids, list(tools), modes, work, dark, FONT))
    names = [t[1] for t in tasks]
    if len(set(names)) != len(names):
        raise HarnessError("two pictures share a name")

    results, errors, missing = [], [], set()
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs) as pool:
        for rows_out, errs, miss in pool.map(convert_picture, tasks):
            results += rows_out
            errors += errs
            missing |= set(miss)
    elapsed = time.monotonic() - t_start

    with open(os.path.join(work, "results.tsv"), "w", encoding="utf-8") as f:
        f.write("sample\tkind\tpicture\ttool\tgrid\tssim\tbssim\ttone_error\t"
                "raw_ssim\traw_bssim\traw_tone_error\tseconds\n")
        for r in results:
            f.write("\t".join(str(round(x, 5)) if isinstance(x, float) else str(x) for x in r) + "\n")

    R = Renderer()
    n_corpus = sum(1 for s, _ in samples if s == "corpus")
    n_hold = len(samples) - n_corpus
    print(f"Pictures: {n_corpus} in the corpus, {n_hold} held back; grids "
          + ", ".join(f"{c}x{r}" for c, r in grids))
    print(f"Drawn in {FONTS[FONT][0]} at {FONT_PX} px: a line every {R.line} px, a character every "
          f"{R.advance:.5f} px; B-SSIM blur sigma {R.line / 2} px")
    stretch_note = (f"the darkest printable ASCII character, {darkest!r}, leaves a cell at a mean "
                    f"grey of {dark:.1f}: the art's greys g are stretched to "
                    f"255 (g - {dark:.1f}) / {255 - dark:.1f}, clamped to 0 to 255")
    print("Stretch:", stretch_note)
    for k, v in info.items():
        print(f"{k}: {v}")
    for n in notes:
        print("Note:", n)
    if missing:
        print("Note: characters the font lacks (drawn as its empty box):",
              " ".join(f"U+{ord(c):04X}" for c in sorted(missing)))
    present = [(k, t) for k, t in SAMPLES if any(r[0] == k for r in results)]
    for sample, title in present:
        print(f"\n{title}, the art stretched (medians over pictures; SSIM and tone error over "
              "every grid)")
        print(table(results, sample, tools, grids))
        print(f"\n{title}: pictures won against each peer")
        print(wins_table(results, sample, tools, grids))
        print(f"\n{title} by kind of picture, median B-SSIM over every grid")
        print(kind_table(results, sample, tools))
        print(f"\n{title} by kind of picture, median SSIM over every grid")
        print(kind_table(results, sample, tools, column=SSIM))
    ramps = own_png_ramps(modes, work)
    print("\nEach mode's own PNG of an 80-column ramp, black to white: the most a column is "
          "lighter than the next (grey levels; at most 2 passes)")
    for mode, step in ramps.items():
        print(f"  {mode}: {step:.2f}  {'passes' if step <= 2 else 'FAILS'}")
    print("\nThe art as drawn, not stretched (medians over pictures; SSIM and tone error over "
          "every grid)")
    print(raw_table(results, tools, grids))
    print("\nTone error of the art stretched, by grid (medians over pictures)")
    print(tone_table(results, tools, grids))
    print(f"\nTime: {elapsed:.0f} s with {args.jobs} processes; per-result numbers in "
          f"{os.path.join(work, 'results.tsv')}")

    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(f"Measured {datetime.date.today().isoformat()}, drawn in {FONTS[FONT][0]}; "
                    f"{n_corpus} pictures in the corpus, {n_hold} held back.\n\n")
            for k, v in info.items():
                f.write(f"- {k}: {v}\n")
            f.write(f"- stretch: {stretch_note}\n")
            for n in notes:
                f.write(f"- {n}\n")
            for sample, title in present:
                f.write(f"\n{title}:\n\n{table(results, sample, tools, grids, markdown=True)}\n")
                f.write(f"\n{title}, pictures won against each peer:\n\n"
                        f"{wins_table(results, sample, tools, grids, markdown=True)}\n")
                f.write(f"\n{title} by kind of picture, median B-SSIM over every grid:\n\n"
                        f"{kind_table(results, sample, tools, markdown=True)}\n")
                f.write(f"\n{title} by kind of picture, median SSIM over every grid:\n\n"
                        f"{kind_table(results, sample, tools, markdown=True, column=SSIM)}\n")
            f.write("\nEach mode's own PNG of an 80-column ramp: the most a column is lighter "
                    "than the next, in grey levels:\n\n")
            for mode, step in ramps.items():
                f.write(f"- {mode}: {step:.2f}\n")
            f.write("\nThe art as drawn, not stretched:\n\n"
                    f"{raw_table(results, tools, grids, markdown=True)}\n")
            f.write("\nTone error by grid:\n\n"
                    f"{tone_table(results, tools, grids, markdown=True)}\n")
            f.write(f"\nThe run took {elapsed:.0f} s with {args.jobs} processes.\n")
    if args.figures:
        shown = [t for t in tools if t not in ("blank page", "img2txt (colours stripped)",
                                                "libcaca mono")]
        for p in figures(work, args.figure_pictures.split(","), grids[0], shown, args.figures):
            print("figure:", p, os.path.getsize(p), "bytes")

    if errors:
        print(f"\n{len(errors)} results missing through errors of the harness or a tool:",
              file=sys.stderr)
        for e in errors:
            print("  " + e, file=sys.stderr)
        return 1
    return 0


# ---------------------------------------------------------------------------------------------
# Colour: every tool's coloured art drawn cell by cell (its background, then its glyph in its
# foreground colour) and held to the picture's colours and luma.

BASIC16 = [0x000000, 0xcd0000, 0x00cd00, 0xcdcd00, 0x0000ee, 0xcd00cd, 0x00cdcd, 0xe5e5e5,
           0x7f7f7f, 0xff0000, 0x00ff00, 0xffff00, 0x5c5cff, 0xff00ff, 0x00ffff, 0xffffff]


def xterm_colour(n):
    if n < 16:
        c = BASIC16[n]
        return (c >> 16 & 255, c >> 8 & 255, c & 255)
    if n >= 232:
        v = 8 + 10 * (n - 232)
        return (v, v, v)
    n -= 16
    levels = (0, 95, 135, 175, 215, 255)
    return (levels[n // 36], levels[n // 6 % 6], levels[n % 6])


def parse_ansi(text, cols, rows):
    """Cells of a terminal's art: (character, foreground, background) for each of rows x cols,
    a light terminal's defaults (black on white) where no colour is set."""
    ink0, back0 = (0, 0, 0), (255, 255, 255)
    grid, line, ink, back = [], [], ink0, back0
    i = 0
    while i < len(text):
        ch = text[i]
        if ch == "\x1b" and text[i + 1:i + 2] == "[":
            j = i + 2
            while j < len(text) and not text[j].isalpha():
                j += 1
            if text[j] == "m":
                p = [int(x) if x else 0 for x in text[i + 2:j].split(";")]
                k = 0
                while k < len(p):
                    v = p[k]
                    if v == 0:
                        ink, back = ink0, back0
                    elif v in (38, 48) and k + 1 < len(p):
                        if p[k + 1] == 2:
                            c = tuple(p[k + 2:k + 5])
                            k += 4
                        else:
                            c = xterm_colour(p[k + 2])
                            k += 2
                        if v == 38:
                            ink = c
                        else:
                            back = c
                    elif 30 <= v <= 37 or 90 <= v <= 97:
                        ink = xterm_colour(v - 30 if v < 90 else v - 90 + 8)
                    elif 40 <= v <= 47 or 100 <= v <= 107:
                        back = xterm_colour(v - 40 if v < 100 else v - 100 + 8)
                    elif v == 39:
                        ink = ink0
                    elif v == 49:
                        back = back0
                    k += 1
            i = j + 1
            continue
        if ch == "\r":
            i += 1
            continue
        if ch == "\n":
            grid.append(line)
            line = []
        else:
            line.append((ch, ink, back))
            for _ in range(cells_of(ch) - 1):
                line.append(("", ink, back))
        i += 1
    if line:
        grid.append(line)
    grid = [l for l in grid if l][:rows]
    if len(grid) != rows or any(len(l) != cols for l in grid):
        raise HarnessError(f"coloured art of {len(grid)} lines, not {rows} of {cols} cells")
    return grid


def srgb_to_linear(a):
    a = np.asarray(a, np.float64) / 255
    return np.where(a <= 0.04045, a / 12.92, ((a + 0.055) / 1.055) ** 2.4)


def linear_to_srgb(a):
    a = np.clip(a, 0, 1)
    return 255 * np.where(a <= 0.0031308, 12.92 * a, 1.055 * a ** (1 / 2.4) - 0.055)


def render_colour(R, grid, cols):
    """Each cell's background, then its glyph in its foreground colour, blended by the glyph's
    coverage as a renderer does."""
    xs = R.xs(cols)
    h, w = len(grid) * R.line, xs[-1]
    out = np.zeros((h, w + 2 * R.pad + 8, 3), np.float64)
    for j, line in enumerate(grid):
        y = j * R.line
        for i, (ch, ink, back) in enumerate(line):
            out[y:y + R.line, R.pad + xs[i]:R.pad + xs[i + 1]] = back
        for i, (ch, ink, back) in enumerate(line):
            if ch in ("", " "):
                continue
            cover = 1 - R.glyph(ch).astype(np.float64) / 255
            region = out[y:y + R.line, xs[i]:xs[i] + cover.shape[1]]
            region += cover[:, :, None] * (np.array(ink, np.float64) - region)
    return out[:, R.pad:R.pad + w]


def colour_tools(colours):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    family = FONTS[FONT][0]

    def tessivo(mode):
        def convert(pic, cols, rows):
            extra = [] if colours == "full" else ["--colours", colours]
            return run([CONVERT, "--mode", mode, "--size", f"{cols}x{rows}", "--font", family,
                        "--font-size", "9", "--no-footer", "--format", "ansi", "--colour-mode",
                        "both"] + extra + [pic], env=env).decode()
        return convert

    def chafa(pic, cols, rows):
        return run(["chafa", "--format", "symbols", "--colors", colours, "--symbols", "ascii",
                    "--size", f"{cols}x{rows}", "--stretch", "--animate", "off", "--threads", "1",
                    pic]).decode()

    def img2txt(pic, cols, rows):
        return run(["img2txt", "-W", str(cols), "-H", str(rows), "-f", "utf8", pic]).decode()

    tools = {f"tessivo shape both": tessivo("shape"), f"tessivo ink both": tessivo("ink"),
             "chafa": chafa}
    if colours == "16":
        tools["img2txt"] = img2txt
    return tools


def colour_picture(task):
    global _renderer, FONT
    sample, name, pic, kind, cols, rows, colours, work, FONT = task
    if _renderer is None:
        _renderer = Renderer()
    R = _renderer
    xs = R.xs(cols)
    w, h = xs[-1], rows * R.line
    picture = np.asarray(Image.open(pic).convert("RGB").resize((w, h), Image.LANCZOS), np.float64)
    linear = srgb_to_linear(picture)
    luma = picture @ [0.299, 0.587, 0.114]
    out, errors = [], []
    for tn, tool in colour_tools(colours).items():
        t0 = time.monotonic()
        try:
            text = tool(pic, cols, rows)
            grid = parse_ansi(text, cols, rows)
        except (HarnessError, subprocess.SubprocessError, OSError, UnicodeDecodeError) as e:
            errors.append(f"{tn} {name}: {e}")
            continue
        seconds = time.monotonic() - t0
        drawn = render_colour(R, grid, cols)
        cells = []
        for space in ("linear", "srgb"):
            a = srgb_to_linear(drawn) if space == "linear" else drawn
            b = linear if space == "linear" else picture
            ma = np.add.reduceat(np.add.reduceat(a, xs[:-1], axis=1),
                                 list(range(0, h, R.line)), axis=0)
            mb = np.add.reduceat(np.add.reduceat(b, xs[:-1], axis=1),
                                 list(range(0, h, R.line)), axis=0)
            area = (np.diff(xs)[None, :, None] * R.line)
            ma, mb = ma / area, mb / area
            if space == "linear":
                ma, mb = linear_to_srgb(ma), linear_to_srgb(mb)
            de = deltaE_ciede2000(rgb2lab(ma / 255), rgb2lab(mb / 255))
            cells.append(float(np.mean(de)))
        ssim = float(structural_similarity(drawn @ [0.299, 0.587, 0.114], luma, data_range=255))
        out.append((sample, kind, name, tn, f"{cols}x{rows}", cells[0], cells[1], ssim, seconds))
        with open(os.path.join(work, "colour", f"{name}-{colours}-{tn.split()[-2] if tn.startswith('tessivo') else tn}.ans"),
                  "w", encoding="utf-8") as f:
            f.write(text)
    return out, errors


def colour_report(results, tools, markdown=False):
    head = ["sample", "tool", "ΔE00 (linear mean)", "ΔE00 (sRGB mean)", "luma SSIM",
            "ΔE00 won against chafa", "SSIM won against chafa", "seconds (median)"]
    body = []
    for sample, _ in SAMPLES:
        by = {(r[2], r[3]): r for r in results if r[0] == sample}
        for tn in tools:
            rows_ = [r for r in results if r[0] == sample and r[3] == tn]
            if not rows_:
                continue
            med = lambda k: float(np.median([r[k] for r in rows_]))
            pairs = [(r, by.get((r[2], "chafa"))) for r in rows_]
            pairs = [(a, b) for a, b in pairs if b is not None]
            won_de = sum(a[5] < b[5] for a, b in pairs)
            won_ss = sum(a[7] > b[7] for a, b in pairs)
            body.append([sample, tn, f"{med(5):.2f}", f"{med(6):.2f}", f"{med(7):.3f}",
                         f"{won_de} of {len(pairs)}" if tn != "chafa" else "-",
                         f"{won_ss} of {len(pairs)}" if tn != "chafa" else "-",
                         f"{med(8):.3f}"])
    return render_table(head, body, markdown)


def colour_kinds(results, tools, column, markdown=False):
    kinds = sorted({r[1] for r in results})
    head = ["tool"] + kinds
    body = []
    for tn in tools:
        row = [tn]
        for k in kinds:
            v = [r[column] for r in results if r[3] == tn and r[1] == k]
            row.append(f"{float(np.median(v)):.3f}" if v else "-")
        body.append(row)
    return render_table(head, body, markdown)


def colour_figures(work, names, cols, rows, colours, tools, outdir):
    R = Renderer()
    os.makedirs(outdir, exist_ok=True)
    made = []
    for name in names:
        pic = os.path.join(work, "pictures", name + ".png")
        if not os.path.isfile(pic):
            continue
        xs = R.xs(cols)
        w, h = xs[-1], rows * R.line
        panels = [("picture", Image.open(pic).convert("RGB").resize((w, h), Image.LANCZOS))]
        for tn in tools:
            short = tn.split()[-2] if tn.startswith("tessivo") else tn
            f = os.path.join(work, "colour", f"{name}-{colours}-{short}.ans")
            if os.path.isfile(f):
                grid = parse_ansi(open(f, encoding="utf-8").read(), cols, rows)
                panels.append((tn, Image.fromarray(render_colour(R, grid, cols).astype(np.uint8))))
        sheet = Image.new("RGB", (len(panels) * (w + 8), h + 22), (255, 255, 255))
        d = ImageDraw.Draw(sheet)
        for k, (tn, im) in enumerate(panels):
            sheet.paste(im, (k * (w + 8), 18))
            d.text((k * (w + 8) + 2, 2), tn, font=R.font, fill=(0, 0, 0))
        path = os.path.join(outdir, f"colour-{name}.png")
        sheet.quantize(colors=255, dither=Image.Dither.NONE).save(path, optimize=True)
        made.append(path)
    return made


def main_colour(args):
    global FONT
    FONT = args.font
    work = os.path.abspath(args.work)
    for sub in ("pictures", "colour"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
    snapshot_convert(work)
    cols, rows = (int(v) for v in args.grid.split("x"))
    samples = chosen_samples(args)
    tasks = []
    for sample, entry in samples:
        name, pic = prepare(entry, work)
        tasks.append((sample, name, pic, entry[0], cols, rows, args.colours, work, FONT))
    results, errors = [], []
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.jobs) as pool:
        for out, errs in pool.map(colour_picture, tasks):
            results += out
            errors += errs
    tools = list(colour_tools(args.colours))
    with open(os.path.join(work, f"colour-{args.colours}.tsv"), "w", encoding="utf-8") as f:
        f.write("sample\tkind\tpicture\ttool\tgrid\tde_linear\tde_srgb\tluma_ssim\tseconds\n")
        for r in results:
            f.write("\t".join(str(round(x, 5)) if isinstance(x, float) else str(x) for x in r) + "\n")
    print(f"Colour at {args.grid}, {args.colours} colours, drawn in {FONTS[FONT][0]}: medians per "
          "picture")
    print(colour_report(results, tools))
    print("\nΔE00 (linear mean) by kind of picture, every sample")
    print(colour_kinds(results, tools, 5))
    print("\nLuma SSIM by kind of picture, every sample")
    print(colour_kinds(results, tools, 7))
    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(f"Colour at {args.grid}, {args.colours} colours:\n\n"
                    f"{colour_report(results, tools, True)}\n\n"
                    f"ΔE00 (linear mean) by kind:\n\n{colour_kinds(results, tools, 5, True)}\n\n"
                    f"Luma SSIM by kind:\n\n{colour_kinds(results, tools, 7, True)}\n")
    if args.figures:
        for p in colour_figures(work, args.figure_pictures.split(","), cols, rows, args.colours,
                                tools, args.figures):
            print("figure:", p)
    for e in errors:
        print("  " + e, file=sys.stderr)
    return 1 if errors else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="command", required=True)
    r = sub.add_parser("run")
    r.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    r.add_argument("--work", default=os.environ.get("QUALITY_WORK", "/tmp/tessivo-quality"))
    r.add_argument("--grids", help="e.g. 80x30,160x60")
    r.add_argument("--tools", help="a comma-separated subset, e.g. jp2a,tone")
    r.add_argument("--limit", type=int, help="only the first N pictures (a quick look)")
    r.add_argument("--font", choices=sorted(FONTS), default="dejavu",
                   help="the font every art is drawn in, and Tessivo told (uming adds a table of "
                        "full-width rows to the Tessivo modes)")
    r.add_argument("--samples", help="only these samples, e.g. corpus (while tuning: never the "
                   "held-back ones)")
    r.add_argument("--markdown", help="also write the tables, in Markdown, to this file")
    r.add_argument("--figures", help="write side-by-side pictures into this folder")
    r.add_argument("--figure-pictures", default="astronaut,grace_hopper,horse,page")
    cc = sub.add_parser("colour", help="coloured art against chafa and img2txt")
    cc.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    cc.add_argument("--work", default=os.environ.get("QUALITY_WORK", "/tmp/tessivo-quality"))
    cc.add_argument("--grid", default="120x45")
    cc.add_argument("--colours", choices=("full", "256", "16"), default="full")
    cc.add_argument("--font", choices=sorted(FONTS), default="dejavu")
    cc.add_argument("--samples")
    cc.add_argument("--limit", type=int)
    cc.add_argument("--markdown")
    cc.add_argument("--figures")
    cc.add_argument("--figure-pictures", default="astronaut,chelsea,coffee,logo")
    c = sub.add_parser("choose")
    c.add_argument("--seed", type=int, default=7)
    c2 = sub.add_parser("choose-second", help="make holdout2.txt from bench/quality/pool2.txt")
    c2.add_argument("--seed", type=int, default=11)
    args = ap.parse_args()
    if args.command == "choose":
        choose(args.seed)
        return 0
    if args.command == "colour":
        return main_colour(args)
    if args.command == "choose-second":
        choose_second(args.seed)
        return 0
    return main_run(args)


if __name__ == "__main__":
    try:
        sys.exit(main())
    except HarnessError as e:
        print("quality.py:", e, file=sys.stderr)
        sys.exit(2)
