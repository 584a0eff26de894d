#!/usr/bin/env python3
"""Draws the two state lamps of the Start/Stop button: lamp_green.ico (stopped) and
lamp_red.ico (running), each with images of 20 x 20 pixels and of the sizes the
button draws at 125%, 150% and 200% (25, 30, 40), 32-bit colour with alpha. The
20-pixel image is the lamp of every earlier build, unchanged.

A shaded sphere lit from the upper left, a darker rim and a soft white gloss across
the top; edges are antialiased by 4 x 4 supersampling. Run it again to remake them:
    python3 res/make_lamps.py
"""
import math
import os
import struct

SIZES = (20, 25, 30, 40)
SUB = 4


def lamp_pixel(x, y, base, size):
    """Colour (r, g, b) and coverage 0..1 of pixel (x, y), by supersampling."""
    scale = size / 20.0  # the drawing is made for 20 pixels
    cx = cy = size / 2.0
    radius = size / 2.0 - 0.6 * scale
    acc = [0.0, 0.0, 0.0]
    covered = 0
    for sy in range(SUB):
        for sx in range(SUB):
            px = x + (sx + 0.5) / SUB
            py = y + (sy + 0.5) / SUB
            dx, dy = px - cx, py - cy
            d = math.hypot(dx, dy)
            if d > radius:
                continue
            covered += 1
            t = d / radius
            # Body: brighter toward a light point up and left of the centre.
            lx, ly = px - (cx - 3.0 * scale), py - (cy - 3.5 * scale)
            light = max(0.0, 1.0 - math.hypot(lx, ly) / (radius * 1.6))
            shade = 0.45 + 0.75 * light
            colour = [min(255.0, c * shade) for c in base]
            # Rim: darken the outer ring.
            if t > 0.82:
                k = 1.0 - 0.55 * (t - 0.82) / 0.18
                colour = [c * k for c in colour]
            # Gloss: a soft white ellipse in the upper half.
            gx, gy = (px - cx) / (radius * 0.62), (py - (cy - radius * 0.45)) / (radius * 0.38)
            g = gx * gx + gy * gy
            if g < 1.0:
                a = 0.75 * (1.0 - g) ** 1.5
                colour = [c * (1 - a) + 255 * a for c in colour]
            for i in range(3):
                acc[i] += colour[i]
    if covered == 0:
        return (0, 0, 0), 0.0
    return tuple(int(round(c / covered)) for c in acc), covered / float(SUB * SUB)


def image_bytes(base, size):
    """One size x size 32-bit image: header, BGRA rows bottom-up, then the AND mask."""
    words = (size + 31) // 32  # mask rows are padded to 32 bits
    pixels = b""
    mask = b""
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            (r, g, b), alpha = lamp_pixel(x, y, base, size)
            a = int(round(alpha * 255))
            if a == 0:
                r = g = b = 0
                bits |= 1 << (32 * words - 1 - x)
            pixels += bytes((b, g, r, a))
        mask += bits.to_bytes(4 * words, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def icon_bytes(base):
    """An .ico file with one image of each size."""
    images = [image_bytes(base, size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, base in (("lamp_green.ico", (60, 210, 70)), ("lamp_red.ico", (230, 45, 40))):
        with open(os.path.join(here, name), "wb") as f:
            f.write(icon_bytes(base))


if __name__ == "__main__":
    main()
