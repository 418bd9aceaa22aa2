#!/usr/bin/env python3
"""Draws the program's icon and writes it as .ico: a plotter with a sheet coming
out and a download arrow above it, at every size Windows asks for at 100 % to
200 % scaling (16, 20, 24, 32, 40, 48, 64) and 256 for large views. Each size is
drawn afresh from the same shapes, with their edges on whole pixels, in 32-bit
colour with alpha; the 256 one is stored PNG-compressed, as Windows reads it.

usage: make_icon.py OUT.ico
"""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_FROM = 256  # sizes from this one up are stored as PNG
GRID = 32       # the shapes are laid out on a 32 x 32 grid

# (red, green, blue, alpha)
OUTLINE = (40, 44, 52, 255)
BODY = (92, 98, 110, 255)
FACE = (196, 202, 210, 255)
SLOT = (52, 56, 64, 255)
CARRIAGE = (0, 100, 200, 255)
BLADE = (24, 24, 28, 255)
SHEET = (255, 255, 255, 255)
SHEET_EDGE = (150, 156, 166, 255)
ARROW = (255, 196, 0, 255)
ARROW_EDGE = (150, 96, 0, 255)

# The shapes on the grid, back to front: rectangles (left, top, right, bottom)
# and polygons (a list of points), each with its colour.
SHAPES = [
    ((5, 22, 27, 31), SHEET_EDGE),  # the sheet coming out
    ((6, 22, 26, 30), SHEET),
    ((1, 12, 31, 25), OUTLINE),     # the body
    ((2, 13, 30, 24), BODY),
    ((3, 15, 29, 21), FACE),
    ((3, 21, 29, 22), SLOT),        # where the sheet leaves
    ((11, 14, 19, 20), OUTLINE),    # the carriage and its blade
    ((12, 15, 18, 19), CARRIAGE),
    ((14, 19, 16, 22), BLADE),
    ((12, 0, 20, 7), ARROW_EDGE),   # the arrow: outline, then fill
    ([(7, 6), (25, 6), (16, 14)], ARROW_EDGE),
    ((13, 0, 19, 8), ARROW),
    ([(7, 6), (25, 6), (16, 14)], ARROW, 1),  # inset by the outline's width
]


def snap(v, size):
    return round(v * size / GRID)


def blend(dst, src, coverage):
    """src over dst (straight alpha), src's alpha scaled by coverage."""
    a = src[3] / 255 * coverage
    if a <= 0:
        return dst
    da = dst[3] / 255
    out_a = a + da * (1 - a)
    rgb = tuple((src[i] * a + dst[i] * da * (1 - a)) / out_a for i in range(3))
    return rgb + (out_a * 255,)


def inside(x, y, poly):
    n, hit = len(poly), False
    for i in range(n):
        (x0, y0), (x1, y1) = poly[i], poly[(i + 1) % n]
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            hit = not hit
    return hit


def fill_rect(px, rect, colour):
    size = len(px)
    l, t, r, b = (snap(v, size) for v in rect)
    r, b = max(r, l + 1), max(b, t + 1)  # thin parts stay visible when small
    for y in range(t, min(b, size)):
        for x in range(l, min(r, size)):
            px[y][x] = blend(px[y][x], colour, 1.0)


def shrink(pts, d):
    """A convex polygon (clockwise on screen) with every edge moved inwards by d."""
    lines = []
    for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
        length = ((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5
        nx, ny = -(y1 - y0) / length, (x1 - x0) / length  # the inward normal
        lines.append(((x0 + nx * d, y0 + ny * d), (x1 - x0, y1 - y0)))
    out = []
    for ((px0, py0), (dx0, dy0)), ((px1, py1), (dx1, dy1)) in zip(lines[-1:] + lines[:-1], lines):
        s = ((px1 - px0) * dy1 - (py1 - py0) * dx1) / (dx0 * dy1 - dy0 * dx1)
        out.append((px0 + s * dx0, py0 + s * dy0))
    return out


def fill_polygon(px, poly, colour, inset=0, samples=4):
    """Corners on whole pixels; slanted edges get the share of each pixel they
    cover (samples x samples). An inset in grid units is at least one pixel,
    so an outline stays solid."""
    size = len(px)
    pts = [(snap(x, size), snap(y, size)) for x, y in poly]
    if inset:
        pts = shrink(pts, max(1, round(inset * size / GRID)))
    x0, x1 = int(min(p[0] for p in pts)), int(max(p[0] for p in pts)) + 1
    y0, y1 = int(min(p[1] for p in pts)), int(max(p[1] for p in pts)) + 1
    for y in range(max(y0, 0), min(y1, size)):
        for x in range(max(x0, 0), min(x1, size)):
            hits = sum(inside(x + (i + 0.5) / samples, y + (j + 0.5) / samples, pts)
                       for i in range(samples) for j in range(samples))
            if hits:
                px[y][x] = blend(px[y][x], colour, hits / samples ** 2)


def picture(size):
    """The icon at size x size: rows of (r, g, b, a) from the top."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for shape, colour, *inset in SHAPES:
        if isinstance(shape, tuple):
            fill_rect(px, shape, colour)
        else:
            fill_polygon(px, shape, colour, inset[0] if inset else 0)
    return [[tuple(int(round(c)) for c in p) for p in row] for row in px]


def dib(px):
    """A 32-bit icon image: header, BGRA rows bottom-up, then the AND mask."""
    size = len(px)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(px) for p in row)
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(px):
        bits = 0
        for p in row:
            bits = (bits << 1) | (p[3] == 0)
        bits <<= stride * 8 - size
        mask += bits.to_bytes(stride, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def png(px):
    size = len(px)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(sizes=SIZES):
    images = [(s, png(picture(s)) if s >= PNG_FROM else dib(picture(s))) for s in sizes]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for s, data in images:
        directory += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, data in images)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(ico())
