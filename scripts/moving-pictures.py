#!/usr/bin/env python3
# Writes the moving pictures the browser and terminal checks use into a folder:
#   blocks.gif    red, green and blue blocks moving right, shown 100, 200 and 300 ms, played for
#                 ever; the red one cleared after it is shown (restore to background), the green
#                 one put back as it was before it (restore to previous); around them nothing
#                 is drawn (the screen's background colour, black, is not painted)
#   edges.gif     a first frame smaller than the screen, frames partly and wholly outside it,
#                 delays of 0, 10 and 20 ms, an interlaced frame with a transparent index cleared
#                 whole after it; played 3 times
#   overflow.gif  a first frame reaching past the screen
#   webp-N.png    the blocks, each on transparency, for an animated WebP
#   scripts/moving-pictures.py FOLDER
import os, struct, sys, zlib

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)

def lzw(pixels, bits):
    # Literal codes only, the table cleared before its codes would widen.
    clear = 1 << bits
    codes = [clear]
    for i, p in enumerate(pixels):
        if i and i % (clear - 2) == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(clear + 1)
    out, acc, n = bytearray(), 0, 0
    for c in codes:
        acc |= c << n
        n += bits + 1
        while n >= 8:
            out.append(acc & 255)
            acc >>= 8
            n -= 8
    if n:
        out.append(acc & 255)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + out[i:i + 255] for i in range(0, len(out), 255))
    return bytes([bits]) + blocks + b"\0"

def gif(name, size, palette, frames, loops=None, background=0):
    bits = max(2, (len(palette) - 1).bit_length())
    table = b"".join(bytes(c) for c in palette) + b"\0\0\0" * ((1 << bits) - len(palette))
    data = b"GIF89a" + struct.pack("<HH", *size) + bytes([0x80 | (bits - 1), background, 0]) + table
    if loops is not None:
        data += b"\x21\xff\x0bNETSCAPE2.0\x03\x01" + struct.pack("<H", loops) + b"\0"
    for f in frames:
        x, y, w, h = f["rect"]
        pixels = f.get("pixels") or [f["index"]] * (w * h)
        rows = [pixels[r * w:(r + 1) * w] for r in range(h)]
        if f.get("interlaced"):
            order = [r for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)) for r in range(start, h, step)]
            rows = [rows[r] for r in order]
        t = f.get("transparent")
        data += b"\x21\xf9\x04" + bytes([(f.get("disposal", 0) << 2) | (t is not None)])
        data += struct.pack("<H", f["delay"]) + bytes([t or 0]) + b"\0"
        data += b"," + struct.pack("<HHHH", x, y, w, h) + bytes([0x40 if f.get("interlaced") else 0])
        data += lzw([p for row in rows for p in row], bits)
    open(f"{folder}/{name}", "wb").write(data + b";")

def png(name, w, h, rgba):
    raw = b"".join(b"\0" + rgba[y * w * 4:(y + 1) * w * 4] for y in range(h))
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    open(f"{folder}/{name}", "wb").write(b"\x89PNG\r\n\x1a\n" +
        chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
        chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))

black, red, green, blue = (0, 0, 0), (255, 0, 0), (0, 160, 0), (0, 0, 255)
gif("blocks.gif", (120, 60), [black, red, green, blue], [
    {"rect": (10, 15, 30, 30), "index": 1, "delay": 10, "disposal": 2},
    {"rect": (45, 15, 30, 30), "index": 2, "delay": 20, "disposal": 3},
    {"rect": (80, 15, 30, 30), "index": 3, "delay": 30}], loops=0)
yellow, cyan, magenta, white = (255, 255, 0), (0, 255, 255), (255, 0, 255), (255, 255, 255)
diagonal = [4 if x == 3 * (y // 2) else 7 for y in range(40) for x in range(60)]
gif("edges.gif", (60, 40), [black, red, green, blue, cyan, yellow, magenta, white], [
    {"rect": (10, 10, 20, 10), "index": 5, "delay": 0},
    {"rect": (50, 30, 20, 20), "index": 2, "delay": 1},
    {"rect": (100, 100, 5, 5), "index": 3, "delay": 2},
    {"rect": (0, 0, 60, 40), "pixels": diagonal, "transparent": 7, "interlaced": True,
     "delay": 5, "disposal": 2},
    {"rect": (0, 0, 10, 10), "index": 6, "delay": 10}], loops=2, background=1)
gif("overflow.gif", (40, 30), [black, red, green, blue], [
    {"rect": (20, 20, 40, 20), "index": 1, "delay": 10},
    {"rect": (0, 0, 10, 10), "index": 2, "delay": 10}], loops=0)
for n, colour in enumerate((red, green, blue)):
    rgba = bytearray(120 * 60 * 4)
    for y in range(15, 45):
        for x in range(10 + 35 * n, 40 + 35 * n):
            rgba[(y * 120 + x) * 4:(y * 120 + x + 1) * 4] = bytes(colour) + b"\xff"
    png(f"webp-{n + 1}.png", 120, 60, bytes(rgba))
