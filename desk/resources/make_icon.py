#!/usr/bin/env python3
"""Writes KorvaleDesk's icon in 16, 24, 32, 48 and 256 pixels, 32-bit colour: a list of rows on a
sheet, each row led by a result disc (green, grey, red), drawn by geometry so every size is sharp.
Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

SIZES = [16, 24, 32, 48, 256]
PAPER, EDGE, LINE = (255, 255, 255), (90, 90, 90), (120, 120, 140)
DISCS = [(0, 150, 60), (150, 150, 150), (215, 40, 30), (0, 150, 60)]


def pixels(size):
    """Rows top-down of (r, g, b, a), drawn on a 64-unit grid scaled to `size`."""
    unit = size / 64.0
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            u, v = (x + 0.5) / unit, (y + 0.5) / unit
            colour = None
            if 6 <= u <= 58 and 4 <= v <= 60:
                edge = u < 9 or u > 55 or v < 7 or v > 57
                colour = EDGE if edge else PAPER
                for i, disc in enumerate(DISCS):
                    cy = 16 + i * 11
                    if (u - 17) ** 2 + (v - cy) ** 2 <= 16:
                        colour = disc
                    elif 25 <= u <= 50 and abs(v - cy) <= 1.6:
                        colour = LINE
            row.append((0, 0, 0, 0) if colour is None else colour + (255,))
        out.append(row)
    return out


def png(size):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels(size))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def bmp(size):
    """A DIB entry: BGRA bottom-up, then an all-zero AND mask (the alpha channel rules)."""
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(c for r, g, b, a in row for c in (b, g, r, a)) for row in reversed(rows))
    mask = bytes(((size + 31) // 32) * 4 * size)
    return header + xor + mask


def main(path):
    images = [png(s) if s == 256 else bmp(s) for s in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(data + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
