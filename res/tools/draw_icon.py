#!/usr/bin/env python3
"""Draws the installer's icon (resource 135): one image, 32 x 32 pixels,
8 bits per pixel, with a transparency mask. It shows the product's emblem,
a gold "Q" ring around a blue lens with a sheet folded in two, with a dark
outline so the hard mask edge reads well on any background.

Colours are reduced to a palette by median cut; index 0 is black and is
what the transparent pixels carry. Only +, -, *, / and sqrt touch floating
point, so the file is the same on every machine.

Usage: draw_icon.py [OUT.ico]   (default: ty_installer.ico beside res/tools)
"""

import math
import os
import struct
import sys

SIZE = 32
PALETTE_SIZE = 256


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def ring(cx, cy, r_inner, r_outer):
    mid, half = (r_inner + r_outer) / 2, (r_outer - r_inner) / 2
    return lambda x, y: abs(math.sqrt((x - cx) ** 2 + (y - cy) ** 2) - mid) - half


def circle(cx, cy, r):
    return lambda x, y: math.sqrt((x - cx) ** 2 + (y - cy) ** 2) - r


def capsule(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def sdf(x, y):
        t = clamp01(((x - ax) * dx + (y - ay) * dy) / length2)
        ex, ey = x - (ax + t * dx), y - (ay + t * dy)
        return math.sqrt(ex * ex + ey * ey) - r
    return sdf


def diamond(cx, cy, h):
    root2 = math.sqrt(2.0)
    return lambda x, y: (abs(x - cx) + abs(y - cy) - h) / root2


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def vertical(top_colour, bottom_colour, top, bottom):
    return lambda x, y: mix(top_colour, bottom_colour,
                            clamp01((y - top) / (bottom - top)))


def render():
    """Returns (colours, opaque): 32 x 32 RGB tuples and mask flags, row 0 at
    the top."""
    colours = [(0.0, 0.0, 0.0)] * (SIZE * SIZE)
    alpha = [0.0] * (SIZE * SIZE)
    cx, cy = 13.5, 13.5
    q_ring = union(ring(cx, cy, 7.6, 12.4), capsule(cx + 8.0, cy + 8.0, cx + 14.5, cy + 14.5, 2.7))
    sheet = diamond(cx, cy, 6.4)
    layers = [
        (lambda x, y: q_ring(x, y) - 1.0, (24.0, 30.0, 58.0)),          # outline
        (circle(cx, cy, 8.2), vertical((38.0, 84.0, 150.0), (16.0, 40.0, 92.0), cy - 8.0, cy + 8.0)),
        (q_ring, vertical((255.0, 230.0, 128.0), (214.0, 116.0, 18.0), cy - 12.0, cy + 14.0)),
        (intersect(ring(cx, cy, 10.2, 11.6), circle(cx - 9.0, cy - 9.0, 10.0)),
         (255.0, 250.0, 220.0)),                                           # highlight
        (intersect(sheet, lambda x, y: x - cx),
         vertical((255.0, 255.0, 255.0), (206.0, 222.0, 244.0), cy - 6.0, cy + 6.0)),
        (intersect(sheet, lambda x, y: cx - x),
         vertical((150.0, 192.0, 240.0), (70.0, 122.0, 196.0), cy - 6.0, cy + 6.0)),
    ]
    for shape, colour in layers:
        for y in range(SIZE):
            for x in range(SIZE):
                px, py = x + 0.5, y + 0.5
                coverage = clamp01(0.5 - shape(px, py))
                if coverage <= 0.0:
                    continue
                c = colour(px, py) if callable(colour) else colour
                i = y * SIZE + x
                if alpha[i] == 0.0:
                    colours[i] = c        # nothing below: no blending with black
                else:
                    colours[i] = mix(colours[i], c, coverage)
                alpha[i] = max(alpha[i], coverage)
    opaque = [a >= 0.5 for a in alpha]
    rgb = [tuple(max(0, min(255, int(v + 0.5))) for v in c) for c in colours]
    return rgb, opaque


def median_cut(colours, count):
    """Reduces a list of RGB tuples to at most `count` colours."""
    boxes = [sorted(colours)]
    while len(boxes) < count:
        best, best_range, best_channel = None, 0, 0
        for i, box in enumerate(boxes):
            if len(set(box)) < 2:
                continue
            for channel in range(3):
                values = [c[channel] for c in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_channel = i, spread, channel
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda c: (c[best_channel], c))
        half = len(box) // 2
        boxes[best:best] = [box[:half], box[half:]]
    palette = []
    for box in boxes:
        n = len(box)
        palette.append(tuple((sum(c[k] for c in box) + n // 2) // n for k in range(3)))
    return sorted(set(palette))


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: (sum((palette[i][k] - colour[k]) ** 2 for k in range(3)), i))


def ico():
    rgb, opaque = render()
    used = [rgb[i] for i in range(SIZE * SIZE) if opaque[i]]
    palette = [(0, 0, 0)] + median_cut(used, PALETTE_SIZE - 1)
    palette += [(0, 0, 0)] * (PALETTE_SIZE - len(palette))
    cache = {}
    xor_rows, and_rows = [], []
    for y in range(SIZE - 1, -1, -1):          # bottom-up
        xor_row = bytearray()
        mask_bits = 0
        for x in range(SIZE):
            i = y * SIZE + x
            if opaque[i]:
                if rgb[i] not in cache:
                    cache[rgb[i]] = 1 + nearest(palette[1:], rgb[i])
                xor_row.append(cache[rgb[i]])
            else:
                xor_row.append(0)
                mask_bits |= 1 << (31 - x)
        xor_rows.append(bytes(xor_row))
        and_rows.append(struct.pack(">I", mask_bits))
    xor_bits, and_bits = b"".join(xor_rows), b"".join(and_rows)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0,
                       len(xor_bits) + len(and_bits), 0, 0, 0, 0)
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    image = info + colour_table + xor_bits + and_bits
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image),
                        len(directory) + 16)
    return directory + entry + image


def main():
    if len(sys.argv) > 2:
        sys.stderr.write("usage: draw_icon.py [OUT.ico]\n")
        return 2
    out = sys.argv[1] if len(sys.argv) == 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), os.pardir, "ty_installer.ico")
    with open(out, "wb") as f:
        f.write(ico())
    return 0


if __name__ == "__main__":
    sys.exit(main())
