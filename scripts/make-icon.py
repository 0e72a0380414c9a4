#!/usr/bin/env python3
"""Draws resources/menubar_icon.png: a berry with a leaf and a quill-nib "Q" cut in it.

Pure Python (zlib only), drawn at 72x72 with 4x4 supersampling so it stays crisp when
the tray scales it to 18-24 pixels. Its own colours, with a light rim, read on dark and
light panels alike. Run it again after changing the drawing; the output is committed.
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


def render():
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter: none
        for px in range(SIZE):
            acc = [0, 0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    c = sample(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS)
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


def png(pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/menubar_icon.png"
    with open(out, "wb") as f:
        f.write(png(render()))
