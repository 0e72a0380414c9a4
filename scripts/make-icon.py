#!/usr/bin/env python3
"""Draws Quillberry's icon: a berry with a leaf and a quill-nib "Q" cut in it.

    make-icon.py [OUT.png]          the tray icon, 72x72 (default resources/menubar_icon.png)
    make-icon.py --size N OUT.png   the application icon at N x N, for the hicolor theme
    make-icon.py --svg OUT.svg      the same drawing as scalable vector graphics

Pure Python (zlib only), drawn on a 72-unit canvas with 4x4 supersampling so it stays crisp
when the tray scales it to 18-24 pixels. Its own colours, with a light rim, read on dark and
light panels alike. The tray icon is committed; the build draws the theme's sizes.
"""
import math
import struct
import sys
import zlib

SIZE = 72
SS = 4


def inside_circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def leaf(x, y):
    # An ellipse tilted 35 degrees, above the berry on the right.
    cx, cy, a, b, t = 46, 13, 13, 5.5, math.radians(-35)
    dx, dy = x - cx, y - cy
    u = dx * math.cos(t) + dy * math.sin(t)
    v = -dx * math.sin(t) + dy * math.cos(t)
    return (u / a) ** 2 + (v / b) ** 2 <= 1


def q_mark(x, y):
    # A ring plus a diagonal nib stroke: the letter Q drawn like a pen tip.
    cx, cy = 35, 42
    d = math.hypot(x - cx, y - cy)
    ring = 9.5 <= d <= 15.5
    # tail from the ring's lower right outwards
    px, py = x - (cx + 6), y - (cy + 6)
    along = (px + py) / math.sqrt(2)
    across = abs(px - py) / math.sqrt(2)
    tail = 0 <= along <= 15 and across <= 3.2 - along * 0.12
    return ring or tail


def sample(x, y):
    """RGBA of one subsample, or None for transparent."""
    cx, cy, r = 35, 42, 27
    if leaf(x, y):
        return (92, 196, 96, 255)
    if inside_circle(x, y, cx, cy, r):
        if q_mark(x, y):
            return (255, 255, 255, 255)
        rim = not inside_circle(x, y, cx, cy, r - 2.6)
        if rim:
            return (236, 200, 255, 255)
        # light from the top left
        shade = ((x - cx) + (y - cy)) / (2 * r)
        base = (156, 52, 196)
        k = 1.0 - 0.35 * (shade + 0.5)
        return (int(base[0] * k), int(base[1] * k), int(base[2] * k), 255)
    return None


def render(size=SIZE):
    scale = SIZE / size
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    c = sample((px + (sx + 0.5) / SS) * scale, (py + (sy + 0.5) / SS) * scale)
                    if c:
                        for i in range(3):
                            acc[i] += c[i] * c[3]
                        acc[3] += c[3]
            n = SS * SS
            alpha = acc[3] / n
            if acc[3]:
                rgb = [int(acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row += bytes(rgb + [int(alpha)])
        rows.append(bytes(row))
    return b"".join(rows)


def png(pixels, size=SIZE):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def svg():
    """The drawing of sample() as vector shapes, on the same 72-unit canvas."""
    cx, cy, r = 35, 42, 27
    d = r / math.sqrt(2)

    def shade(k):
        return "#%02x%02x%02x" % tuple(min(255, int(c * k)) for c in (156, 52, 196))

    # The nib: from the ring's lower right outwards, 3.2 units half-wide, narrowing to 1.4.
    x0, y0, n = cx + 6, cy + 6, 1 / math.sqrt(2)
    x1, y1 = x0 + 15 * n, y0 + 15 * n
    nib = [(x0 + 3.2 * n, y0 - 3.2 * n), (x1 + 1.4 * n, y1 - 1.4 * n),
           (x1 - 1.4 * n, y1 + 1.4 * n), (x0 - 3.2 * n, y0 + 3.2 * n)]
    return f"""<svg xmlns="http://www.w3.org/2000/svg" width="72" height="72" viewBox="0 0 72 72">
  <defs>
    <linearGradient id="berry" gradientUnits="userSpaceOnUse" x1="{cx - d:.2f}" y1="{cy - d:.2f}" x2="{cx + d:.2f}" y2="{cy + d:.2f}">
      <stop offset="0" stop-color="{shade(1.0 + 0.35 * 0.207)}"/>
      <stop offset="1" stop-color="{shade(1.0 - 0.35 * 1.207)}"/>
    </linearGradient>
  </defs>
  <circle cx="{cx}" cy="{cy}" r="{r}" fill="url(#berry)"/>
  <circle cx="{cx}" cy="{cy}" r="{r - 1.3}" fill="none" stroke="#ecc8ff" stroke-width="2.6"/>
  <circle cx="{cx}" cy="{cy}" r="12.5" fill="none" stroke="#ffffff" stroke-width="6"/>
  <polygon fill="#ffffff" points="{' '.join(f'{x:.2f},{y:.2f}' for x, y in nib)}"/>
  <ellipse cx="46" cy="13" rx="13" ry="5.5" transform="rotate(-35 46 13)" fill="#5cc460"/>
</svg>
"""


if __name__ == "__main__":
    args = sys.argv[1:]
    if args[:1] == ["--svg"]:
        with open(args[1], "w") as f:
            f.write(svg())
    elif args[:1] == ["--size"]:
        size = int(args[1])
        with open(args[2], "wb") as f:
            f.write(png(render(size), size))
    else:
        with open(args[0] if args else "resources/menubar_icon.png", "wb") as f:
            f.write(png(render()))
