#!/usr/bin/env python3
"""Draws the tray image and the application icon as PNG files, with the standard library only.

Usage: scripts/make-icons.py [output folder]   (default: resources)
  OrvelPlusMenuBarTemplate.png  36 x 36, a mid-grey waveform on transparency, legible on light and dark panels (shown at 18 x 18)
  orvel-raza.png                256 x 256, the waveform in paper colour on the accent disc
"""
import math
import os
import struct
import sys
import zlib

# Bar heights of the waveform glyph, as fractions of the glyph height.
BARS = [0.34, 0.68, 1.0, 0.56, 0.82, 0.42]


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows += bytes(pixel(x + 0.5, y + 0.5))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
                + chunk(b"IEND", b""))


def coverage(inside, x, y, samples=4):
    """Fraction of the pixel around (x, y) inside the shape, for smooth edges."""
    hits = 0
    for i in range(samples):
        for j in range(samples):
            if inside(x - 0.5 + (i + 0.5) / samples, y - 0.5 + (j + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def waveform(left, top, size):
    """A test for points inside the rounded bars of the glyph in the given square."""
    count = len(BARS)
    pitch = size / count
    width = pitch * 0.56
    radius = width / 2

    def inside(x, y):
        i = int((x - left) // pitch)
        if i < 0 or i >= count:
            return False
        cx = left + pitch * (i + 0.5)
        half = max(BARS[i] * size / 2 - radius, 0)
        cy = top + size / 2
        dx = abs(x - cx)
        dy = max(abs(y - cy) - half, 0)
        return dx * dx + dy * dy <= radius * radius

    return inside


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    os.makedirs(out, exist_ok=True)

    glyph = waveform(3, 3, 30)
    png(os.path.join(out, "OrvelPlusMenuBarTemplate.png"), 36, 36,
        lambda x, y: (150, 150, 150, int(round(255 * coverage(glyph, x, y)))))

    size = 256
    centre = size / 2
    disc = lambda x, y: (x - centre) ** 2 + (y - centre) ** 2 <= (size * 0.47) ** 2
    mark = waveform(size * 0.2, size * 0.2, size * 0.6)
    accent = (64, 92, 230)
    paper = (250, 247, 240)

    def icon(x, y):
        d = coverage(disc, x, y, 3)
        m = coverage(mark, x, y, 3)
        r, g, b = (round(a + (p - a) * m) for a, p in zip(accent, paper))
        return (r, g, b, int(round(255 * d)))

    png(os.path.join(out, "orvel-raza.png"), size, size, icon)


if __name__ == "__main__":
    main()
