#!/usr/bin/env python3
"""Draws the application's bitmaps: the toolbar strip, the cursors and the icon.

Run from anywhere: `python3 res/make_images.py`. Writes next to this script:

  toolbar.png       144 x 24, six 24 x 24 images in button order: Open,
                    Preferences, Previous, Next, Full Screen, Slide Show
  hand_cursor.png   32 x 32 open hand; the code sets its hot spot to (16, 14)
  blank_cursor.png  32 x 32, every pixel transparent
  brelvix.png       64 x 64 application icon
  brelvix-256.png   256 x 256 application icon for the desktop entry
  link_cursor.png   32 x 32 pointing hand over links; hot spot (5, 0)
  icons/hicolor/    the application icon for the desktop's icon theme, at
                    several sizes and as scalable vector art

Only the standard library is used; shapes are rasterised with 4 x 4
supersampling so edges are smooth at toolbar size.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # samples per pixel edge


def write_png(path, width, height, rgba):
    """rgba: list of rows, each a list of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in rgba:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


class Canvas:
    """Straight-alpha canvas; shapes are coverage functions over (x, y)."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.px = [[(0, 0, 0, 0) for _ in range(width)] for _ in range(height)]

    def fill(self, inside, colour, x0=0, y0=0, x1=None, y1=None):
        x1 = self.width if x1 is None else x1
        y1 = self.height if y1 is None else y1
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                            hits += 1
                if hits:
                    self.blend(x, y, colour, hits / (SS * SS))

    def blend(self, x, y, colour, coverage):
        r, g, b = colour[:3]
        a = (colour[3] if len(colour) > 3 else 255) / 255.0 * coverage
        dr, dg, db, da = self.px[y][x]
        da /= 255.0
        oa = a + da * (1 - a)
        if oa <= 0:
            return

        def mix(s, d):
            return int(round((s * a + d * da * (1 - a)) / oa))

        self.px[y][x] = (mix(r, dr), mix(g, dg), mix(b, db), int(round(oa * 255)))

    def paste(self, other, ox, oy):
        for y in range(other.height):
            for x in range(other.width):
                self.px[oy + y][ox + x] = other.px[y][x]


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 + 1e-9

    return inside


def frame(x0, y0, x1, y1, width, radius=0.0):
    outer = rect(x0, y0, x1, y1, radius)
    inner = rect(x0 + width, y0 + width, x1 - width, y1 - width, max(0.0, radius - width))
    return lambda x, y: outer(x, y) and not inner(x, y)


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


OUTLINE = (40, 52, 70)
BLUE = (52, 120, 200)
LIGHT_BLUE = (150, 196, 240)
FOLDER = (236, 188, 76)
FOLDER_DARK = (176, 124, 28)
GREEN = (46, 160, 90)
GREY = (110, 118, 130)


def icon_open():
    c = Canvas(24, 24)
    c.fill(rect(2, 5, 11, 9, 1.5), FOLDER_DARK)
    c.fill(rect(2, 7, 21, 20, 1.5), FOLDER_DARK)
    c.fill(rect(3, 8, 20, 19, 1), FOLDER)
    c.fill(polygon([(5, 12), (23, 12), (20, 20), (2, 20)]), FOLDER_DARK)
    c.fill(polygon([(6, 13), (21.6, 13), (19.2, 19), (3.4, 19)]), (250, 214, 120))
    return c


def icon_preferences():
    c = Canvas(24, 24)
    teeth = 8
    outer, inner = 10.5, 8.0

    def gear(x, y):
        dx, dy = x - 12, y - 12
        r = math.hypot(dx, dy)
        angle = math.atan2(dy, dx)
        tooth = (math.cos(angle * teeth) > 0.2)
        return r <= (outer if tooth else inner) and r >= 3.2

    c.fill(gear, GREY)
    c.fill(ring(12, 12, 6.2, 4.6), (160, 168, 180))
    return c


def icon_arrow(pointing_right):
    c = Canvas(24, 24)
    if pointing_right:
        shape = polygon([(3, 9), (12, 9), (12, 3.5), (21.5, 12), (12, 20.5), (12, 15), (3, 15)])
    else:
        shape = polygon([(21, 9), (12, 9), (12, 3.5), (2.5, 12), (12, 20.5), (12, 15), (21, 15)])
    c.fill(shape, GREEN)
    return c


def icon_full_screen():
    c = Canvas(24, 24)
    c.fill(frame(2, 4, 22, 20, 1.6, 1.5), OUTLINE)
    c.fill(rect(3.6, 5.6, 20.4, 18.4), LIGHT_BLUE)
    for (ax, ay, sx, sy) in ((5, 7, 1, 1), (19, 7, -1, 1), (5, 17, 1, -1), (19, 17, -1, -1)):
        c.fill(polygon([(ax, ay), (ax + 5 * sx, ay), (ax, ay + 4 * sy)]), BLUE)
    return c


def icon_slide_show():
    c = Canvas(24, 24)
    c.fill(frame(2, 3, 22, 18, 1.6, 1.5), OUTLINE)
    c.fill(rect(3.6, 4.6, 20.4, 16.4), (255, 255, 255))
    c.fill(polygon([(9, 6.5), (16, 10.5), (9, 14.5)]), BLUE)
    c.fill(polygon([(11, 18), (13, 18), (16, 22), (8, 22)]), OUTLINE)
    return c


def toolbar():
    strip = Canvas(144, 24)
    icons = [icon_open(), icon_preferences(), icon_arrow(False), icon_arrow(True), icon_full_screen(),
             icon_slide_show()]
    for i, icon in enumerate(icons):
        strip.paste(icon, 24 * i, 0)
    return strip


def hand_cursor():
    # An open hand, palm down, fingers up; the hot spot (16, 14) lies in the
    # middle of the palm, where the user "grabs" the picture.
    size = 32
    parts = [
        rect(8.5, 5.5, 11.5, 17, 1.5),   # index finger
        rect(12.5, 2.5, 15.5, 17, 1.5),  # middle finger
        rect(16.5, 3.5, 19.5, 17, 1.5),  # ring finger
        rect(20.5, 6.5, 23.5, 18, 1.5),  # little finger
        rect(8.5, 13, 23.5, 26.5, 4),    # palm
        polygon([(4, 15.5), (6.2, 13.8), (10, 18), (10, 23), (8, 23)]),  # thumb
    ]

    def mask(x, y):
        return any(p(x + 0.5, y + 0.5) for p in parts)

    def finger_gap(x, y):
        # Keeps a visible line between the fingers above the palm.
        return y < 15 and x in (12, 16, 20)

    cells = [[mask(x, y) and not finger_gap(x, y) for x in range(size)] for y in range(size)]
    c = Canvas(size, size)
    for y in range(size):
        for x in range(size):
            if not cells[y][x]:
                continue
            edge = False
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if not (0 <= nx < size and 0 <= ny < size) or not cells[ny][nx]:
                    edge = True
            c.px[y][x] = (0, 0, 0, 255) if edge else (255, 255, 255, 255)
    return c


LINK_CURSOR = [
    "     ##",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..###",
    "    #..#..###",
    "    #..#..#..##",
    "    #..#..#..#.#",
    "### #..#..#..#..#",
    "#..##..#..#..#..#",
    "#...#...........#",
    " #..............#",
    "  #.............#",
    "  #.............#",
    "   #............#",
    "   #...........#",
    "    #..........#",
    "    #.........#",
    "     #........#",
    "     #........#",
    "     ##########",
]


def link_cursor():
    # A pointing hand, two colours; the code sets its hot spot to the
    # fingertip, (5, 0).
    c = Canvas(32, 32)
    for y, row in enumerate(LINK_CURSOR):
        for x, cell in enumerate(row):
            if cell == "#":
                c.px[y][x] = (0, 0, 0, 255)
            elif cell == ".":
                c.px[y][x] = (255, 255, 255, 255)
    return c


ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def app_icon_svg():
    """The application icon as scalable vector art, the same shapes as
    app_icon on its 64-unit grid."""
    def colour(rgb):
        return "#%02x%02x%02x" % rgb

    def points(pts):
        return " ".join("%g,%g" % p for p in pts)

    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">\n'
        '  <rect x="4" y="8" width="56" height="48" rx="5" fill="%s"/>\n'
        '  <rect x="8" y="12" width="48" height="40" rx="2" fill="%s"/>\n'
        '  <circle cx="44" cy="23" r="5" fill="%s"/>\n'
        '  <polygon points="%s" fill="%s"/>\n'
        '  <polygon points="%s" fill="%s"/>\n'
        "</svg>\n"
    ) % (
        colour(OUTLINE[:3]),
        colour((196, 226, 250)),
        colour((250, 196, 60)),
        points([(8, 52), (24, 28), (38, 52)]),
        colour((70, 140, 90)),
        points([(26, 52), (42, 34), (56, 48), (56, 52)]),
        colour((46, 110, 70)),
    )


def app_icon(size):
    c = Canvas(size, size)
    s = size / 64.0

    def sc(points):
        return [(x * s, y * s) for x, y in points]

    c.fill(rect(4 * s, 8 * s, 60 * s, 56 * s, 5 * s), OUTLINE)
    c.fill(rect(8 * s, 12 * s, 56 * s, 52 * s, 2 * s), (196, 226, 250))
    c.fill(circle(44 * s, 23 * s, 5 * s), (250, 196, 60))
    c.fill(polygon(sc([(8, 52), (24, 28), (38, 52)])), (70, 140, 90))
    c.fill(polygon(sc([(26, 52), (42, 34), (56, 48), (56, 52)])), (46, 110, 70))
    return c


def main():
    outputs = {
        "toolbar.png": toolbar(),
        "hand_cursor.png": hand_cursor(),
        "blank_cursor.png": Canvas(32, 32),
        "brelvix.png": app_icon(64),
        "brelvix-256.png": app_icon(256),
        "link_cursor.png": link_cursor(),
    }
    for size in ICON_SIZES:
        outputs["icons/hicolor/%dx%d/apps/brelvix.png" % (size, size)] = app_icon(size)
    for name, canvas in outputs.items():
        os.makedirs(os.path.dirname(os.path.join(HERE, name)), exist_ok=True)
        write_png(os.path.join(HERE, name), canvas.width, canvas.height, canvas.px)
        print("wrote", name)
    svg = os.path.join(HERE, "icons/hicolor/scalable/apps/brelvix.svg")
    os.makedirs(os.path.dirname(svg), exist_ok=True)
    with open(svg, "w") as out:
        out.write(app_icon_svg())
    print("wrote", os.path.relpath(svg, HERE))


if __name__ == "__main__":
    main()
