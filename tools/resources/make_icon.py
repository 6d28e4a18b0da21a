#!/usr/bin/env python3
"""Writes a tool's icon: a rounded square in the colour of the tool and the
architecture, with "32" or "64" on it, at the sizes the notification area
and Explorer ask for (16 to 48 pixels, 32-bit colour with alpha).

Usage: make_icon.py OUT.ico host|viewer|check x86|x64
"""

import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48)
COLOURS = {  # (red, green, blue)
    ("host", "x64"): (0x1E, 0x5A, 0xC8),
    ("host", "x86"): (0x1E, 0x8C, 0x46),
    ("viewer", "x64"): (0x6E, 0x3C, 0xA0),
    ("viewer", "x86"): (0xC0, 0x5A, 0x14),
    ("check", "x64"): (0x2C, 0x7A, 0x8C),
    ("check", "x86"): (0x96, 0x28, 0x50),
}
DIGITS = {  # 3 x 5
    "2": ("###", "..#", "###", "#..", "###"),
    "3": ("###", "..#", "###", "..#", "###"),
    "4": ("#.#", "#.#", "###", "..#", "..#"),
    "6": ("###", "#..", "###", "#.#", "###"),
}


def pixels(size, colour, text):
    """Rows top to bottom of (b, g, r, a)."""
    radius = max(2, size // 6)
    scale = max(1, size // 8)
    width = len(text) * 3 * scale + (len(text) - 1) * scale
    left, top = (size - width) // 2, (size - 5 * scale) // 2
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            dx = max(radius - x - 0.5, x + 0.5 - (size - radius), 0)
            dy = max(radius - y - 0.5, y + 0.5 - (size - radius), 0)
            inside = dx * dx + dy * dy <= radius * radius
            pixel = (0, 0, 0, 0)
            if inside:
                pixel = (colour[2], colour[1], colour[0], 255)
                gx, gy = x - left, y - top
                if 0 <= gx < width and 0 <= gy < 5 * scale:
                    cell, offset = divmod(gx, 4 * scale)
                    if offset < 3 * scale and DIGITS[text[cell]][gy // scale][offset // scale] == "#":
                        pixel = (255, 255, 255, 255)
            row.append(pixel)
        rows.append(row)
    return rows


def image(size, colour, text):
    rows = pixels(size, colour, text)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour_data = b"".join(bytes(c for p in row for c in p) for row in reversed(rows))
    stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour_data + mask


def main(argv):
    if len(argv) != 4 or (argv[2], argv[3]) not in COLOURS:
        sys.stderr.write(__doc__)
        return 2
    colour = COLOURS[(argv[2], argv[3])]
    text = "64" if argv[3] == "x64" else "32"
    images = [image(size, colour, text) for size in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    with open(argv[1], "wb") as out:
        out.write(data + b"".join(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
