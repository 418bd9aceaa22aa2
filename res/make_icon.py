#!/usr/bin/env python3
"""Draws the program's icon: one 32 x 32 image in 16 colours, written as .ico."""
import struct
import sys

# The standard 16-colour palette, as (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
    (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
    (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, GREY, SILVER, BLUE, WHITE, YELLOW = 0, 8, 7, 12, 15, 14  # indexes (red/blue swapped in BGR order)


def picture():
    """A plotter: a grey body with a blue carriage over a sheet, and a download arrow."""
    px = [[None] * 32 for _ in range(32)]  # None: transparent

    def box(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = c

    box(2, 12, 29, 22, GREY)       # body
    box(3, 13, 28, 21, SILVER)
    box(2, 23, 29, 24, BLACK)      # base
    box(6, 25, 25, 29, WHITE)      # sheet coming out
    box(12, 14, 18, 19, BLUE)      # carriage
    box(15, 20, 15, 21, BLACK)     # blade
    box(14, 1, 16, 7, YELLOW)      # arrow shaft
    for i in range(4):             # arrow head
        box(11 + i, 8 + i, 19 - i, 8 + i, YELLOW)
    return px


def ico(px):
    width = height = 32
    xor = bytearray()
    andmask = bytearray()
    for y in reversed(range(height)):  # bottom-up rows
        row = px[y]
        for x in range(0, width, 2):
            a = row[x] if row[x] is not None else 0
            b = row[x + 1] if row[x + 1] is not None else 0
            xor.append((a << 4) | b)
        bits = 0
        for x in range(width):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        andmask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, len(xor) + len(andmask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (b, g, r) in PALETTE)
    image = header + palette + bytes(xor) + bytes(andmask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(ico(picture()))
