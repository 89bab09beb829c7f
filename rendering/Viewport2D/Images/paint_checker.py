#!/usr/bin/env python3
"""Paints Checker.png, the 2D view's background tile: 16 x 16 RGBA pixels in four 8 x 8 squares,
light grey where the row and column halves agree, white elsewhere. Run it here to rebuild the file."""
import os
import struct
import zlib

GREY = (0xCC, 0xCC, 0xCC, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
SIZE = 16


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def checker_rows():
    for y in range(SIZE):
        row = bytearray([0])  # filter type: none
        for x in range(SIZE):
            row += bytes(GREY if (x < 8) == (y < 8) else WHITE)
        yield bytes(row)


def main():
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
    png += chunk(b"IDAT", zlib.compress(b"".join(checker_rows()), 9)) + chunk(b"IEND", b"")
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "Checker.png"), "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main()
