#!/usr/bin/env python3
"""Makes res/logo.gif, the watermark the encoder blends over the video.

A 320x240 mid-grey picture with two centred lines of white anti-aliased text. The glyphs
are rasterised by ImageMagick (only at generation time); the palette and the GIF file,
with its LZW stream, are written here so that the file's structure is exactly ours.
Needs ImageMagick and the DejaVu fonts (fonts-dejavu-core) when run; the build only uses
the committed GIF. Run: res/make_watermark.py [output]   (default res/logo.gif beside it)
"""
import os
import subprocess
import sys

WIDTH, HEIGHT = 320, 240
GREY = 128
FONT = "DejaVu-Sans-Bold"
# (text, first row of its band, band height); columns are kept within 30..296.
LINES = [("Orvane DEMO (Web Edition)", 98, 20), ("www.orvane.example", 123, 20)]
LEFT, RIGHT = 30, 296


def render(text, pointsize):
    """Returns (width, height, coverage bytes) of the text's trimmed bounding box."""
    out = subprocess.run(
        ["convert", "-background", "black", "-fill", "white", "-font", FONT,
         "-pointsize", str(pointsize), "label:" + text, "-trim", "+repage",
         "-depth", "8", "-format", "%w %h\n", "-write", "info:-", "gray:-"],
        check=True, stdout=subprocess.PIPE).stdout
    header, _, pixels = out.partition(b"\n")
    w, h = (int(v) for v in header.split())
    return w, h, pixels[: w * h]


def fit(text, band):
    """The largest rendering that fits the band's height and the allowed columns."""
    for size in range(30, 6, -1):
        w, h, cov = render(text, size)
        if h <= band and (WIDTH - w) // 2 >= LEFT and (WIDTH - w) // 2 + w - 1 <= RIGHT:
            return w, h, cov
    raise SystemExit("text does not fit: " + text)


def lzw(indices, min_code_size=8):
    """GIF LZW: variable code width, clear code when the 4096-entry table is full."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out, acc, nbits = bytearray(), 0, 0
    width = min_code_size + 1

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def fresh():
        return {bytes([i]): i for i in range(clear)}, end + 1

    table, next_code = fresh()
    emit(clear)
    prefix = b""
    for i in indices:
        candidate = prefix + bytes([i])
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix])
        if next_code == 4096:
            emit(clear)
            table, next_code = fresh()
            width = min_code_size + 1
        else:
            table[candidate] = next_code
            next_code += 1
            # The decoder widens one code later than we add, so widen once the new code needs it.
            if next_code - 1 == (1 << width) and width < 12:
                width += 1
        prefix = bytes([i])
    emit(table[prefix])
    # The decoder adds an entry for that last code too, and may widen before the end code.
    if next_code < 4096:
        next_code += 1
        if next_code - 1 == (1 << width) and width < 12:
            width += 1
    emit(end)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.gif")
    level = bytearray([GREY]) * (WIDTH * HEIGHT)
    for text, top, band in LINES:
        w, h, cov = fit(text, band)
        x0, y0 = (WIDTH - w) // 2, top + (band - h) // 2
        for y in range(h):
            for x in range(w):
                c = cov[y * w + x]
                # Blend white over the grey with the glyph coverage as alpha.
                level[(y0 + y) * WIDTH + x0 + x] = GREY + (c * (255 - GREY) + 127) // 255
    # Palette: index i is the grey 128 + i for i < 128 (index 0 is the background); the
    # rest is black, unused.
    palette = bytearray()
    for i in range(256):
        v = GREY + i if i < 128 else 0
        palette += bytes([v, v, v])
    indices = bytes(v - GREY for v in level)
    data = lzw(indices)
    gif = bytearray(b"GIF89a")
    gif += WIDTH.to_bytes(2, "little") + HEIGHT.to_bytes(2, "little") + bytes([0xF7, 0, 0])
    gif += palette
    gif += b"\x2C" + bytes(4) + WIDTH.to_bytes(2, "little") + HEIGHT.to_bytes(2, "little") + b"\x00"
    gif += b"\x08"
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        gif += bytes([len(chunk)]) + chunk
    gif += b"\x00\x3B"
    with open(target, "wb") as f:
        f.write(gif)
    print(f"{target}: {len(gif)} bytes, {sum(1 for v in level if v != GREY)} text pixels")


if __name__ == "__main__":
    main()
