#!/usr/bin/env python3
"""Turns an icon drawn as text into a .ico file of 16-colour images.

The text holds one image per "size N" line, followed by N rows of N
characters, one character a pixel; lines starting with "#" are comments.
"." is transparent; the other characters name colours of the standard
16-colour palette (below). Each image becomes a 4-bit DIB with its AND mask.

usage: make_ico.py INPUT.txt OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour palette: letter, then red, green, blue.
PALETTE = [
    ("K", 0, 0, 0), ("m", 128, 0, 0), ("g", 0, 128, 0), ("O", 128, 128, 0),
    ("n", 0, 0, 128), ("p", 128, 0, 128), ("t", 0, 128, 128), ("S", 192, 192, 192),
    ("G", 128, 128, 128), ("R", 255, 0, 0), ("L", 0, 255, 0), ("Y", 255, 255, 0),
    ("B", 0, 0, 255), ("F", 255, 0, 255), ("A", 0, 255, 255), ("W", 255, 255, 255),
]
INDEX = {letter: i for i, (letter, _, _, _) in enumerate(PALETTE)}
TRANSPARENT = "."


def read_images(text):
    images, rows, size = [], None, 0
    for number, line in enumerate(text.splitlines(), 1):
        line = line.rstrip()
        if line.startswith("#") or not line:
            continue
        if line.startswith("size "):
            size = int(line[5:])
            rows = []
            images.append((size, rows))
            continue
        if rows is None or len(line) != size or len(rows) == size:
            raise SystemExit(f"line {number}: expected a row of {size} pixels")
        for char in line:
            if char != TRANSPARENT and char not in INDEX:
                raise SystemExit(f"line {number}: unknown colour {char!r}")
        rows.append(line)
    for size, rows in images:
        if len(rows) != size:
            raise SystemExit(f"image of size {size} has {len(rows)} rows")
    return images


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def dib(size, rows):
    """BITMAPINFOHEADER, palette, colour rows and mask rows, bottom row first."""
    colour, mask = b"", b""
    for row in reversed(rows):
        nibbles = [0 if c == TRANSPARENT else INDEX[c] for c in row]
        colour += padded(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        bits = [1 if c == TRANSPARENT else 0 for c in row]
        mask += padded(bytes(
            sum(bits[i + j] << (7 - j) for j in range(8) if i + j < size)
            for i in range(0, size, 8)))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, r, g, b in PALETTE)
    return header + palette + colour + mask


def ico(images):
    bodies = [dib(size, rows) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _), body in zip(images, bodies):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(body), offset)
        offset += len(body)
    return out + b"".join(bodies)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    with open(sys.argv[1], encoding="ascii") as source:
        images = read_images(source.read())
    with open(sys.argv[2], "wb") as target:
        target.write(ico(images))


if __name__ == "__main__":
    main()
