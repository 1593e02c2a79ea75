#!/usr/bin/python3
"""Draws the application icon and writes it as a Windows .ico file.

The icon is a rounded tile with a blue-to-teal gradient, a white shield and,
inside it, a stroke that bends into a "D" and ends in a node: a guarded link.
Each of the nine sizes is rendered from one large master image so the shapes stay
the same; sizes below 256 are stored as 32-bit DIBs (BGRA plus an AND mask), the
256-pixel image as PNG, which is how Windows expects large icon entries.

Usage: draw_icon.py OUTPUT.ico
"""
import io
import struct
import sys

from PIL import Image, ImageDraw

SIZES = (16, 20, 24, 32, 40, 48, 64, 128, 256)
MASTER = 1024


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def draw_master():
    top, bottom = (28, 74, 196), (18, 170, 160)
    gradient = Image.new("RGBA", (MASTER, MASTER))
    pixels = gradient.load()
    for y in range(MASTER):
        for x in range(MASTER):
            t = (0.65 * y + 0.35 * x) / MASTER
            pixels[x, y] = lerp(top, bottom, t) + (255,)

    mask = Image.new("L", (MASTER, MASTER), 0)
    ImageDraw.Draw(mask).rounded_rectangle((40, 40, MASTER - 40, MASTER - 40),
                                           radius=210, fill=255)
    image = Image.new("RGBA", (MASTER, MASTER), (0, 0, 0, 0))
    image.paste(gradient, (0, 0), mask)

    draw = ImageDraw.Draw(image)
    white = (255, 255, 255, 255)
    # Shield: a flat top with rounded shoulders narrowing to a point.
    shield = [(512, 150), (790, 250), (790, 500), (760, 640), (680, 760),
              (512, 880), (344, 760), (264, 640), (234, 500), (234, 250)]
    draw.polygon(shield, fill=white)
    inner = [(512, 215), (730, 295), (730, 495), (705, 615), (640, 715),
             (512, 808), (384, 715), (319, 615), (294, 495), (294, 295)]
    draw.polygon(inner, fill=lerp(top, bottom, 0.45) + (255,))

    # The "D": upright bar plus a bowl, drawn as thick strokes.
    stroke = 64
    draw.line([(420, 360), (420, 660)], fill=white, width=stroke)
    draw.arc((300, 360, 640, 660), start=-90, end=90, fill=white, width=stroke)
    draw.line([(420, 360 + stroke // 2 - 1), (470, 360 + stroke // 2 - 1)],
              fill=white, width=stroke)
    draw.line([(420, 660 - stroke // 2 + 1), (470, 660 - stroke // 2 + 1)],
              fill=white, width=stroke)
    # The node where the link ends.
    draw.ellipse((600, 470, 680, 550), fill=(255, 214, 90, 255))
    return image


def dib_entry(image):
    size = image.width
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            r, g, b, a = image.getpixel((x, y))
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    mask_stride = ((size + 31) // 32) * 4
    mask_rows = []
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(size):
            if image.getpixel((x, y))[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(bits))
    return header + b"".join(rows) + b"".join(mask_rows)


def png_entry(image):
    buffer = io.BytesIO()
    image.save(buffer, format="PNG")
    return buffer.getvalue()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    master = draw_master()
    blobs = []
    for size in SIZES:
        image = master.resize((size, size), Image.LANCZOS)
        blobs.append(png_entry(image) if size >= 256 else dib_entry(image))

    out = struct.pack("<HHH", 0, 1, len(SIZES))
    offset = 6 + 16 * len(SIZES)
    for size, blob in zip(SIZES, blobs):
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(blobs))


if __name__ == "__main__":
    main()
