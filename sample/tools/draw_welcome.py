#!/usr/bin/env python3
"""Draws the installer's welcome picture (package entry 0) as a 24-bit
bottom-up BMP, 190 x 280 pixels: a night-blue gradient with a soft glow, the
product's emblem (a gold "Q" ring around a folded sheet), the product name
in a small built-in bitmap font, a version badge, the maker's name and a few
light arcs.

The wizard draws the picture 26 pixels below the top of its panel and clips
it at the panel's bottom edge, so everything that matters sits in the upper
215 rows; the rest is background.

Only +, -, *, / and sqrt are used on floating-point values (all correctly
rounded in IEEE arithmetic), so the bytes are the same on every machine.

Usage: draw_welcome.py OUT.bmp
"""

import math
import struct
import sys

WIDTH = 190
HEIGHT = 280

# 5-column bitmap font, 7 rows above the baseline and 2 below. Glyphs are
# proportional: empty columns at the left and right are dropped.
FONT_ROWS = 9
FONT = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "J": ["..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "b": ["#....", "#....", "#.##.", "##..#", "#...#", "#...#", "####."],
    "c": [".....", ".....", ".###.", "#....", "#....", "#...#", ".###."],
    "d": ["....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "f": ["..##", ".#..", ".#..", "###.", ".#..", ".#..", ".#.."],
    "g": [".....", ".....", ".####", "#...#", "#...#", "#...#", ".####",
          "....#", ".###."],
    "h": ["#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "i": [".#.", "...", "##.", ".#.", ".#.", ".#.", "###"],
    "j": ["...#", "....", "..##", "...#", "...#", "...#", "...#", "#..#",
          ".##."],
    "k": ["#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#"],
    "l": ["##.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "p": [".....", ".....", "####.", "#...#", "#...#", "#...#", "####.",
          "#....", "#...."],
    "q": [".....", ".....", ".####", "#...#", "#...#", "#...#", ".####",
          "....#", "....#"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    "t": [".#..", ".#..", "###.", ".#..", ".#..", ".#.#", "..#."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
    "y": [".....", ".....", "#...#", "#...#", "#...#", "#...#", ".####",
          "....#", ".###."],
    "z": [".....", ".....", "#####", "...#.", "..#..", ".#...", "#####"],
    "0": [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    "1": [".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."],
    ".": ["..", "..", "..", "..", "..", "##", "##"],
    ",": ["..", "..", "..", "..", "..", "##", "##", ".#", "#."],
    ":": ["..", "##", "##", "..", "##", "##", ".."],
    "-": ["....", "....", "....", "####", "....", "....", "...."],
    "/": ["....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."],
    "(": ["..#", ".#.", "#..", "#..", "#..", ".#.", "..#"],
    ")": ["#..", ".#.", "..#", "..#", "..#", ".#.", "#.."],
    "'": ["#", "#", "#", ".", ".", ".", "."],
    " ": ["...", "...", "...", "...", "...", "...", "..."],
}


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t,
            a[2] + (b[2] - a[2]) * t)


class Canvas:
    """Floating-point RGB pixels, row 0 at the top."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [(0.0, 0.0, 0.0)] * (width * height)

    def blend(self, x, y, colour, alpha):
        if alpha <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        i = y * self.width + x
        self.pixels[i] = mix(self.pixels[i], colour, min(alpha, 1.0))

    def add(self, x, y, amount):
        i = y * self.width + x
        r, g, b = self.pixels[i]
        self.pixels[i] = (r + amount[0], g + amount[1], b + amount[2])

    def fill_sdf(self, sdf, box, colour, alpha=1.0):
        """Fills the shape whose signed distance (negative inside) `sdf`
        gives at pixel centres, with one pixel of anti-aliasing. `colour`
        is a colour or a function of the pixel centre."""
        x0, y0, x1, y1 = box
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                px, py = x + 0.5, y + 0.5
                coverage = clamp01(0.5 - sdf(px, py))
                if coverage > 0.0:
                    c = colour(px, py) if callable(colour) else colour
                    self.blend(x, y, c, coverage * alpha)

    def text_width(self, text, scale, spacing=1):
        columns = sum(len(FONT[ch][0]) + spacing for ch in text) - spacing
        return columns * scale

    def draw_text(self, text, left, top, scale, colour, spacing=1,
                  alpha=1.0):
        """Draws `text` with its cap line at `top`; glyph pixels become
        rectangles of `scale` x `scale` whose exact overlap with each screen
        pixel gives the coverage."""
        coverage = {}
        x = left
        for ch in text:
            glyph = FONT[ch]
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        self._add_rect(coverage, x + col * scale,
                                       top + row * scale, scale)
            x += (len(glyph[0]) + spacing) * scale
        for (px, py), amount in sorted(coverage.items()):
            c = colour(px + 0.5, py + 0.5) if callable(colour) else colour
            self.blend(px, py, c, min(amount, 1.0) * alpha)

    @staticmethod
    def _add_rect(coverage, rx, ry, size):
        for py in range(int(math.floor(ry)), int(math.ceil(ry + size))):
            h = min(py + 1, ry + size) - max(py, ry)
            if h <= 0:
                continue
            for px in range(int(math.floor(rx)), int(math.ceil(rx + size))):
                w = min(px + 1, rx + size) - max(px, rx)
                if w > 0:
                    coverage[(px, py)] = coverage.get((px, py), 0.0) + w * h

    def centred_text(self, text, centre_x, top, scale, colour, spacing=1,
                     shadow=None):
        # Whole-pixel start, so that text at scale 1 stays crisp.
        left = math.floor(centre_x - self.text_width(text, scale, spacing) / 2 + 0.5)
        if shadow:
            self.draw_text(text, left + shadow[0], top + shadow[1], scale,
                           (0.0, 8.0, 24.0), spacing, shadow[2])
        self.draw_text(text, left, top, scale, colour, spacing)

    def bmp(self):
        row_size = (self.width * 3 + 3) // 4 * 4
        rows = []
        for y in range(self.height - 1, -1, -1):   # bottom-up
            row = bytearray()
            for x in range(self.width):
                r, g, b = self.pixels[y * self.width + x]
                for v in (b, g, r):
                    row.append(max(0, min(255, int(v + 0.5))))
            row.extend(b"\0" * (row_size - len(row)))
            rows.append(bytes(row))
        bits = b"".join(rows)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24,
                           0, len(bits), 2835, 2835, 0, 0)
        header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits),
                             0, 0, 14 + len(info))
        return header + info + bits


# Signed distance functions (negative inside).

def circle(cx, cy, r):
    return lambda x, y: math.sqrt((x - cx) ** 2 + (y - cy) ** 2) - r


def ring(cx, cy, r_inner, r_outer):
    mid, half = (r_inner + r_outer) / 2, (r_outer - r_inner) / 2
    return lambda x, y: abs(math.sqrt((x - cx) ** 2 + (y - cy) ** 2) - mid) - half


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


def left_of(cx):
    return lambda x, y: x - cx


def right_of(cx):
    return lambda x, y: cx - x


def vertical(top_colour, bottom_colour, top, bottom):
    return lambda x, y: mix(top_colour, bottom_colour,
                            clamp01((y - top) / (bottom - top)))


def draw():
    c = Canvas(WIDTH, HEIGHT)
    cx, cy = 95.0, 64.0

    # Background: night blue to deep teal, lit from behind the emblem.
    top, middle, bottom = (10.0, 22.0, 52.0), (16.0, 58.0, 108.0), (8.0, 96.0, 118.0)
    for y in range(HEIGHT):
        t = (y + 0.5) / HEIGHT
        base = mix(top, middle, t * 2) if t < 0.5 else mix(middle, bottom, t * 2 - 1)
        for x in range(WIDTH):
            d = math.sqrt((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2)
            glow = clamp01(1.0 - d / 92.0)
            glow = glow * glow
            c.pixels[y * WIDTH + x] = (base[0] + 46.0 * glow,
                                       base[1] + 78.0 * glow,
                                       base[2] + 120.0 * glow)

    # Light arcs at the bottom, like the edges of folded sheets.
    for k in range(5):
        r = 150.0 + 13.0 * k
        c.fill_sdf(ring(250.0, 400.0, r - 0.7, r + 0.7), (0, 150, WIDTH, HEIGHT),
                   (200.0, 235.0, 255.0), 0.10 + 0.04 * k)
        c.fill_sdf(ring(-70.0, 430.0, r + 20.0, r + 20.8), (0, 150, WIDTH, HEIGHT),
                   (200.0, 235.0, 255.0), 0.07)

    # The emblem: a gold "Q" ring with a tail, around a sheet folded in two.
    emblem_box = (int(cx) - 45, int(cy) - 45, int(cx) + 48, int(cy) + 48)
    q_ring = union(ring(cx, cy, 24.0, 33.0),
                   capsule(cx + 16.0, cy + 16.0, cx + 31.0, cy + 31.0, 5.5))
    shadow = lambda x, y: q_ring(x - 2.5, y - 3.0)
    c.fill_sdf(shadow, emblem_box, (0.0, 6.0, 22.0), 0.45)
    gold = vertical((255.0, 226.0, 120.0), (226.0, 128.0, 22.0), cy - 33.0, cy + 37.0)
    c.fill_sdf(q_ring, emblem_box, gold)
    # A highlight along the ring's upper left edge.
    c.fill_sdf(intersect(ring(cx, cy, 29.5, 31.5), circle(cx - 22.0, cy - 22.0, 26.0)),
               emblem_box, (255.0, 250.0, 215.0), 0.55)
    sheet = diamond(cx, cy, 17.0)
    c.fill_sdf(intersect(sheet, left_of(cx)), emblem_box,
               vertical((255.0, 255.0, 255.0), (214.0, 228.0, 246.0), cy - 17.0, cy + 17.0))
    c.fill_sdf(intersect(sheet, right_of(cx)), emblem_box,
               vertical((168.0, 204.0, 244.0), (92.0, 142.0, 206.0), cy - 17.0, cy + 17.0))
    c.fill_sdf(capsule(cx, cy - 16.0, cx, cy + 16.0, 0.45), emblem_box,
               (60.0, 96.0, 150.0), 0.8)

    # The product's name, then the version badge and the maker.
    pale_gold = vertical((255.0, 255.0, 255.0), (255.0, 226.0, 150.0), 112.0, 132.0)
    c.centred_text("QUENFOLD", cx, 112.0, 2.9, pale_gold, shadow=(1.2, 1.4, 0.6))
    c.centred_text("for Vexor for DOS", cx, 141.0, 1.55, (214.0, 232.0, 250.0),
                   shadow=(1.0, 1.0, 0.5))
    badge_y = 168.0
    c.fill_sdf(capsule(cx - 36.0, badge_y, cx + 36.0, badge_y, 8.5),
               (int(cx) - 48, int(badge_y) - 12, int(cx) + 49, int(badge_y) + 12),
               vertical((255.0, 222.0, 112.0), (230.0, 150.0, 40.0),
                        badge_y - 8.5, badge_y + 8.5))
    c.centred_text("Version 2.9", cx, badge_y - 4.5, 1.3, (16.0, 32.0, 70.0))
    c.fill_sdf(capsule(40.0, 192.0, 150.0, 192.0, 0.4), (30, 188, 160, 196),
               (200.0, 230.0, 255.0), 0.35)
    c.centred_text("TESSALY", cx, 199.0, 1.5, (236.0, 244.0, 255.0), spacing=2)
    c.centred_text("Virus protection for DOS drives", cx, 218.0, 1.0,
                   (170.0, 205.0, 235.0))
    return c.bmp()


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: draw_welcome.py OUT.bmp\n")
        return 2
    with open(sys.argv[1], "wb") as f:
        f.write(draw())
    return 0


if __name__ == "__main__":
    sys.exit(main())
