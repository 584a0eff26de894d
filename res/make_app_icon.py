#!/usr/bin/env python3
"""Draws the panel's icon (app.ico: 16, 24, 32 and 48 pixels, 32-bit with alpha).

The picture is a web camera on a blue tile: a round lens with a glint and a red
"on air" lamp. Each pixel is supersampled 4 x 4 so the edges are smooth.
Run it from anywhere; it writes app.ico beside itself.
"""
import math
import os
import struct

SIZES = (16, 24, 32, 48)
SUPER = 4


def shade(u, v):
    """Colour (r, g, b, a) of the point (u, v) of the unit square, y downwards."""
    # Rounded tile with a vertical blue gradient.
    radius = 0.18
    dx = max(abs(u - 0.5) - (0.5 - radius - 0.02), 0.0)
    dy = max(abs(v - 0.5) - (0.5 - radius - 0.02), 0.0)
    if dx * dx + dy * dy > radius * radius:
        return (0, 0, 0, 0)
    top, bottom = (70, 140, 230), (20, 60, 140)
    colour = tuple(t + (b - t) * v for t, b in zip(top, bottom))

    d = math.hypot(u - 0.5, v - 0.55)
    if d < 0.33:
        colour = (235, 240, 248)          # camera body ring
    if d < 0.25:
        colour = (25, 30, 45)             # lens rim
    if d < 0.17:
        colour = (40, 110, 200)           # glass
    if math.hypot(u - 0.45, v - 0.50) < 0.06:
        colour = (210, 235, 255)          # glint
    if math.hypot(u - 0.80, v - 0.20) < 0.09:
        colour = (230, 40, 40)            # lamp
    return colour + (255,)


def render(size):
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPER):
                for sx in range(SUPER):
                    r, g, b, a = shade((x + (sx + 0.5) / SUPER) / size, (y + (sy + 0.5) / SUPER) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SUPER * SUPER
            alpha = acc[3] / n
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha)),))
        pixels.append(row)
    return pixels


def icon_image(size):
    pixels = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(pixels):          # bottom-up rows
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def main():
    images = [icon_image(s) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "app.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
