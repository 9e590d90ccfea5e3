#!/usr/bin/env python3
"""Draws the preview skins of the shipped phone profiles.

For every model below this writes data/Profiles/<profile>.skin and its pictures in
data/Profiles/Images/: the phone picture <Images>.bmp (257 x 425, 24-bit, magenta where
the preview's background shows through) and, for every single-colour element that has a
lit picture, <Images>_0<n>.bmp, cut to the element's first shape. The light shapes of the
skin and the parts they light come from one description, so they always line up.

Standard library only, and deterministic: run `python3 tools/make_skins.py` from the
repository root and the same files come out byte for byte.
"""

import math
import os
import struct
import sys

W, H = 257, 425
KEY = (255, 0, 255)  # transparent key colour of every picture
BACKDROP = (236, 233, 216)  # colour of the preview's drawing area behind the phone
SEEN = 0.04  # coverage below which a pixel is left to the key colour

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROFILES = os.path.join(ROOT, "data", "Profiles")
IMAGES = os.path.join(PROFILES, "Images")


# --------------------------------------------------------------------------- colours


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def scale(c, k):
    return tuple(min(255.0, v * k) for v in c)


def windows_colour(value):
    """A Windows colour value keeps red in the low byte."""
    return (value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF)


# --------------------------------------------------------------------------- shapes
# Shapes are signed distance functions: negative inside, in pixels.


def rrect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        out = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return out + min(max(qx, qy), 0.0) - r

    d.box = (x0, y0, x1, y1)
    return d


def circle(cx, cy, r):
    def d(x, y):
        return math.hypot(x - cx, y - cy) - r

    d.box = (cx - r, cy - r, cx + r, cy + r)
    return d


def ellipse(x0, y0, x1, y1):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    a, b = (x1 - x0) / 2.0, (y1 - y0) / 2.0

    def d(x, y):
        k = math.hypot((x - cx) / a, (y - cy) / b)
        return (k - 1.0) * min(a, b)

    d.box = (x0, y0, x1, y1)
    return d


def ring(cx, cy, r, width):
    def d(x, y):
        return abs(math.hypot(x - cx, y - cy) - r) - width / 2.0

    d.box = (cx - r - width, cy - r - width, cx + r + width, cy + r + width)
    return d


def segment(ax, ay, bx, by, width):
    def d(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - width / 2.0

    w = width
    d.box = (min(ax, bx) - w, min(ay, by) - w, max(ax, bx) + w, max(ay, by) + w)
    return d


def arc(cx, cy, r, a0, a1, width):
    """Arc of a circle between two angles in degrees (0 = right, 90 = down)."""
    p0 = (cx + r * math.cos(math.radians(a0)), cy + r * math.sin(math.radians(a0)))
    p1 = (cx + r * math.cos(math.radians(a1)), cy + r * math.sin(math.radians(a1)))

    def d(x, y):
        ang = math.degrees(math.atan2(y - cy, x - cx)) % 360.0
        lo, hi = a0 % 360.0, a1 % 360.0
        inside = lo <= ang <= hi if lo <= hi else (ang >= lo or ang <= hi)
        if inside:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2.0
        return min(math.hypot(x - p0[0], y - p0[1]), math.hypot(x - p1[0], y - p1[1])) - width / 2.0

    d.box = (cx - r - width, cy - r - width, cx + r + width, cy + r + width)
    return d


def clip(shape, cut):
    """The part of shape that lies inside cut."""

    def d(x, y):
        return max(shape(x, y), cut(x, y))

    d.box = shape.box
    return d


def below_line(ax, ay, bx, by):
    """Half plane on the right of the direction a -> b (y grows downwards)."""
    nx, ny = by - ay, -(bx - ax)
    n = math.hypot(nx, ny)

    def d(x, y):
        return -((x - ax) * nx + (y - ay) * ny) / n

    d.box = (0, 0, W, H)
    return d


def outward_normal(shape, x, y):
    gx = shape(x + 0.5, y) - shape(x - 0.5, y)
    gy = shape(x, y + 0.5) - shape(x, y - 0.5)
    n = math.hypot(gx, gy) or 1.0
    return gx / n, gy / n


# --------------------------------------------------------------------------- layer


class Layer:
    """Premultiplied colour and coverage per pixel; painted front to back with 'over'."""

    def __init__(self):
        n = W * H
        self.r = [0.0] * n
        self.g = [0.0] * n
        self.b = [0.0] * n
        self.a = [0.0] * n

    def put(self, x, y, colour, alpha):
        if not (0 <= x < W and 0 <= y < H) or alpha <= 0.0:
            return
        i = y * W + x
        keep = 1.0 - alpha
        self.r[i] = colour[0] * alpha + self.r[i] * keep
        self.g[i] = colour[1] * alpha + self.g[i] * keep
        self.b[i] = colour[2] * alpha + self.b[i] * keep
        self.a[i] = alpha + self.a[i] * keep

    def paint(self, shape, colour, alpha=1.0, soft=0.5):
        """Fills shape; colour is an RGB tuple or a function (x, y, distance) -> RGB.
        soft is the half width of the edge ramp: 0.5 gives a clean anti-aliased edge,
        larger values a blurred one (shadows, glows)."""
        x0, y0, x1, y1 = shape.box
        pad = soft + 1
        xa, ya = max(0, int(math.floor(x0 - pad))), max(0, int(math.floor(y0 - pad)))
        xb, yb = min(W, int(math.ceil(x1 + pad))), min(H, int(math.ceil(y1 + pad)))
        flat = not callable(colour)
        for y in range(ya, yb):
            py = y + 0.5
            for x in range(xa, xb):
                px = x + 0.5
                d = shape(px, py)
                cover = 0.5 - d / (2.0 * soft)
                if cover <= 0.0:
                    continue
                if cover > 1.0:
                    cover = 1.0
                self.put(x, y, colour if flat else colour(px, py, d), cover * alpha)

    def pixels(self, under):
        """Final picture: each pixel over under(x, y), or the key colour where nothing
        (or next to nothing) was painted."""
        rows = []
        for y in range(H):
            row = []
            for x in range(W):
                i = y * W + x
                a = self.a[i]
                if a < SEEN:
                    row.append(KEY)
                    continue
                u = under(x, y)
                c = (
                    self.r[i] + u[0] * (1.0 - a),
                    self.g[i] + u[1] * (1.0 - a),
                    self.b[i] + u[2] * (1.0 - a),
                )
                c = tuple(max(0, min(255, int(round(v)))) for v in c)
                if c == KEY:  # never let a painted pixel turn transparent
                    c = (254, 0, 255)
                row.append(c)
            rows.append(row)
        return rows


# --------------------------------------------------------------------------- text

FONT = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11111", "00010", "00100", "00010", "00001", "10001", "01110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    "*": ["00000", "00100", "10101", "01110", "10101", "00100", "00000"],
    "#": ["01010", "01010", "11111", "01010", "11111", "01010", "01010"],
    ":": ["00000", "01100", "01100", "00000", "01100", "01100", "00000"],
    " ": ["00000"] * 7,
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "10001", "11001", "10101", "10011", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
}


def text_width(text, size=1, gap=1):
    return len(text) * (5 + gap) * size - gap * size


def draw_text(layer, x, y, text, colour, alpha=1.0, size=1, gap=1):
    for ch in text:
        glyph = FONT[ch]
        for gy, line in enumerate(glyph):
            for gx, bit in enumerate(line):
                if bit == "1":
                    for sy in range(size):
                        for sx in range(size):
                            layer.put(x + gx * size + sx, y + gy * size + sy, colour, alpha)
        x += (5 + gap) * size


def draw_text_centred(layer, cx, y, text, colour, alpha=1.0, size=1, gap=1):
    draw_text(layer, int(round(cx - text_width(text, size, gap) / 2.0)), y, text, colour, alpha, size, gap)


# --------------------------------------------------------------------------- shading

LIGHT = (-0.55, -0.83)  # light falls from the upper left


def body_shader(shape, dark, light, bevel=3.0, sheen=0.4):
    """Rounded metal or plastic: a soft horizontal profile and a bevel along the edge."""
    x0, y0, x1, y1 = shape.box

    def colour(x, y, d):
        t = (x - x0) / (x1 - x0)
        k = 1.0 - 0.85 * abs(t - sheen) ** 1.3
        k -= 0.12 * (y - y0) / (y1 - y0)
        c = mix(dark, light, max(0.0, min(1.0, k)))
        if d > -bevel:
            nx, ny = outward_normal(shape, x, y)
            e = (nx * LIGHT[0] + ny * LIGHT[1]) * (1.0 + d / bevel)
            c = mix(c, (255, 255, 255), 0.55 * e) if e > 0 else mix(c, (0, 0, 0), -0.5 * e)
        return c

    return colour


def vertical(y0, y1, top, bottom):
    def colour(x, y, d):
        return mix(top, bottom, max(0.0, min(1.0, (y - y0) / float(y1 - y0))))

    return colour


def drop_shadow(layer, shape, dx=3, dy=5, soft=5.0, alpha=0.35):
    def moved(x, y):
        return shape(x - dx, y - dy)

    x0, y0, x1, y1 = shape.box
    moved.box = (x0 + dx, y0 + dy, x1 + dx, y1 + dy)
    layer.paint(moved, (40, 36, 30), alpha, soft)


def glass_reflection(layer, shape, x0, y0, x1, y1, alpha=0.07):
    """A diagonal band of reflected light across a glass window."""
    band = clip(shape, below_line(x1, y0, x0, y0 + (x1 - x0) * 0.9))
    layer.paint(band, (255, 255, 255), alpha)


# --------------------------------------------------------------------------- parts


def key(layer, x0, y0, x1, y1, r, face, text=None, text_colour=(40, 40, 44), lit=None):
    """A keypad key; with lit set only the glowing parts are painted, in that colour."""
    shape = rrect(x0, y0, x1, y1, r)
    cx = (x0 + x1) / 2.0
    if lit is None:
        layer.paint(rrect(x0 - 1, y0 - 1, x1 + 1, y1 + 1.5, r + 1), (30, 30, 34), 0.65)
        layer.paint(shape, vertical(y0, y1, scale(face, 1.12), scale(face, 0.82)))
        layer.paint(rrect(x0 + 2, y0 + 1, x1 - 2, y0 + 3, 1), (255, 255, 255), 0.35)
        if text:
            draw_text_centred(layer, cx, int((y0 + y1) / 2.0 - 3.5), text, text_colour)
    else:
        layer.paint(rrect(x0 - 1, y0 - 1, x1 + 1, y1 + 1, r + 1), lit, 0.25, soft=1.5)
        layer.paint(shape, vertical(y0, y1, mix(lit, (255, 255, 255), 0.35), lit), 0.5)
        if text:
            draw_text_centred(layer, cx, int((y0 + y1) / 2.0 - 3.5), text, mix(lit, (255, 255, 255), 0.85))


def handset(layer, cx, cy, colour, alpha=1.0, hang_up=False):
    """The call and end key symbol: a handset lying on its back (hang_up turns it over)."""
    if hang_up:
        layer.paint(arc(cx, cy + 6, 8, 215, 325, 3.0), colour, alpha)
        layer.paint(segment(cx - 8, cy + 1, cx - 6, cy + 4, 3.5), colour, alpha)
        layer.paint(segment(cx + 8, cy + 1, cx + 6, cy + 4, 3.5), colour, alpha)
    else:
        layer.paint(arc(cx, cy - 5, 8, 35, 145, 3.0), colour, alpha)
        layer.paint(segment(cx - 8, cy - 1, cx - 6, cy - 4, 3.5), colour, alpha)
        layer.paint(segment(cx + 8, cy - 1, cx + 6, cy - 4, 3.5), colour, alpha)


def screen(layer, x0, y0, x1, y1, back=None, radius=2):
    """The display's picture. Without back it is the dark, unlit display (its picture just
    readable); with back the display is lit in that colour."""
    lit = back is not None
    shape = rrect(x0, y0, x1, y1, radius)
    if lit:
        bg_top, bg_bottom = back, mix(back, (90, 110, 150), 0.22)
        ink, soft_ink, accent = (20, 28, 52), (70, 84, 118), mix(back, (40, 90, 200), 0.55)
    else:
        bg_top, bg_bottom = (44, 52, 58), (26, 31, 36)
        ink, soft_ink, accent = (82, 94, 102), (64, 74, 82), (52, 66, 80)
    layer.paint(shape, vertical(y0, y1, bg_top, bg_bottom))
    w = x1 - x0
    # wallpaper: two soft hills across the lower half
    hill = clip(ellipse(x0 - w * 0.3, y0 + (y1 - y0) * 0.62, x1 - w * 0.2, y1 + (y1 - y0) * 0.5), shape)
    layer.paint(hill, accent, 0.55)
    hill2 = clip(ellipse(x0 + w * 0.35, y0 + (y1 - y0) * 0.7, x1 + w * 0.4, y1 + (y1 - y0) * 0.6), shape)
    layer.paint(hill2, accent, 0.35)
    # status bar: signal bars and battery
    for i in range(5):
        h = 2 + i * 1.5
        layer.paint(rrect(x0 + 4 + i * 3, y0 + 11 - h, x0 + 6 + i * 3, y0 + 11, 0.3), ink)
    bx = x1 - 17
    layer.paint(rrect(bx, y0 + 4, bx + 12, y0 + 11, 1), ink)
    layer.paint(rrect(bx + 1.2, y0 + 5.2, bx + 10.8, y0 + 9.8, 0.5), bg_top)
    layer.paint(rrect(bx + 2, y0 + 6, bx + 8, y0 + 9, 0.2), ink)
    layer.paint(rrect(bx + 12, y0 + 6, bx + 13.5, y0 + 9, 0.3), ink)
    # clock and carrier
    cx = (x0 + x1) / 2.0
    draw_text_centred(layer, cx, int(y0 + (y1 - y0) * 0.24), "12:45", ink, size=2, gap=1)
    draw_text_centred(layer, cx, int(y0 + (y1 - y0) * 0.24) + 19, "MOTO", soft_ink)
    # soft key bar
    draw_text(layer, int(x0 + 4), int(y1 - 10), "MSG", ink)
    draw_text(layer, int(x1 - 4 - text_width("MENU")), int(y1 - 10), "MENU", ink)


def write_bmp(path, rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - width * 3)
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + bytes(data))


# --------------------------------------------------------------------------- models
#
# Each model draws its picture into a Layer, names its light shapes per element and, for a
# lit picture, draws the lit parts of an element into a fresh Layer.


class Shape:
    def __init__(self, kind, left, top, right, bottom, opacity):
        self.kind, self.opacity = kind, opacity
        self.left, self.top, self.right, self.bottom = left, top, right, bottom


def rect(l, t, r, b, opacity):
    return Shape("Rectangle", l, t, r, b, opacity)


def disc(l, t, r, b, opacity):
    return Shape("Circle", l, t, r, b, opacity)


class Candybar:
    """The generic model: a silver candybar with a black face around the display, side
    light pipes, a status light by the earpiece, a navigation ring and a lit logo."""

    profile = "Motorola (All Models)"
    images = "Motorola (All Models)"
    lit = {}  # element -> method drawing its lit picture; this model has no single-colour element
    about = "Generic Motorola candybar phone (display, keypad, side lights, top light, navigation ring, logo)"

    X0, Y0, X1, Y1 = 46, 16, 210, 408
    SCREEN = (74, 62, 182, 172)
    NAV = (128, 248)
    ROWS = [288, 314, 340, 366]
    COLS = [(62, 102), (108, 148), (154, 194)]
    KEYS = ["123", "456", "789", "*0#"]

    def function_keys(self):
        # soft keys beside the navigation ring, then the call and end keys
        return [(60, 226, 92, 240), (164, 226, 196, 240), (60, 252, 92, 270), (164, 252, 196, 270)]

    def shapes(self):
        s = {}
        x0, y0, x1, y1 = self.SCREEN
        s[1] = [rect(x0, y0, x1, y1, 140)]
        keys = [(c0, r, c1, r + 20) for r in self.ROWS for c0, c1 in self.COLS]
        s[2] = [rect(*k, 150) for k in self.function_keys() + keys]
        s[3] = [rect(40, 110, 48, 320, 190)]
        s[4] = [rect(208, 110, 216, 320, 190)]
        s[5] = [disc(172, 30, 184, 42, 200)]
        cx, cy = self.NAV
        s[6] = [disc(cx - 24, cy - 24, cx + 24, cy + 24, 150)]
        s[7] = [rect(92, 186, 164, 200, 170)]
        return s

    def draw(self, L):
        x0, y0, x1, y1 = self.X0, self.Y0, self.X1, self.Y1
        body = rrect(x0, y0, x1, y1, 28)
        drop_shadow(L, body)
        # light pipes on the sides, drawn first so the body overlaps their inner edge
        for lx in (40, 208):
            pipe = rrect(lx, 110, lx + 8, 320, 3.5)
            L.paint(rrect(lx - 0.8, 109.2, lx + 8.8, 320.8, 4), (96, 104, 116))
            L.paint(pipe, body_shader(pipe, (150, 164, 180), (226, 234, 242), 1.5, 0.3))
            L.paint(rrect(lx + 2, 114, lx + 4, 316, 1), (255, 255, 255), 0.55)
        L.paint(body, body_shader(body, (120, 124, 132), (226, 229, 234), 3.5))
        # black face around the display
        face = rrect(x0 + 10, y0 + 10, x1 - 10, 208, 20)
        L.paint(rrect(x0 + 9, y0 + 9, x1 - 9, 209, 21), (90, 92, 98))
        L.paint(face, vertical(y0, 208, (34, 36, 42), (14, 15, 18)))
        glass_reflection(L, face, x0 + 10, y0 + 10, x1 - 10, 208, 0.06)
        # earpiece slot and status light
        L.paint(segment(110, 36, 146, 36, 5), (6, 6, 8))
        L.paint(segment(111, 35, 145, 35, 1.5), (60, 62, 70), 0.8)
        L.paint(circle(178, 36, 5.5), (70, 74, 82))
        L.paint(circle(178, 36, 4), vertical(32, 40, (200, 206, 214), (120, 126, 134)))
        L.paint(circle(176.5, 34.5, 1.3), (255, 255, 255), 0.9)
        # display
        sx0, sy0, sx1, sy1 = self.SCREEN
        L.paint(rrect(sx0 - 3, sy0 - 3, sx1 + 3, sy1 + 3, 4), (4, 4, 6))
        screen(L, sx0, sy0, sx1, sy1)
        glass_reflection(L, rrect(sx0, sy0, sx1, sy1, 2), sx0, sy0, sx1, sy1, 0.06)
        # logo under the display
        draw_text_centred(L, 128, 190, "MOTOROLA", (170, 174, 182))
        # function keys and navigation ring
        fk = self.function_keys()
        for k in fk[:2]:
            key(L, *k, 6, (196, 200, 208))
            L.paint(segment(k[0] + 10, 233, k[2] - 10, 233, 2), (60, 62, 70))
        key(L, *fk[2], 8, (196, 200, 208))
        handset(L, (fk[2][0] + fk[2][2]) / 2.0, 261, (30, 150, 60))
        key(L, *fk[3], 8, (196, 200, 208))
        handset(L, (fk[3][0] + fk[3][2]) / 2.0, 261, (200, 40, 40), hang_up=True)
        cx, cy = self.NAV
        L.paint(circle(cx, cy + 1.5, 25), (40, 40, 46), 0.6)
        nav = circle(cx, cy, 24)
        L.paint(nav, body_shader(nav, (120, 124, 134), (228, 231, 236), 3.0, 0.35))
        for ang in (0, 90, 180, 270):
            ax = cx + 17 * math.cos(math.radians(ang))
            ay = cy + 17 * math.sin(math.radians(ang))
            L.paint(circle(ax, ay, 2), (70, 72, 80))
        L.paint(circle(cx, cy, 11.5), (70, 72, 80))
        centre = circle(cx, cy, 10)
        L.paint(centre, body_shader(centre, (150, 154, 162), (240, 242, 246), 2.0, 0.35))
        # number keys
        for r, labels in zip(self.ROWS, self.KEYS):
            for (c0, c1), label in zip(self.COLS, labels):
                key(L, c0, r, c1, r + 20, 6, (206, 210, 218), label)
        # microphone
        L.paint(circle(128, 396, 1.8), (40, 40, 44))



class E398(Candybar):
    """Graphite candybar with translucent rhythm-light strips on both sides, a light ring
    around the earpiece and a light bar under the keypad; white display backlight and
    blue keypad backlight (single colour)."""

    profile = "Motorola E398"
    images = "E398"
    lit = {1: "lit_display", 2: "lit_keypad"}
    about = "Motorola E398: candybar with side rhythm-light strips, earpiece ring and bottom light bar"

    X0, Y0, X1, Y1 = 50, 14, 206, 410
    SCREEN = (78, 70, 178, 178)
    NAV = (128, 246)
    ROWS = [286, 312, 338, 364]
    COLS = [(66, 104), (109, 147), (152, 190)]
    KEYPAD = (58, 222, 198, 388)
    EARPIECE = (100, 26, 156, 48)
    BOTTOM = (96, 392, 160, 400)

    def function_keys(self):
        return [(64, 226, 94, 240), (162, 226, 192, 240), (64, 252, 94, 270), (162, 252, 192, 270)]

    def shapes(self):
        s = {}
        s[1] = [rect(*self.SCREEN, 200)]
        s[2] = [rect(*self.KEYPAD, 200)]
        s[3] = [rect(42, 96, 52, 180, 190), rect(42, 232, 52, 330, 190)]
        s[4] = [rect(204, 96, 214, 180, 190), rect(204, 232, 214, 330, 190)]
        s[5] = [disc(*self.EARPIECE, 170)]
        s[6] = [rect(*self.BOTTOM, 200)]
        s[7] = []
        return s

    def draw(self, L):
        x0, y0, x1, y1 = self.X0, self.Y0, self.X1, self.Y1
        body = rrect(x0, y0, x1, y1, 34)
        drop_shadow(L, body)
        for lx in (42, 204):
            for ty, by in ((96, 180), (232, 330)):
                pipe = rrect(lx, ty, lx + 10, by, 4)
                L.paint(pipe, body_shader(pipe, (150, 166, 184), (226, 236, 246), 1.5, 0.3))
                L.paint(rrect(lx + 2.5, ty + 4, lx + 4.5, by - 4, 1), (255, 255, 255), 0.55)
        L.paint(body, body_shader(body, (46, 48, 56), (118, 122, 134), 3.0))
        # chrome frame between the two halves of the face
        L.paint(rrect(x0 + 6, 206, x1 - 6, 212, 2), body_shader(rrect(x0 + 6, 206, x1 - 6, 212, 2),
                                                                (130, 134, 142), (236, 238, 242), 1.5))
        # earpiece with its light ring
        ex0, ey0, ex1, ey1 = self.EARPIECE
        L.paint(ellipse(ex0, ey0, ex1, ey1), (30, 32, 38))
        ring_shape = ellipse(ex0 + 1, ey0 + 1, ex1 - 1, ey1 - 1)
        L.paint(ring_shape, vertical(ey0, ey1, (176, 186, 198), (110, 118, 130)))
        L.paint(ellipse(ex0 + 5, ey0 + 4, ex1 - 5, ey1 - 4), (22, 22, 26))
        for i in range(7):
            hx = ex0 + 13 + i * 5
            L.paint(circle(hx, (ey0 + ey1) / 2.0, 1.3), (80, 84, 94))
        # display in a chrome bezel
        sx0, sy0, sx1, sy1 = self.SCREEN
        bezel = rrect(sx0 - 10, sy0 - 10, sx1 + 10, sy1 + 16, 10)
        L.paint(bezel, body_shader(bezel, (120, 124, 132), (230, 232, 238), 2.5))
        L.paint(rrect(sx0 - 6, sy0 - 6, sx1 + 6, sy1 + 12, 7), vertical(sy0, sy1, (24, 26, 30), (8, 8, 10)))
        screen(L, sx0, sy0, sx1, sy1)
        glass_reflection(L, rrect(sx0 - 6, sy0 - 6, sx1 + 6, sy1 + 12, 7), sx0 - 6, sy0 - 6, sx1 + 6, sy1 + 12, 0.07)
        draw_text_centred(L, 128, sy1 + 3, "MOTOROLA", (150, 154, 162))
        # keypad
        self.draw_keys(L)
        # light bar and microphone under the keypad
        bx0, by0, bx1, by1 = self.BOTTOM
        bar = rrect(bx0, by0, bx1, by1, 4)
        L.paint(rrect(bx0 - 1, by0 - 1, bx1 + 1, by1 + 1, 5), (20, 20, 24))
        L.paint(bar, body_shader(bar, (130, 140, 156), (214, 224, 236), 1.5, 0.3))

    def draw_keys(self, L, lit=None):
        face, label = (150, 164, 182), (22, 26, 34)
        fk = self.function_keys()
        for k in fk[:2]:
            key(L, *k, 7, face, lit=lit)
            L.paint(segment(k[0] + 9, 233, k[2] - 9, 233, 2), lit or (40, 44, 52))
        key(L, *fk[2], 9, face, lit=lit)
        handset(L, (fk[2][0] + fk[2][2]) / 2.0, 261, lit or (30, 150, 60))
        key(L, *fk[3], 9, face, lit=lit)
        handset(L, (fk[3][0] + fk[3][2]) / 2.0, 261, lit or (200, 40, 40), hang_up=True)
        cx, cy = self.NAV
        nav_ring = ring(cx, cy, 17, 12)
        if lit is None:
            L.paint(circle(cx, cy + 1.5, 24), (20, 20, 24), 0.6)
            L.paint(circle(cx, cy, 23), body_shader(circle(cx, cy, 23), (110, 118, 130), (200, 208, 218), 3.0, 0.35))
            L.paint(circle(cx, cy, 11.5), (30, 32, 38))
            L.paint(circle(cx, cy, 10), body_shader(circle(cx, cy, 10), (150, 156, 166), (236, 238, 242), 2.0, 0.35))
        else:
            L.paint(nav_ring, lit, 0.45)
        for ang in (0, 90, 180, 270):
            ax = cx + 17 * math.cos(math.radians(ang))
            ay = cy + 17 * math.sin(math.radians(ang))
            L.paint(circle(ax, ay, 2), lit or (40, 44, 52))
        for r, labels in zip(self.ROWS, self.KEYS):
            for (c0, c1), text in zip(self.COLS, labels):
                key(L, c0, r, c1, r + 20, 9, face, text, label, lit=lit)

    def lit_keypad(self, L, colour):
        self.draw_keys(L, lit=colour)

    def lit_display(self, L, colour):
        screen(L, *self.SCREEN, back=colour)


class V3:
    """Slim aluminium clamshell, drawn opened: inner display in the lid, the edge of the
    outer display window at the top of the lid, flat etched keypad in the base."""

    profile = "Motorola V3"
    images = "V3"
    lit = {1: "lit_display", 2: "lit_keypad", 5: "lit_outer"}
    about = "Motorola V3: thin clamshell drawn opened (lid with inner display, hinge, etched flat keypad)"

    LID = (62, 8, 194, 200)
    HINGE = (58, 198, 198, 224)
    BASE = (62, 222, 194, 416)
    SCREEN = (78, 40, 178, 164)
    OUTER = (98, 10, 158, 18)
    PLATE = (70, 232, 186, 404)
    NAV = (128, 262)
    ROWS = [302, 328, 354, 380]
    COLS = [(74, 112), (112, 144), (144, 182)]
    KEYS = ["123", "456", "789", "*0#"]

    def shapes(self):
        s = {}
        s[1] = [rect(*self.SCREEN, 200)]
        s[2] = [rect(*self.PLATE, 200)]
        cx, cy = self.NAV
        s[3] = [disc(cx - 20, cy - 20, cx + 20, cy + 20, 160)]
        s[4] = [rect(56, 250, 62, 300, 200)]
        s[5] = [rect(*self.OUTER, 200)]
        s[6] = [disc(166, 22, 176, 32, 200)]
        s[7] = [rect(94, 172, 162, 186, 170)]
        return s

    def draw(self, L):
        lid = rrect(*self.LID, 18)
        base = rrect(*self.BASE, 20)
        drop_shadow(L, rrect(self.LID[0], self.LID[1], self.BASE[2], self.BASE[3], 18))
        # side keys on the left of the base
        side = rrect(56, 250, 64, 300, 3)
        L.paint(side, body_shader(side, (110, 116, 126), (214, 218, 226), 1.5, 0.3))
        L.paint(segment(59, 275, 62, 275, 1), (60, 62, 70))
        # outer display window peeking over the top of the lid
        ox0, oy0, ox1, oy1 = self.OUTER
        L.paint(rrect(ox0, oy0 - 4, ox1, oy1, 3), vertical(oy0 - 4, oy1, (60, 70, 84), (20, 24, 30)))
        L.paint(lid, body_shader(lid, (128, 132, 142), (222, 226, 232), 3.0))
        L.paint(rrect(ox0 + 2, oy0, ox1 - 2, oy1 - 2, 2), vertical(oy0, oy1, (60, 70, 84), (24, 28, 36)))
        L.paint(base, body_shader(base, (128, 132, 142), (222, 226, 232), 3.0))
        # hinge cylinder
        hx0, hy0, hx1, hy1 = self.HINGE
        hinge = rrect(hx0, hy0, hx1, hy1, 10)

        def cylinder(x, y, d):
            t = (y - hy0) / float(hy1 - hy0)
            k = 0.35 + 0.65 * math.sin(math.pi * min(1.0, max(0.0, t * 0.9 + 0.05))) ** 0.7
            return mix((70, 74, 82), (236, 238, 242), k)

        L.paint(hinge, cylinder)
        for sx in (hx0 + 22, hx1 - 22):
            L.paint(segment(sx, hy0 + 3, sx, hy1 - 3, 1.2), (60, 64, 72), 0.7)
        # black glass of the lid with earpiece, status light and display
        lx0, ly0, lx1, ly1 = self.LID
        glass = rrect(lx0 + 8, ly0 + 10, lx1 - 8, ly1 - 6, 12)
        L.paint(glass, vertical(ly0, ly1, (30, 32, 38), (10, 10, 12)))
        L.paint(segment(112, 27, 144, 27, 4), (60, 62, 70))
        L.paint(segment(113, 27, 143, 27, 2), (8, 8, 10))
        L.paint(circle(171, 27, 4.5), (70, 74, 82))
        L.paint(circle(171, 27, 3.3), vertical(24, 30, (200, 206, 214), (120, 126, 134)))
        sx0, sy0, sx1, sy1 = self.SCREEN
        screen(L, sx0, sy0, sx1, sy1)
        glass_reflection(L, glass, lx0 + 8, ly0 + 10, lx1 - 8, ly1 - 6, 0.07)
        draw_text_centred(L, 128, 176, "MOTOROLA", (160, 164, 172))
        # etched keypad plate
        px0, py0, px1, py1 = self.PLATE
        plate = rrect(px0, py0, px1, py1, 10)
        L.paint(rrect(px0 - 1, py0 - 1, px1 + 1, py1 + 1, 11), (90, 94, 104))
        L.paint(plate, body_shader(plate, (150, 156, 166), (232, 235, 240), 1.5, 0.35))
        self.etching(L, (60, 66, 78))
        cx, cy = self.NAV
        centre = circle(cx, cy, 9)
        L.paint(centre, body_shader(centre, (140, 146, 156), (236, 238, 242), 1.5, 0.35))
        L.paint(circle(128, 410, 1.5), (40, 40, 44))

    def etching(self, L, colour, alpha=1.0, digits=None):
        """Lines and symbols cut into the keypad plate (they carry the backlight). digits is
        the colour of the key digits (the lines' colour when not given, none when False)."""
        px0, py0, px1, py1 = self.PLATE
        cx, cy = self.NAV
        L.paint(ring(cx, cy, 18, 1.2), colour, alpha)
        L.paint(ring(cx, cy, 10, 1.2), colour, alpha)
        for ang in (0, 90, 180, 270):
            ax = cx + 14 * math.cos(math.radians(ang))
            ay = cy + 14 * math.sin(math.radians(ang))
            L.paint(circle(ax, ay, 1.5), colour, alpha)
        # soft keys and the call/end keys around the ring
        L.paint(segment(px0 + 6, 250, cx - 22, 250, 1.0), colour, alpha)
        L.paint(segment(cx + 22, 250, px1 - 6, 250, 1.0), colour, alpha)
        L.paint(segment(px0 + 6, 274, cx - 22, 274, 1.0), colour, alpha)
        L.paint(segment(cx + 22, 274, px1 - 6, 274, 1.0), colour, alpha)
        L.paint(segment(px0 + 16, 241, px0 + 30, 241, 1.5), colour, alpha)
        L.paint(segment(px1 - 30, 241, px1 - 16, 241, 1.5), colour, alpha)
        handset(L, px0 + 23, 286, colour, alpha)
        handset(L, px1 - 23, 286, colour, alpha, hang_up=True)
        L.paint(segment(px0 + 6, 296, px1 - 6, 296, 1.0), colour, alpha)
        # number grid
        for r in self.ROWS[1:]:
            L.paint(segment(px0 + 6, r - 1, px1 - 6, r - 1, 1.0), colour, alpha)
        for c in (self.COLS[0][1], self.COLS[1][1]):
            L.paint(segment(c, 300, c, py1 - 6, 1.0), colour, alpha)
        if digits is False:
            return
        for r, row in zip(self.ROWS, self.KEYS):
            for (c0, c1), text in zip(self.COLS, row):
                draw_text_centred(L, (c0 + c1) / 2.0, r + 8, text, digits or colour, alpha)

    def lit_display(self, L, colour):
        screen(L, *self.SCREEN, back=colour)

    def lit_keypad(self, L, colour):
        # soft halo first, then the cut lines; the digits stay crisp and a shade deeper so
        # they read on the bright metal
        self.etching_halo(L, colour)
        self.etching(L, mix(colour, (255, 255, 255), 0.25), digits=scale(colour, 0.8))

    def etching_halo(self, L, colour):
        halo = Layer()
        self.etching(halo, colour, digits=False)
        # spread each etched pixel a little: a cheap blur of the coverage
        px0, py0, px1, py1 = self.PLATE
        for y in range(py0, py1):
            for x in range(px0, px1):
                total = 0.0
                for dy in (-1, 0, 1):
                    for dx in (-1, 0, 1):
                        xx, yy = x + dx, y + dy
                        if 0 <= xx < W and 0 <= yy < H:
                            total += halo.a[yy * W + xx]
                if total > 0:
                    L.put(x, y, colour, min(0.45, total / 9.0 * 1.2))

    def lit_outer(self, L, colour):
        ox0, oy0, ox1, oy1 = self.OUTER
        L.paint(rrect(ox0 + 2, oy0, ox1 - 2, oy1 - 2, 2), mix(colour, (255, 255, 255), 0.3))
        L.paint(rrect(ox0, oy0, ox1, oy1, 3), colour, 0.35, soft=1.5)


MODELS = [Candybar(), E398(), V3()]


# --------------------------------------------------------------------------- files


def read_colours(profile):
    """Color01..Color07 of a profile file (-2 when missing), read as the program reads it:
    names without regard to case, the first occurrence counts, "$" or "0x" for hex."""
    values = {}
    section = None
    with open(os.path.join(PROFILES, profile + ".prof"), encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if not line or line[0] in ";#":
                continue
            if line.startswith("["):
                section = line[1:].split("]")[0].strip().lower()
            elif section == "colors" and "=" in line:
                name, value = (p.strip() for p in line.split("=", 1))
                values.setdefault(name.lower(), value.lower())
    colours = {}
    for n in range(1, 8):
        text = values.get("color0%d" % n)
        try:
            if text is None:
                colours[n] = -2
            elif text.startswith("$"):
                colours[n] = int(text[1:], 16)
            elif text.startswith("0x"):
                colours[n] = int(text[2:], 16)
            else:
                colours[n] = int(text)
        except ValueError:
            colours[n] = -2
    return colours


def write_skin(model, shapes, colours):
    lines = ["; Skin of \"%s\" -- %s." % (model.profile, model.about),
             "; Made by tools/make_skins.py; edit the script, not this file.",
             "[Skin]", "Images=%s" % model.images]
    for n in range(1, 8):
        lines += ["", "[Element%02d]" % n]
        items = shapes.get(n, [])
        if colours[n] == -2 or not items:
            lines.append("Available=0")
            continue
        lines.append("Available=1")
        lines.append("HaveImage=%d" % (1 if n in model.lit else 0))
        lines.append("Count=%d" % len(items))
        for j, s in enumerate(items, 1):
            lines += ["Left_%d=%d" % (j, s.left), "Top_%d=%d" % (j, s.top),
                      "Right_%d=%d" % (j, s.right), "Bottom_%d=%d" % (j, s.bottom),
                      "Shape_%d=%s" % (j, s.kind), "Opacity_%d=%d" % (j, s.opacity)]
    with open(os.path.join(PROFILES, model.profile + ".skin"), "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def check(model, shapes, colours):
    for n in range(1, 8):
        single = colours[n] >= 0
        if n in model.lit and not single:
            sys.exit("%s: element %d has a lit picture but is not single-colour" % (model.profile, n))
        if single and shapes.get(n) and n not in model.lit:
            sys.exit("%s: single-colour element %d has no lit picture" % (model.profile, n))
        if n == 7 and n in model.lit:
            sys.exit("%s: element 7 cannot have a lit picture" % model.profile)
        for s in shapes.get(n, []):
            if not (0 <= s.left < s.right <= W and 0 <= s.top < s.bottom <= H):
                sys.exit("%s: element %d has a shape outside the drawing area" % (model.profile, n))


def main():
    os.makedirs(IMAGES, exist_ok=True)
    for model in MODELS:
        colours = read_colours(model.profile)
        shapes = model.shapes()
        check(model, shapes, colours)
        write_skin(model, shapes, colours)

        phone = Layer()
        model.draw(phone)
        picture = phone.pixels(lambda x, y: BACKDROP)
        write_bmp(os.path.join(IMAGES, model.images + ".bmp"), picture)

        for n, method in sorted(model.lit.items()):
            first = shapes[n][0]
            lit = Layer()
            getattr(model, method)(lit, windows_colour(colours[n]))

            # the lit parts are seen over the phone picture; where the phone itself is
            # transparent they are seen over the preview's background
            def under(x, y):
                p = picture[y][x]
                return BACKDROP if p == KEY else p

            full = lit.pixels(under)
            crop = [row[first.left:first.right] for row in full[first.top:first.bottom]]
            write_bmp(os.path.join(IMAGES, "%s_0%d.bmp" % (model.images, n)), crop)
        print("%s: %s.bmp and %d lit picture(s)" % (model.profile, model.images, len(model.lit)))


if __name__ == "__main__":
    main()
