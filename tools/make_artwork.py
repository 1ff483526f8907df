#!/usr/bin/env python3
"""Draws Tessalock's artwork and writes it as Windows resource files.

Outputs (into resources/ next to this tool's parent by default):
  app.ico       the application icon: a padlock (64, 48, 32 and 16 px, 32-bit)
  password.ico  the password dialogs' icon: a key on a round badge (same sizes)
  container.ico the icon of .lock files: a page with a padlock on it (same sizes)
  banner.bmp    the 640 x 80 main-window banner, 24-bit
  banner-2x.bmp the same banner drawn at twice the size (1280 x 160) for
                screens at 150 % and more, so it is never an enlargement

Everything is drawn from signed distance functions, so every size is sharp and
anti-aliased (coverage = how far the pixel centre lies inside the edge). The
text uses a small built-in stroke font. Only the Python 3 standard library is
used, and the output is byte-for-byte reproducible.

Usage: tools/make_artwork.py [output folder]
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------- canvas


class Canvas:
    """A floating-point RGBA picture; colours are (r, g, b) in 0..255."""

    def __init__(self, width, height, background=None):
        self.w = width
        self.h = height
        if background is None:
            self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]
        else:
            self.px = [[float(c) for c in background] + [1.0] for _ in range(width * height)]

    def blend(self, x, y, colour, alpha):
        """Paints colour over pixel (x, y) with the given opacity (0..1)."""
        if alpha <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        alpha = min(alpha, 1.0)
        p = self.px[y * self.w + x]
        out_a = alpha + p[3] * (1.0 - alpha)
        if out_a <= 0.0:
            return
        for i in range(3):
            p[i] = (colour[i] * alpha + p[i] * p[3] * (1.0 - alpha)) / out_a
        p[3] = out_a

    def paste(self, src, ox, oy, opacity=1.0):
        """Composites another canvas over this one with its top left at (ox, oy)."""
        for y in range(src.h):
            for x in range(src.w):
                r, g, b, a = src.px[y * src.w + x]
                self.blend(ox + x, oy + y, (r, g, b), a * opacity)

    def fill(self, sdf, paint, box=None, opacity=1.0):
        """Fills the shape sdf(x, y) <= 0 (pixel units) with paint(x, y) -> colour."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.w, int(math.ceil(x1)) + 1), min(self.h, int(math.ceil(y1)) + 1)
        for y in range(y0, y1):
            for x in range(x0, x1):
                cx, cy = x + 0.5, y + 0.5
                cover = 0.5 - sdf(cx, cy)
                if cover > 0.0:
                    self.blend(x, y, paint(cx, cy), min(cover, 1.0) * opacity)


def solid(colour):
    return lambda x, y: colour


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def vertical_gradient(top, bottom, y0, y1):
    return lambda x, y: mix(top, bottom, (y - y0) / max(1e-9, y1 - y0))


# ------------------------------------------------- signed distance functions


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_round_box(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hw, hh = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        qx, qy = abs(x - cx) - hw, abs(y - cy) - hh
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return f


def seg_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def sd_capsule(ax, ay, bx, by, r):
    return lambda x, y: seg_distance(x, y, ax, ay, bx, by) - r


def arc_distance(x, y, cx, cy, r, a0, a1):
    """Distance to a circular arc running counter-clockwise from a0 to a1
    degrees, in a y-down picture (angles measured with y pointing up)."""
    ang = math.degrees(math.atan2(cy - y, x - cx)) % 360.0
    span = (a1 - a0) % 360.0 or 360.0
    if (ang - a0) % 360.0 <= span:
        return abs(math.hypot(x - cx, y - cy) - r)
    ends = []
    for a in (a0, a1):
        ex = cx + r * math.cos(math.radians(a))
        ey = cy - r * math.sin(math.radians(a))
        ends.append(math.hypot(x - ex, y - ey))
    return min(ends)


def sd_union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def sd_subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def sd_grow(f, by):
    return lambda x, y: f(x, y) - by


# ---------------------------------------------------------------- stroke font
# Glyphs on a grid with the baseline at 0, y up, cap height 1 and x-height 0.7.
# 'L' is a line (x0, y0, x1, y1); 'A' an arc (cx, cy, r, from, to) drawn
# counter-clockwise; 'D' a dot (x, y). The last number is the advance width.

XH = 0.7
R = 0.35
GLYPHS = {
    "T": ([("L", 0, 1, 0.72, 1), ("L", 0.36, 0, 0.36, 1)], 0.72),
    "P": ([("L", 0, 0, 0, 1), ("L", 0, 1, 0.3, 1), ("L", 0, 0.44, 0.3, 0.44),
           ("A", 0.3, 0.72, 0.28, -90, 90)], 0.58),
    "a": ([("A", R, R, R, 0, 360), ("L", 2 * R, 0, 2 * R, XH)], 2 * R),
    "c": ([("A", R, R, R, 50, 310)], 2 * R - 0.06),
    "d": ([("A", R, R, R, 0, 360), ("L", 2 * R, 0, 2 * R, 1)], 2 * R),
    "e": ([("L", 0, R, 2 * R, R), ("A", R, R, R, 0, 320)], 2 * R),
    "f": ([("L", 0.16, 0, 0.16, 0.8), ("A", 0.36, 0.8, 0.2, 40, 180),
           ("L", 0, XH, 0.36, XH)], 0.4),
    "i": ([("L", 0, 0, 0, XH), ("D", 0, 0.93)], 0),
    "k": ([("L", 0, 0, 0, 1), ("L", 0, 0.22, 0.46, XH), ("L", 0.17, 0.36, 0.5, 0)], 0.5),
    "l": ([("L", 0, 0, 0, 1)], 0),
    "n": ([("L", 0, 0, 0, XH), ("A", 0.3, 0.4, 0.3, 0, 180), ("L", 0.6, 0, 0.6, 0.4)], 0.6),
    "o": ([("A", R, R, R, 0, 360)], 2 * R),
    "p": ([("A", R, R, R, 0, 360), ("L", 0, -0.3, 0, XH)], 2 * R),
    "r": ([("L", 0, 0, 0, XH), ("A", 0.3, 0.4, 0.3, 75, 180)], 0.38),
    "s": ([("A", 0.24, 0.53, 0.17, 30, 270), ("A", 0.24, 0.185, 0.185, 210, 90)], 0.48),
    "t": ([("L", 0.16, 0, 0.16, 0.95), ("L", 0, XH, 0.36, XH)], 0.36),
    "u": ([("L", 0, 0.3, 0, XH), ("A", 0.3, 0.3, 0.3, 180, 360), ("L", 0.6, 0, 0.6, XH)], 0.6),
    "w": ([("L", 0, XH, 0.2, 0), ("L", 0.2, 0, 0.4, 0.55), ("L", 0.4, 0.55, 0.6, 0),
           ("L", 0.6, 0, 0.8, XH)], 0.8),
    "y": ([("L", 0, XH, 0.3, 0.04), ("L", 0.6, XH, 0.12, -0.3)], 0.6),
    " ": ([], 0.2),
}


# Pairs whose default spacing leaves a visible hole (the bar of a T).
KERNING = {("T", "e"): -0.14, ("T", "a"): -0.14, ("T", "o"): -0.14}


def text_width(text, size, gap):
    return sum((GLYPHS[ch][1] + gap) * size for ch in text) - gap * size


def draw_text(canvas, text, x, baseline, size, stroke, paint, gap=0.22, opacity=1.0):
    """Draws text with its first glyph at x; size is the cap height in pixels."""
    half = stroke / 2.0
    pen = x
    previous = None
    for ch in text:
        strokes, advance = GLYPHS[ch]
        pen += KERNING.get((previous, ch), 0.0) * size
        previous = ch
        parts = []
        for s in strokes:
            if s[0] == "L":
                _, ax, ay, bx, by = s
                parts.append(sd_capsule(pen + ax * size, baseline - ay * size,
                                        pen + bx * size, baseline - by * size, half))
            elif s[0] == "A":
                _, cx, cy, r, a0, a1 = s
                px, py, pr = pen + cx * size, baseline - cy * size, r * size
                parts.append(lambda qx, qy, px=px, py=py, pr=pr, a0=a0, a1=a1:
                             arc_distance(qx, qy, px, py, pr, a0, a1) - half)
            else:
                _, dx, dy = s
                parts.append(sd_circle(pen + dx * size, baseline - dy * size, half * 1.15))
        if parts:
            box = (pen - stroke - 1, baseline - 1.1 * size - stroke,
                   pen + (advance + 0.1) * size + stroke + 1, baseline + 0.35 * size + stroke)
            canvas.fill(sd_union(*parts), paint, box, opacity)
        pen += (advance + gap) * size
    return pen


# ---------------------------------------------------------------- drawings

STEEL_LIGHT = (226, 232, 240)
STEEL_DARK = (120, 132, 150)
GOLD_LIGHT = (255, 214, 102)
GOLD_DARK = (214, 140, 18)
OUTLINE = (74, 52, 10)
KEYHOLE = (58, 40, 8)


def draw_padlock(canvas, ox, oy, s, outline=True):
    """A padlock in the square (ox, oy, s x s): steel shackle, gold body."""
    u = lambda v: v * s
    line = max(1.0, s / 40.0)
    sh_cx, sh_cy, sh_r, sh_t = ox + u(0.5), oy + u(0.40), u(0.20), u(0.065)
    legs_bottom = oy + u(0.56)
    shackle = sd_union(
        lambda x, y: arc_distance(x, y, sh_cx, sh_cy, sh_r, 0, 180) - sh_t,
        sd_capsule(sh_cx - sh_r, sh_cy, sh_cx - sh_r, legs_bottom, sh_t),
        sd_capsule(sh_cx + sh_r, sh_cy, sh_cx + sh_r, legs_bottom, sh_t),
    )
    box = (ox, oy, ox + s, oy + s)
    if outline:
        canvas.fill(sd_grow(shackle, line), solid((70, 78, 92)), box)
    canvas.fill(shackle, lambda x, y: mix(STEEL_LIGHT, STEEL_DARK,
                                          abs(x - sh_cx + u(0.05)) / (sh_r + sh_t)), box)

    body = sd_round_box(ox + u(0.15), oy + u(0.47), ox + u(0.85), oy + u(0.93), u(0.09))
    if outline:
        canvas.fill(sd_grow(body, line), solid(OUTLINE), box)
    canvas.fill(body, vertical_gradient(GOLD_LIGHT, GOLD_DARK, oy + u(0.47), oy + u(0.93)), box)
    # A soft highlight across the upper part of the body.
    shine = sd_round_box(ox + u(0.2), oy + u(0.5), ox + u(0.8), oy + u(0.6), u(0.05))
    canvas.fill(shine, solid((255, 240, 190)), box, opacity=0.45)

    keyhole = sd_union(sd_circle(ox + u(0.5), oy + u(0.66), u(0.065)),
                       sd_capsule(ox + u(0.5), oy + u(0.68), ox + u(0.5), oy + u(0.82), u(0.03)))
    canvas.fill(keyhole, solid(KEYHOLE), box)


def draw_key_badge(canvas, ox, oy, s):
    """A gold key lying across a blue round badge."""
    u = lambda v: v * s
    line = max(1.0, s / 40.0)
    cx, cy = ox + u(0.5), oy + u(0.5)
    box = (ox, oy, ox + s, oy + s)
    canvas.fill(sd_circle(cx, cy, u(0.47)), solid((16, 44, 84)), box)
    canvas.fill(sd_circle(cx, cy, u(0.47) - line),
                vertical_gradient((64, 148, 222), (20, 78, 150), oy, oy + s), box)
    canvas.fill(sd_circle(cx, cy - u(0.1), u(0.3)), solid((255, 255, 255)), box, opacity=0.10)

    # Key: a ring at the upper left, a shaft to the lower right, two teeth.
    ring_c = (ox + u(0.34), oy + u(0.34))
    ring = sd_subtract(sd_circle(ring_c[0], ring_c[1], u(0.16)),
                       sd_circle(ring_c[0], ring_c[1], u(0.065)))
    d = 1 / math.sqrt(2)
    sx, sy = ring_c[0] + u(0.14) * d, ring_c[1] + u(0.14) * d
    ex, ey = ox + u(0.76), oy + u(0.76)
    shaft = sd_capsule(sx, sy, ex, ey, u(0.05))
    # Teeth stand off the shaft at right angles, towards the lower left.
    def tooth(t, length):
        bx, by = sx + (ex - sx) * t, sy + (ey - sy) * t
        return sd_capsule(bx, by, bx - u(length) * d, by + u(length) * d, u(0.045))
    key = sd_union(ring, shaft, tooth(0.72, 0.13), tooth(0.92, 0.1))
    canvas.fill(sd_grow(key, line), solid(OUTLINE), box)
    canvas.fill(key, vertical_gradient(GOLD_LIGHT, GOLD_DARK, oy + u(0.2), oy + u(0.85)), box)


def draw_container(canvas, ox, oy, s):
    """A white page with a folded corner and a padlock at its lower right:
    what a .lock file looks like in Explorer."""
    u = lambda v: v * s
    line = max(1.0, s / 40.0)
    box = (ox, oy, ox + s, oy + s)
    left, top, right, bottom, fold = ox + u(0.14), oy + u(0.04), ox + u(0.78), oy + u(0.96), u(0.2)
    # The corner beyond the diagonal from (right - fold, top) to (right, top + fold).
    corner = lambda x, y: -((x - (right - fold)) - (y - top)) / math.sqrt(2)
    page = sd_subtract(sd_round_box(left, top, right, bottom, u(0.03)), corner)
    canvas.fill(sd_grow(page, line), solid(OUTLINE), box)
    canvas.fill(page, vertical_gradient((255, 255, 255), (222, 228, 236), top, bottom), box)
    # The corner folded down onto the page: the triangle below that diagonal.
    flap = lambda x, y: max((right - fold) - x, y - (top + fold),
                            ((x - (right - fold)) - (y - top)) / math.sqrt(2))
    canvas.fill(sd_grow(flap, line), solid(OUTLINE), box)
    canvas.fill(flap, solid((200, 208, 220)), box)
    # Text lines on the page.
    for i, width in enumerate((0.42, 0.5, 0.34)):
        y = oy + u(0.3 + 0.12 * i)
        canvas.fill(sd_capsule(left + u(0.1), y, left + u(0.1 + width * 0.8), y, max(0.5, u(0.02))),
                    solid((150, 162, 180)), box)
    draw_padlock(canvas, ox + u(0.42), oy + u(0.42), u(0.58))


def draw_banner(canvas, scale=1):
    """The banner on a canvas of 640 x 80 times scale."""
    w, h = canvas.w, canvas.h
    navy, blue = (12, 34, 66), (28, 104, 172)
    # Background: a diagonal gradient with a few soft light bands.
    for y in range(h):
        for x in range(w):
            t = (x + (h - y) * 0.6) / (w + h * 0.6)
            canvas.px[y * w + x] = list(mix(navy, blue, t ** 0.8)) + [1.0]
    for x0, width, op in ((360, 90, 0.06), (430, 40, 0.05), (500, 140, 0.04)):
        band = lambda x, y, x0=x0 * scale, width=width * scale: \
            abs((x - x0) - (h - y) * 0.5) - width / 2
        canvas.fill(band, solid((255, 255, 255)), opacity=op)
    # A large faint padlock watermark on the right.
    mark = Canvas(120 * scale, 120 * scale)
    draw_padlock(mark, 0, 0, 120 * scale, outline=False)
    canvas.paste(mark, 528 * scale, -6 * scale, opacity=0.14)

    draw_padlock(canvas, 12 * scale, 6 * scale, 66 * scale)
    white = solid((255, 255, 255))
    shadow = solid((4, 16, 36))
    draw_text(canvas, "Tessalock", 94 * scale, 45 * scale, 30 * scale, 4.6 * scale, shadow,
              opacity=0.55)
    draw_text(canvas, "Tessalock", 92 * scale, 43 * scale, 30 * scale, 4.6 * scale, white)
    tagline = "Password protection for your files and folders"
    draw_text(canvas, tagline, 93 * scale, 65 * scale, 10 * scale, 1.35 * scale,
              solid((178, 214, 246)), gap=0.3)


# ---------------------------------------------------------------- file writers


def bmp24_bytes(canvas):
    """A bottom-up 24-bit BI_RGB .bmp file of an opaque canvas."""
    row = (canvas.w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for x in range(canvas.w):
            r, g, b, _ = canvas.px[y * canvas.w + x]
            line += bytes((round(b), round(g), round(r)))
        pixels += line + bytes(row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(pixels),
                         2835, 2835, 0, 0)
    offset = 14 + len(header)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + pixels


def icon_image_bytes(canvas):
    """One icon image: BITMAPINFOHEADER (double height), BGRA rows, AND mask."""
    w, h = canvas.w, canvas.h
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    mask_row = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            r, g, b, a = canvas.px[y * w + x]
            alpha = round(a * 255)
            colour += bytes((round(b), round(g), round(r), alpha))
            if alpha == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + mask


def ico_bytes(canvases):
    images = [icon_image_bytes(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    sizes = (64, 48, 32, 16)

    lock_icons = []
    key_icons = []
    container_icons = []
    for s in sizes:
        c = Canvas(s, s)
        draw_padlock(c, 0, 0, s)
        lock_icons.append(c)
        k = Canvas(s, s)
        draw_key_badge(k, 0, 0, s)
        key_icons.append(k)
        p = Canvas(s, s)
        draw_container(p, 0, 0, s)
        container_icons.append(p)

    banner = Canvas(640, 80, background=(0, 0, 0))
    draw_banner(banner)
    banner_2x = Canvas(1280, 160, background=(0, 0, 0))
    draw_banner(banner_2x, 2)

    with open(os.path.join(out_dir, "app.ico"), "wb") as f:
        f.write(ico_bytes(lock_icons))
    with open(os.path.join(out_dir, "password.ico"), "wb") as f:
        f.write(ico_bytes(key_icons))
    with open(os.path.join(out_dir, "container.ico"), "wb") as f:
        f.write(ico_bytes(container_icons))
    with open(os.path.join(out_dir, "banner.bmp"), "wb") as f:
        f.write(bmp24_bytes(banner))
    with open(os.path.join(out_dir, "banner-2x.bmp"), "wb") as f:
        f.write(bmp24_bytes(banner_2x))


if __name__ == "__main__":
    main()
