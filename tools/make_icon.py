#!/usr/bin/env python3
"""Generates the desktop program's icon, src/shell/kivaro.png (64 x 64, RGBA), and with a
size the same picture for the icon theme (packaging/icons/<size>.png).

Standard library only; the output is deterministic. A striped beach ball resting on a
strip of land, with its soft shadow, on a transparent background; drawn on a 64-unit
grid and scaled to the size.

    python3 tools/make_icon.py [output file [size]]
"""

import math
import os
import struct
import sys
import zlib

SIZE = 64


def write_png(path, width, height, pixels):
    rows = b"".join(b"\x00" + bytes(pixels[y * width * 4:(y + 1) * width * 4]) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) +
                  chunk(b"IEND", b""))


def blend(under, colour, alpha):
    return [round(u * (1 - alpha) + c * alpha) for u, c in zip(under, colour)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src", "shell",
                                                              "kivaro.png")
    size = int(sys.argv[2]) if len(sys.argv) > 2 else SIZE
    scale = size / SIZE
    pixels = []
    cx, cy, r = 32.0, 29.0, 21.0
    stripes = [(230, 40, 40), (250, 250, 245), (40, 110, 230), (250, 250, 245), (250, 200, 30), (250, 250, 245)]
    for y in range(size):
        for x in range(size):
            px, py = (x + 0.5) / scale, (y + 0.5) / scale
            rgba = [0, 0, 0, 0]
            # land strip with a darker edge
            if py >= 50:
                rgba = [70, 150, 60, 255] if py >= 52 else [50, 110, 45, 255]
            # shadow ellipse on the land
            d = ((px - 34) / 20.0) ** 2 + ((py - 52.5) / 3.5) ** 2
            if d < 1.0 and rgba[3]:
                rgba[:3] = blend(rgba[:3], (20, 40, 20), 0.55 * (1 - d))
            # the ball: stripes by angle around the vertical, lit from the upper left
            dx, dy = (px - cx) / r, (py - cy) / r
            rr = dx * dx + dy * dy
            if rr <= 1.0:
                dz = math.sqrt(1.0 - rr)
                angle = math.atan2(dx, dz)
                stripe = stripes[int((angle + math.pi) / (2 * math.pi) * len(stripes) * 1.5) % len(stripes)]
                light = max(0.0, (-0.45 * dx - 0.55 * dy + 0.7 * dz)) * 0.7 + 0.35
                colour = [min(255, round(c * light)) for c in stripe]
                edge = min(1.0, (1.0 - math.sqrt(rr)) * r * scale)  # anti-aliased rim, one pixel wide
                rgba = blend(rgba[:3], colour, edge) + [max(rgba[3], round(255 * edge))]
            pixels.extend(rgba)
    write_png(out, size, size, pixels)


if __name__ == "__main__":
    main()
