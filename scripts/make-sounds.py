#!/usr/bin/env python3
"""Writes the three completion sounds (Pop, Glass, Tink) as small 16-bit mono WAV files.

Usage: scripts/make-sounds.py [output folder]   (default: resources/sounds)
The output is deterministic, so the committed files can be regenerated and compared.
"""
import math
import os
import struct
import sys
import wave

RATE = 44100


def render(duration, voice):
    frames = bytearray()
    count = int(duration * RATE)
    for i in range(count):
        t = i / RATE
        # A 3 ms fade at both ends keeps the sound free of clicks.
        edge = min(1.0, t / 0.003, (duration - t) / 0.003)
        value = max(-1.0, min(1.0, voice(t) * edge))
        frames += struct.pack("<h", int(round(value * 32767)))
    return bytes(frames)


def pop(t):
    # A short downward sweep with a fast decay: a soft bubble.
    phase = 2 * math.pi * (180 * t + 520 * (1 - math.exp(-t * 40)) / 40)
    return 0.8 * math.sin(phase) * math.exp(-t * 28)


def glass(t):
    # Inharmonic partials ringing out: a small chime.
    partials = [(1318.5, 0.5, 4.0), (2637.0, 0.25, 6.0), (3951.1, 0.12, 9.0), (5274.0, 0.06, 12.0)]
    return sum(a * math.sin(2 * math.pi * f * t) * math.exp(-t * d) for f, a, d in partials)


def tink(t):
    # One bright, very short strike.
    return 0.6 * math.sin(2 * math.pi * 2793.8 * t) * math.exp(-t * 55) + \
        0.2 * math.sin(2 * math.pi * 5587.7 * t) * math.exp(-t * 80)


SOUNDS = {"Pop": (0.18, pop), "Glass": (0.9, glass), "Tink": (0.12, tink)}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources", "sounds")
    os.makedirs(out, exist_ok=True)
    for name, (duration, voice) in SOUNDS.items():
        with wave.open(os.path.join(out, name + ".wav"), "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(render(duration, voice))


if __name__ == "__main__":
    main()
