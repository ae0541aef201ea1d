#!/usr/bin/env python3
"""Packs PNG images into one Windows .ico file: make-ico.py OUT.ico IMAGE.png...

Every image is stored as PNG, which Windows reads in icons since Vista (and Wine too); each PNG's
size is read from its header, so the caller only lists the files (16 to 256 pixels square).
"""
import os
import struct
import sys


def png_size(data, name):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit(f"make-ico: {name} is not a PNG image")
    width, height = struct.unpack(">II", data[16:24])
    if width != height or not 1 <= width <= 256:
        sys.exit(f"make-ico: {name} is {width}x{height}; an icon image is square, 1 to 256 pixels")
    return width


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: make-ico.py OUT.ico IMAGE.png...")
    images = []
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        images.append((png_size(data, name), data))
    images.sort(key=lambda image: image[0])
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, data in images:
        # 256 is written as 0 in the directory's one-byte width and height.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out = sys.argv[1]
    with open(out + ".tmp", "wb") as f:
        f.write(header + entries + b"".join(data for _, data in images))
    os.replace(out + ".tmp", out)


main()
