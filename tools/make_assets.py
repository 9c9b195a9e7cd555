#!/usr/bin/env python3
"""Generates the bundled meshes and textures under data/.

Standard library only: PNG files are written with zlib and struct, meshes as DirectX
.x text. Every output is deterministic, so running the script again reproduces the
committed files byte for byte.

    python3 tools/make_assets.py [output folder]    (default: data/ beside tools/)

Conventions shared by the meshes and the textures:
- the meshes are unit shapes in the item's own axes (y up): a cube of edge 1, a
  cylinder of radius 1 and height 1 about y, a sphere of radius 1, a torus of major
  radius 1 and tube radius 0.2 about y; every one centred on the origin;
- triangles wind counter-clockwise seen from outside, normals point outwards;
- texture coordinates put v = 0 at the top row of the image;
- a face is mapped so that its image reads upright from outside: "up" is +y on the
  side faces, +z on the top face and -z on the bottom face, and the image's right is
  up x outward normal. The front is the -z side, the one that faces the viewer when
  the program starts, so +x appears on the viewer's left;
- on spheres, tori and cylinder sides u runs around y and u = 0.5 faces -z: the
  direction of (u, v) on the unit sphere is (sin 2pi u sin pi v, cos pi v, cos 2pi u sin pi v).

The meshes hold the program's own coordinates exactly as written. Assimp's .x importer
turns .x data into its own convention (z negated, v flipped, winding reversed); reading
with aiProcess_ConvertToLeftHanded undoes that and yields the data as written.
"""

import math
import os
import random
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# PNG writing


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _filter_rows(rows, bpp):
    # per row the filter with the smallest sum of absolute values (the usual heuristic)
    out = bytearray()
    previous = bytes(len(rows[0]))
    for row in rows:
        candidates = []
        n = len(row)
        # none
        candidates.append((0, bytes(row)))
        # sub
        candidates.append((1, bytes((row[i] - (row[i - bpp] if i >= bpp else 0)) & 255 for i in range(n))))
        # up
        candidates.append((2, bytes((row[i] - previous[i]) & 255 for i in range(n))))
        # average
        candidates.append(
            (3, bytes((row[i] - (((row[i - bpp] if i >= bpp else 0) + previous[i]) >> 1)) & 255 for i in range(n))))
        # paeth
        candidates.append((4, bytes((row[i] - _paeth(row[i - bpp] if i >= bpp else 0, previous[i],
                                                     previous[i - bpp] if i >= bpp else 0)) & 255
                                    for i in range(n))))

        def cost(item):
            return sum(v if v < 128 else 256 - v for v in item[1])

        kind, data = min(candidates, key=cost)
        out.append(kind)
        out += data
        previous = row
    return bytes(out)


def write_png(path, width, height, pixels):
    """pixels: flat list of (r, g, b) tuples, row by row from the top."""
    rows = []
    for y in range(height):
        row = bytearray()
        for r, g, b in pixels[y * width:(y + 1) * width]:
            row += bytes((r, g, b))
        rows.append(row)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
    png += chunk(b"IDAT", zlib.compress(_filter_rows(rows, 3), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# ---------------------------------------------------------------------------
# drawing


def clamp(x, lo=0.0, hi=1.0):
    return lo if x < lo else hi if x > hi else x


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def shade(color, factor):
    return tuple(clamp(c * factor, 0, 255) for c in color)


class Canvas:
    """An RGB image of floats; shapes are drawn with signed distances for soft edges."""

    def __init__(self, width, height, color=(255, 255, 255)):
        self.width = width
        self.height = height
        self.pixels = [tuple(float(c) for c in color)] * (width * height)

    def fill(self, function):
        """function(x, y) -> colour, at pixel centres."""
        for y in range(self.height):
            for x in range(self.width):
                self.pixels[y * self.width + x] = function(x + 0.5, y + 0.5)

    def blend(self, x, y, color, alpha):
        if alpha <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        i = y * self.width + x
        self.pixels[i] = mix(self.pixels[i], color, clamp(alpha))

    def shape(self, distance, color, box, opacity=1.0):
        """distance(x, y): signed distance in pixels, negative inside; box: x0, y0, x1, y1."""
        x0, y0, x1, y1 = box
        for y in range(max(0, int(y0) - 1), min(self.height, int(y1) + 2)):
            for x in range(max(0, int(x0) - 1), min(self.width, int(x1) + 2)):
                d = distance(x + 0.5, y + 0.5)
                if d < 0.5:
                    self.blend(x, y, color, clamp(0.5 - d) * opacity)

    def circle(self, cx, cy, r, color, opacity=1.0):
        self.shape(lambda x, y: math.hypot(x - cx, y - cy) - r, color, (cx - r, cy - r, cx + r, cy + r), opacity)

    def ring(self, cx, cy, r, width, color):
        self.shape(lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2, color,
                   (cx - r - width, cy - r - width, cx + r + width, cy + r + width))

    def rect(self, x0, y0, x1, y1, color, radius=0.0, opacity=1.0):
        cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
        hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

        def distance(x, y):
            qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
            outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
            return outside + min(max(qx, qy), 0.0) - radius

        self.shape(distance, color, (x0, y0, x1, y1), opacity)

    def strokes(self, segments, width, color):
        if not segments:
            return
        xs = [p for s in segments for p in (s[0], s[2])]
        ys = [p for s in segments for p in (s[1], s[3])]
        box = (min(xs) - width, min(ys) - width, max(xs) + width, max(ys) + width)
        self.shape(lambda x, y: min(segment_distance(x, y, s) for s in segments) - width / 2, color, box)

    def text(self, text, cx, cy, height, color, width=None):
        self.strokes(text_segments(text, cx, cy, height), width or height * 0.16, color)

    def save(self, path):
        write_png(path, self.width, self.height,
                  [tuple(int(round(clamp(c, 0, 255))) for c in p) for p in self.pixels])


def segment_distance(x, y, s):
    ax, ay, bx, by = s
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0.0 else clamp(((x - ax) * dx + (y - ay) * dy) / length2)
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


# ---------------------------------------------------------------------------
# a stroke font for digits: glyph cells 1 wide and 1.6 high, y down


def _arc(cx, cy, rx, ry, start, end, steps=12):
    points = []
    for i in range(steps + 1):
        a = math.radians(start + (end - start) * i / steps)
        points.append((cx + rx * math.cos(a), cy - ry * math.sin(a)))
    return points


GLYPHS = {
    "0": [_arc(0.5, 0.8, 0.42, 0.76, 0, 360, 24)],
    "1": [[(0.22, 0.32), (0.55, 0.04), (0.55, 1.56)]],
    "2": [_arc(0.5, 0.46, 0.42, 0.42, 160, -35, 10) + [(0.06, 1.56), (0.96, 1.56)]],
    "3": [_arc(0.5, 0.42, 0.38, 0.38, 150, -90, 10), _arc(0.5, 1.15, 0.43, 0.41, 90, -150, 10)],
    "4": [[(0.72, 1.58), (0.72, 0.04), (0.04, 1.08), (0.98, 1.08)]],
    "5": [[(0.9, 0.04), (0.16, 0.04), (0.12, 0.74)] + _arc(0.48, 1.1, 0.46, 0.46, 135, -140, 12)],
    "6": [[(0.8, 0.06), (0.1, 1.0)], _arc(0.5, 1.13, 0.43, 0.43, 0, 360, 20)],
    "7": [[(0.04, 0.04), (0.96, 0.04), (0.36, 1.58)]],
    "8": [_arc(0.5, 0.41, 0.35, 0.37, 0, 360, 18), _arc(0.5, 1.14, 0.43, 0.42, 0, 360, 20)],
    "9": [[(0.2, 1.54), (0.9, 0.6)], _arc(0.5, 0.47, 0.43, 0.43, 0, 360, 20)],
}


def text_segments(text, cx, cy, height):
    """Segments of the text centred on (cx, cy), glyphs `height` high."""
    scale = height / 1.6
    advance = 1.3 * scale
    width = advance * (len(text) - 1) + scale
    left, top = cx - width / 2, cy - height / 2
    segments = []
    for index, char in enumerate(text):
        ox = left + index * advance
        for line in GLYPHS[char]:
            for (ax, ay), (bx, by) in zip(line, line[1:]):
                segments.append((ox + ax * scale, top + ay * scale, ox + bx * scale, top + by * scale))
    return segments


# ---------------------------------------------------------------------------
# noise


def _lattice(ix, iy, seed, period):
    ix %= period
    iy %= period
    h = (ix * 374761393 + iy * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0


def value_noise(x, y, seed, period=1 << 16):
    """Smooth noise in [0, 1], periodic with `period` lattice cells."""
    ix, iy = math.floor(x), math.floor(y)
    fx, fy = x - ix, y - iy
    sx, sy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
    a = _lattice(ix, iy, seed, period)
    b = _lattice(ix + 1, iy, seed, period)
    c = _lattice(ix, iy + 1, seed, period)
    d = _lattice(ix + 1, iy + 1, seed, period)
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy


def fractal_noise(x, y, seed, period, octaves=4):
    total, amplitude, norm = 0.0, 1.0, 0.0
    for octave in range(octaves):
        total += amplitude * value_noise(x, y, seed + octave, period)
        norm += amplitude
        x, y, period, amplitude = x * 2, y * 2, period * 2, amplitude * 0.5
    return total / norm


# ---------------------------------------------------------------------------
# directions of the sphere mapping


def sphere_direction(u, v):
    theta, phi = math.pi * v, 2 * math.pi * u
    return (math.sin(phi) * math.sin(theta), math.cos(theta), math.cos(phi) * math.sin(theta))


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def normalize(a):
    length = math.sqrt(dot(a, a))
    return tuple(c / length for c in a)


def sphere_texture(width, height, colour_of, samples=3):
    """A sphere texture: colour_of(direction) -> colour, averaged over samples x samples."""
    canvas = Canvas(width, height)

    def pixel(x, y):
        total = [0.0, 0.0, 0.0]
        for j in range(samples):
            for i in range(samples):
                u = (x - 0.5 + (i + 0.5) / samples) / width
                v = (y - 0.5 + (j + 0.5) / samples) / height
                c = colour_of(sphere_direction(u, v))
                total = [total[k] + c[k] for k in range(3)]
        return tuple(t / (samples * samples) for t in total)

    canvas.fill(pixel)
    return canvas


def tangent_coordinates(direction, centre, right, up):
    """Gnomonic coordinates of a direction on the plane touching the sphere at centre."""
    along = dot(direction, centre)
    if along <= 0.0:
        return None
    return dot(direction, right) / along, dot(direction, up) / along


# ---------------------------------------------------------------------------
# textures

WHITE = (255, 255, 255)
BLACK = (20, 20, 20)


def land():
    size = 128

    def pixel(x, y):
        n = fractal_noise(x / 16, y / 16, 11, size // 16)
        fine = value_noise(x / 2, y / 2, 17, size // 2)
        base = mix((62, 112, 48), (104, 150, 62), n)
        return shade(base, 0.9 + 0.2 * fine)

    canvas = Canvas(size, size)
    canvas.fill(pixel)
    return canvas


def sky():
    width, height = 256, 128

    def pixel(x, y):
        v = y / height
        if v > 0.5:
            return mix((186, 204, 214), (120, 132, 120), clamp((v - 0.5) * 4))
        elevation = (0.5 - v) * 2  # 1 at the zenith, 0 at the horizon
        base = mix((200, 222, 240), (66, 120, 200), elevation ** 0.6)
        cloud = fractal_noise(x / 24, y / 10, 5, width // 24, 4)
        cover = clamp((cloud - 0.55) * 4) * clamp(1.2 - elevation * 1.1)
        return mix(base, (250, 250, 252), cover)

    canvas = Canvas(width, height)
    canvas.fill(pixel)
    return canvas


def beach_ball():
    colours = [(230, 40, 40), (255, 255, 255), (40, 110, 230), (255, 210, 30), (255, 255, 255), (40, 170, 80)]

    def colour(d):
        if abs(d[1]) > 0.88:
            return WHITE if d[1] > 0 else (230, 40, 40)
        angle = math.atan2(d[0], d[2]) % (2 * math.pi)
        return colours[int(angle / (2 * math.pi) * 6) % 6]

    return sphere_texture(128, 64, colour)


PIP_LAYOUTS = {
    1: [(0.5, 0.5)],
    2: [(0.27, 0.27), (0.73, 0.73)],
    3: [(0.25, 0.25), (0.5, 0.5), (0.75, 0.75)],
    4: [(0.27, 0.27), (0.73, 0.27), (0.27, 0.73), (0.73, 0.73)],
    5: [(0.25, 0.25), (0.75, 0.25), (0.5, 0.5), (0.25, 0.75), (0.75, 0.75)],
    6: [(0.27, 0.22), (0.73, 0.22), (0.27, 0.5), (0.73, 0.5), (0.27, 0.78), (0.73, 0.78)],
}


def die_face(count):
    size = 64
    canvas = Canvas(size, size, (236, 236, 228))
    canvas.rect(1, 1, size - 1, size - 1, (252, 252, 248), radius=10)
    for px, py in PIP_LAYOUTS[count]:
        if count == 1:
            canvas.circle(px * size, py * size, size * 0.17, (210, 20, 30))
        else:
            canvas.circle(px * size, py * size, size * 0.085, BLACK)
    return canvas


GOLD = (206, 160, 64)


def coin_head():
    size = 128
    canvas = Canvas(size, size, GOLD)
    c = size / 2
    canvas.ring(c, c, c - 5, 4, shade(GOLD, 0.72))
    canvas.ring(c, c, c - 12, 1.5, shade(GOLD, 0.8))
    # the value, embossed: a dark outline under a light face
    canvas.text("100", c + 1.5, c + 1.5, 34, shade(GOLD, 0.6), 7)
    canvas.text("100", c, c, 34, (238, 204, 120), 5)
    return canvas


def coin_tail():
    size = 128
    canvas = Canvas(size, size, GOLD)
    c = size / 2
    canvas.ring(c, c, c - 5, 4, shade(GOLD, 0.72))
    # a blossom of five petals
    for k in range(5):
        a = math.radians(90 + 72 * k)
        canvas.circle(c + 21 * math.cos(a) + 1, c - 21 * math.sin(a) + 1, 17, shade(GOLD, 0.62))
        canvas.circle(c + 21 * math.cos(a), c - 21 * math.sin(a), 16, (236, 198, 110))
    canvas.circle(c, c, 9, shade(GOLD, 0.7))
    for k in range(5):
        a = math.radians(126 + 72 * k)
        canvas.circle(c + 5 * math.cos(a), c - 5 * math.sin(a), 2.2, (250, 230, 170))
    return canvas


def coin_side():
    width, height = 128, 16
    canvas = Canvas(width, height)
    canvas.fill(lambda x, y: shade(GOLD, 0.75 + 0.3 * (0.5 + 0.5 * math.cos(x * 2 * math.pi / 4))))
    return canvas


def ring_texture():
    colours = [(230, 50, 50), (250, 150, 30), (250, 220, 40), (60, 180, 70), (40, 140, 230), (150, 70, 200)]
    width, height = 128, 32
    canvas = Canvas(width, height)

    def pixel(x, y):
        band = colours[int(x / width * 12) % len(colours)]
        return shade(band, 0.85 + 0.15 * math.cos(2 * math.pi * y / height))

    canvas.fill(pixel)
    return canvas


def rolypoly_body():
    red = (200, 30, 30)
    gold = (236, 190, 60)
    front = (0.0, 0.0, -1.0)

    def colour(d):
        facing = dot(d, front)
        if facing > 0.72:
            return (250, 245, 235)
        if facing > 0.66:
            return gold
        # gold swirls round the back
        swirl = math.sin(math.atan2(d[0], d[2]) * 6 + d[1] * 8)
        return gold if swirl > 0.93 else red

    return sphere_texture(128, 64, colour)


def rolypoly_face():
    red = (200, 30, 30)
    skin = (250, 222, 196)
    front = (0.0, 0.0, -1.0)
    right, up = (-1.0, 0.0, 0.0), (0.0, 1.0, 0.0)

    def colour(d):
        plane = tangent_coordinates(d, front, right, up)
        if plane is None:
            return red
        # face features laid out on a plane a little larger than the face itself
        s, t = plane[0] / 1.3, plane[1] / 1.3
        if s * s / 0.8 + (t + 0.05) ** 2 / 0.55 > 1.0:
            return red
        for ex in (-0.34, 0.34):
            distance = math.hypot(s - ex, t - 0.12)
            if distance < 0.09:
                return BLACK
            if distance < 0.17:
                return WHITE
            # brows
            if abs(t - 0.36 - 0.1 * abs(s - ex)) < 0.045 and abs(s - ex) < 0.22:
                return BLACK
        # moustache and mouth
        if abs(t + 0.2 + 0.3 * s * s) < 0.05 and abs(s) < 0.38:
            return BLACK
        if math.hypot(s, t + 0.4) < 0.07:
            return (210, 40, 50)
        return skin

    return sphere_texture(128, 64, colour)


def wood(base=(150, 98, 52), seed=3, size=128, rings=9.0):
    def pixel(x, y):
        n = fractal_noise(x / 32, y / 8, seed, max(1, size // 32) * 8, 3)
        grain = 0.5 + 0.5 * math.sin((x / size * rings + n * 2.5) * 2 * math.pi)
        fleck = value_noise(x / 1.5, y / 6, seed + 7, 1 << 12)
        return shade(base, 0.78 + 0.22 * grain + 0.06 * fleck)

    canvas = Canvas(size, size)
    canvas.fill(pixel)
    return canvas


LIGHT_WOOD = (222, 184, 128)


def puzzle_tile(number):
    canvas = wood(LIGHT_WOOD, 40 + number, 64, 5.0)
    canvas.rect(2, 2, 62, 62, shade(LIGHT_WOOD, 0.62), radius=6, opacity=0.35)
    canvas.rect(5, 5, 59, 59, shade(LIGHT_WOOD, 1.06), radius=5, opacity=0.55)
    canvas.text(str(number), 32, 33, 30, (70, 36, 20), 5.5)
    return canvas


def felt():
    size = 64

    def pixel(x, y):
        return shade((30, 120, 60), 0.92 + 0.16 * value_noise(x / 1.3, y / 1.3, 21, 1 << 12))

    canvas = Canvas(size, size)
    canvas.fill(pixel)
    return canvas


POOL_COLOURS = {
    0: (246, 244, 232), 1: (250, 200, 20), 2: (30, 70, 200), 3: (220, 30, 30), 4: (100, 40, 160),
    5: (250, 120, 20), 6: (20, 130, 60), 7: (130, 30, 30), 8: (20, 20, 20), 9: (250, 200, 20),
}


def pool_ball(number):
    base = POOL_COLOURS[number]
    ivory = (248, 246, 236)
    striped = number >= 9
    spots = [((0.0, 0.0, -1.0), (-1.0, 0.0, 0.0)), ((0.0, 0.0, 1.0), (1.0, 0.0, 0.0))]
    label = str(number)
    segments = text_segments(label, 0.0, 0.0, 0.5) if number > 0 else []

    def colour(d):
        if number > 0:
            for centre, right in spots:
                plane = tangent_coordinates(d, centre, right, (0.0, 1.0, 0.0))
                if plane is None:
                    continue
                s, t = plane
                if s * s + t * t < 0.42 ** 2:
                    # the glyphs are laid out with y down
                    if min(segment_distance(s, -t, seg) for seg in segments) < 0.05:
                        return BLACK
                    return ivory
        if striped and abs(d[1]) > 0.5:
            return ivory
        return base

    return sphere_texture(128, 64, colour)


def domino_face():
    width, height = 64, 128
    ivory = (244, 240, 226)
    canvas = Canvas(width, height, ivory)
    canvas.rect(6, 63, 58, 65, (60, 60, 60))
    canvas.circle(32, 64, 3, (170, 150, 90))
    for half, count in ((0, 5), (1, 3)):
        for px, py in PIP_LAYOUTS[count]:
            canvas.circle(8 + px * 48, 8 + half * 64 + py * 48, 5, BLACK)
    return canvas


def plain(colour, size=16):
    return Canvas(size, size, colour)


def rope():
    width, height = 32, 64

    def pixel(x, y):
        twist = 0.5 + 0.5 * math.sin((x * 0.9 + y) * 2 * math.pi / 12)
        return shade((200, 170, 120), 0.7 + 0.35 * twist)

    canvas = Canvas(width, height)
    canvas.fill(pixel)
    return canvas


def painted_metal(colour):
    size = 32

    def pixel(x, y):
        return shade(colour, 0.95 + 0.1 * value_noise(x / 3, y / 3, 31, 1 << 12))

    canvas = Canvas(size, size)
    canvas.fill(pixel)
    return canvas


CAR_RED = (200, 28, 36)
GLASS = (90, 120, 150)


def car_side():
    width, height = 128, 32
    canvas = Canvas(width, height, CAR_RED)
    canvas.rect(0, 4, width, 7, (240, 240, 240))
    canvas.rect(38, 9, 40, 30, shade(CAR_RED, 0.6))
    canvas.rect(88, 9, 90, 30, shade(CAR_RED, 0.6))
    canvas.rect(50, 14, 60, 16, (210, 210, 210), radius=1)
    return canvas


def car_front():
    width, height = 64, 32
    canvas = Canvas(width, height, CAR_RED)
    canvas.rect(16, 12, 48, 26, (40, 40, 44), radius=3)
    for gx in range(19, 46, 4):
        canvas.rect(gx, 14, gx + 1.5, 24, (120, 120, 126))
    canvas.circle(8, 14, 5, (250, 250, 220))
    canvas.circle(56, 14, 5, (250, 250, 220))
    return canvas


def car_rear():
    width, height = 64, 32
    canvas = Canvas(width, height, CAR_RED)
    canvas.rect(3, 8, 15, 16, (255, 80, 40), radius=2)
    canvas.rect(49, 8, 61, 16, (255, 80, 40), radius=2)
    canvas.rect(20, 16, 44, 27, (246, 246, 240), radius=2)
    canvas.text("55", 32, 21.5, 7, (30, 30, 30), 1.6)
    return canvas


def car_window():
    width, height = 128, 32
    canvas = Canvas(width, height, CAR_RED)
    canvas.rect(8, 5, 60, 28, GLASS, radius=4)
    canvas.rect(68, 5, 120, 28, GLASS, radius=4)
    canvas.rect(12, 8, 30, 12, (170, 200, 220), radius=2, opacity=0.6)
    return canvas


def car_windshield():
    width, height = 64, 32
    canvas = Canvas(width, height, CAR_RED)
    canvas.rect(5, 4, 59, 29, GLASS, radius=4)
    canvas.rect(10, 7, 28, 11, (170, 200, 220), radius=2, opacity=0.6)
    return canvas


def tire_side():
    size = 64
    canvas = Canvas(size, size, (28, 28, 30))
    c = size / 2
    canvas.circle(c, c, 19, (190, 192, 198))
    canvas.ring(c, c, 19, 2, (120, 120, 126))
    for k in range(5):
        a = math.radians(90 + 72 * k)
        canvas.circle(c + 10 * math.cos(a), c - 10 * math.sin(a), 3, (90, 90, 96))
    canvas.circle(c, c, 4, (230, 230, 236))
    return canvas


def tire_tread():
    width, height = 64, 16
    canvas = Canvas(width, height, (36, 36, 38))
    for k in range(0, width, 4):
        canvas.rect(k, 0, k + 1.5, height, (18, 18, 20))
    return canvas


# ---------------------------------------------------------------------------
# meshes


def material_block(texture):
    return ("  Material {\n"
            "   1.000000;1.000000;1.000000;1.000000;;\n"
            "   8.000000;\n"
            "   0.100000;0.100000;0.100000;;\n"
            "   0.000000;0.000000;0.000000;;\n"
            "   TextureFilename {\n"
            f"    \"{texture}\";\n"
            "   }\n"
            "  }\n")


def write_mesh(path, name, vertices, triangles, textures):
    """vertices: (position, normal, uv); triangles: (a, b, c, material index)."""
    # every triangle must turn counter-clockwise seen from outside, along its normals
    for a, b, c, _ in triangles:
        pa, pb, pc = vertices[a][0], vertices[b][0], vertices[c][0]
        n = cross(tuple(pb[i] - pa[i] for i in range(3)), tuple(pc[i] - pa[i] for i in range(3)))
        normal = tuple(vertices[a][1][i] + vertices[b][1][i] + vertices[c][1][i] for i in range(3))
        assert dot(n, n) > 1e-12, f"{name}: degenerate triangle {a},{b},{c}"
        assert dot(n, normal) > 0, f"{name}: triangle {a},{b},{c} turns inwards"

    def number(x):
        text = f"{x:.6f}"
        return "0.000000" if text == "-0.000000" else text

    def vector_list(items, count):
        lines = []
        for i, item in enumerate(items):
            end = ";;" if i == count - 1 else ";,"
            lines.append("  " + ";".join(number(c) for c in item) + end)
        return "\n".join(lines)

    def face_list():
        lines = []
        for i, (a, b, c, _) in enumerate(triangles):
            end = ";;" if i == len(triangles) - 1 else ";,"
            lines.append(f"  3;{a},{b},{c}{end}")
        return "\n".join(lines)

    out = ["xof 0303txt 0032\n",
           f"// {name}: generated by tools/make_assets.py\n",
           f"Mesh {name} {{\n", f"  {len(vertices)};\n",
           vector_list([v[0] for v in vertices], len(vertices)) + "\n",
           f"  {len(triangles)};\n", face_list() + "\n",
           " MeshNormals {\n", f"  {len(vertices)};\n",
           vector_list([v[1] for v in vertices], len(vertices)) + "\n",
           f"  {len(triangles)};\n", face_list() + "\n", " }\n",
           " MeshTextureCoords {\n", f"  {len(vertices)};\n",
           vector_list([v[2] for v in vertices], len(vertices)) + "\n", " }\n",
           " MeshMaterialList {\n", f"  {len(textures)};\n", f"  {len(triangles)};\n",
           ",\n".join(f"  {t[3]}" for t in triangles) + ";\n"]
    out += [material_block(t) for t in textures]
    out += [" }\n", "}\n"]
    with open(path, "w", newline="\n") as f:
        f.write("".join(out))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def add_quad(vertices, triangles, corners, normal, uvs, material):
    """corners: top-left, top-right, bottom-right, bottom-left seen from outside."""
    base = len(vertices)
    for corner, uv in zip(corners, uvs):
        vertices.append((corner, normal, uv))
    triangles.append((base, base + 3, base + 2, material))
    triangles.append((base, base + 2, base + 1, material))


def box_mesh(path):
    # (outward normal, up) per face, in the material order top, bottom, left, right, front, rear
    faces = [((0, 1, 0), (0, 0, 1)), ((0, -1, 0), (0, 0, -1)), ((-1, 0, 0), (0, 1, 0)),
             ((1, 0, 0), (0, 1, 0)), ((0, 0, -1), (0, 1, 0)), ((0, 0, 1), (0, 1, 0))]
    vertices, triangles = [], []
    for material, (n, up) in enumerate(faces):
        right = cross(up, n)

        def corner(sr, su):
            return tuple(0.5 * n[i] + 0.5 * sr * right[i] + 0.5 * su * up[i] for i in range(3))

        add_quad(vertices, triangles, [corner(-1, 1), corner(1, 1), corner(1, -1), corner(-1, -1)], n,
                 [(0, 0), (1, 0), (1, 1), (0, 1)], material)
    write_mesh(path, "box", vertices, triangles,
               ["box_top.png", "box_bottom.png", "box_left.png", "box_right.png", "box_front.png", "box_rear.png"])


def ring_direction(u):
    a = 2 * math.pi * u
    return (math.sin(a), 0.0, math.cos(a))


def disk_mesh(path, segments=48):
    vertices, triangles = [], []
    # head (+y): image up is +z, right is -x; tail (-y): up is -z, right is -x
    for material, sign in ((0, 1), (1, -1)):
        centre = len(vertices)
        vertices.append(((0.0, 0.5 * sign, 0.0), (0, sign, 0), (0.5, 0.5)))
        for i in range(segments):
            x, _, z = ring_direction(i / segments)
            vertices.append(((x, 0.5 * sign, z), (0, sign, 0), (0.5 - x / 2, 0.5 - sign * z / 2)))
        for i in range(segments):
            a, b = centre + 1 + i, centre + 1 + (i + 1) % segments
            # ring_direction turns from +z towards +x: counter-clockwise seen from +y
            triangles.append((centre, a, b, material) if sign > 0 else (centre, b, a, material))
    # side: u around, v from the top edge down
    base = len(vertices)
    for i in range(segments + 1):
        x, _, z = ring_direction(i / segments)
        vertices.append(((x, 0.5, z), (x, 0.0, z), (i / segments, 0.0)))
        vertices.append(((x, -0.5, z), (x, 0.0, z), (i / segments, 1.0)))
    for i in range(segments):
        top, bottom = base + 2 * i, base + 2 * i + 1
        next_top, next_bottom = top + 2, bottom + 2
        triangles.append((top, bottom, next_bottom, 2))
        triangles.append((top, next_bottom, next_top, 2))
    write_mesh(path, "disk", vertices, triangles, ["disk_head.png", "disk_tail.png", "disk_side.png"])


def sphere_mesh(path, slices=32, stacks=16):
    vertices, triangles = [], []
    for j in range(stacks + 1):
        for i in range(slices + 1):
            u, v = i / slices, j / stacks
            d = sphere_direction(u, v)
            vertices.append((d, d, (u, v)))
    row = slices + 1
    for j in range(stacks):
        for i in range(slices):
            # a, b on this ring, c, d below them; the poles need one triangle only
            a, b = j * row + i, j * row + i + 1
            c, d = a + row, b + row
            if j < stacks - 1:
                triangles.append((a, c, d, 0))
            if j > 0:
                triangles.append((a, d, b, 0))
    write_mesh(path, "sphere", vertices, triangles, ["sphere.png"])


TUBE_RATIO = 0.2


def torus_mesh(path, segments=48, sides=16):
    vertices, triangles = [], []
    for i in range(segments + 1):
        c = ring_direction(i / segments)
        for j in range(sides + 1):
            # v = 0 on top of the tube, a quarter on the outer equator
            psi = 2 * math.pi * j / sides
            n = (c[0] * math.sin(psi), math.cos(psi), c[2] * math.sin(psi))
            p = tuple(c[k] + TUBE_RATIO * n[k] for k in range(3))
            vertices.append((p, n, (i / segments, j / sides)))
    row = sides + 1
    for i in range(segments):
        for j in range(sides):
            a, b = i * row + j, i * row + j + 1
            c, d = a + row, b + row
            triangles.append((a, b, d, 0))
            triangles.append((a, d, c, 0))
    write_mesh(path, "torus", vertices, triangles, ["torus.png"])


# ---------------------------------------------------------------------------


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                                               "data")
    os.makedirs(root, exist_ok=True)

    def save(name, canvas):
        canvas.save(os.path.join(root, name))

    box_mesh(os.path.join(root, "box.x"))
    disk_mesh(os.path.join(root, "disk.x"))
    sphere_mesh(os.path.join(root, "sphere.x"))
    torus_mesh(os.path.join(root, "torus.x"))

    save("land.png", land())
    save("sky.png", sky())
    save("ball.png", beach_ball())
    for n in range(1, 7):
        save(f"dice{n}.png", die_face(n))
    save("coin_head.png", coin_head())
    save("coin_tail.png", coin_tail())
    save("coin_side.png", coin_side())
    save("ring.png", ring_texture())
    save("rolypoly_body.png", rolypoly_body())
    save("rolypoly_face.png", rolypoly_face())
    save("wood.png", wood())
    save("tile_side.png", wood(LIGHT_WOOD, 90, 32, 3.0))
    for n in range(1, 16):
        save(f"tile{n}.png", puzzle_tile(n))
    save("felt.png", felt())
    for n in range(0, 10):
        save(f"pool{n}.png", pool_ball(n))
    save("domino_face.png", domino_face())
    save("domino_edge.png", plain((236, 232, 216)))
    save("rope.png", rope())
    save("metal_blue.png", painted_metal((40, 90, 170)))
    save("car_side.png", car_side())
    save("car_front.png", car_front())
    save("car_rear.png", car_rear())
    save("car_roof.png", plain(CAR_RED))
    save("car_under.png", plain((40, 40, 42)))
    save("car_window.png", car_window())
    save("car_windshield.png", car_windshield())
    save("tire_side.png", tire_side())
    save("tire_tread.png", tire_tread())


if __name__ == "__main__":
    main()
