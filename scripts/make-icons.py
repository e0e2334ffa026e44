#!/usr/bin/env python3
"""Draws the tray image and the application icon as PNG files, with the standard library only.

Usage: scripts/make-icons.py [output folder]   (default: resources)
  OrvelPlusMenuBarTemplate.png  36 x 36, a mid-grey waveform on transparency, legible on light and dark panels (shown at 18 x 18)
  orvel-raza.png                256 x 256, the waveform in paper colour on the accent disc
  icons/NxN/orvel-raza.png      the same drawn at each hicolor size, for the menu entry
  symbols/*.png                 64 x 64 one-colour masks for the symbols no icon theme has
                                (the program recolours them): waveform, waveform-circle,
                                wand-and-stars, cpu, checkmark-circle
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


def segment(ax, ay, bx, by, radius):
    """Points within radius of the segment from a to b (a rounded bar)."""
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx - x, ay + t * dy - y
        return px * px + py * py <= radius * radius
    return inside


def sparkle(cx, cy, r):
    """A four-pointed star: |dx|^0.5 + |dy|^0.5 <= r^0.5."""
    return lambda x, y: abs(x - cx) ** 0.5 + abs(y - cy) ** 0.5 <= r ** 0.5


def rounded_rect(left, top, right, bottom, radius):
    def inside(x, y):
        dx = max(left + radius - x, 0, x - (right - radius))
        dy = max(top + radius - y, 0, y - (bottom - radius))
        return dx * dx + dy * dy <= radius * radius
    return inside


def symbols(out):
    os.makedirs(out, exist_ok=True)
    size = 64
    mask = lambda shape: (lambda x, y: (255, 255, 255, int(round(255 * coverage(shape, x, y)))))

    png(os.path.join(out, "waveform.png"), size, size, mask(waveform(4, 4, 56)))

    disc = lambda x, y: (x - 32) ** 2 + (y - 32) ** 2 <= 30 ** 2
    bars = waveform(17, 17, 30)
    png(os.path.join(out, "waveform-circle.png"), size, size,
        mask(lambda x, y: disc(x, y) and not bars(x, y)))

    wand = segment(8, 56, 38, 26, 4.5)
    stars = [sparkle(48, 14, 11), sparkle(26, 10, 6), sparkle(54, 36, 6)]
    png(os.path.join(out, "wand-and-stars.png"), size, size,
        mask(lambda x, y: wand(x, y) or any(s(x, y) for s in stars)))

    check = [segment(19, 33, 28, 42, 3.6), segment(28, 42, 45, 23, 3.6)]
    png(os.path.join(out, "checkmark-circle.png"), size, size,
        mask(lambda x, y: disc(x, y) and not any(c(x, y) for c in check)))

    outer = rounded_rect(12, 12, 52, 52, 6)
    hollow = rounded_rect(17, 17, 47, 47, 3)
    core = rounded_rect(23, 23, 41, 41, 2)
    def pins(x, y):
        for c in (22, 32, 42):
            if abs(x - c) <= 2 and (4 <= y <= 12 or 52 <= y <= 60):
                return True
            if abs(y - c) <= 2 and (4 <= x <= 12 or 52 <= x <= 60):
                return True
        return False
    png(os.path.join(out, "cpu.png"), size, size,
        mask(lambda x, y: (outer(x, y) and not hollow(x, y)) or core(x, y) or pins(x, y)))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    os.makedirs(out, exist_ok=True)

    glyph = waveform(3, 3, 30)
    png(os.path.join(out, "OrvelPlusMenuBarTemplate.png"), 36, 36,
        lambda x, y: (150, 150, 150, int(round(255 * coverage(glyph, x, y)))))

    png(os.path.join(out, "orvel-raza.png"), 256, 256, app_icon(256))
    # Drawn at each size rather than scaled, so the small ones stay sharp.
    for size in (16, 24, 32, 48, 64, 128, 256, 512):
        folder = os.path.join(out, "icons", "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        png(os.path.join(folder, "orvel-raza.png"), size, size, app_icon(size))
    symbols(os.path.join(out, "symbols"))


def app_icon(size):
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

    return icon


if __name__ == "__main__":
    main()
