#!/usr/bin/env python3
"""Packs square PNG pictures into one Windows icon file: png_to_ico.py OUT.ico IN.png...

Windows Vista and later read PNG data inside an .ico as it is, so each picture goes in unchanged; only the
directory before them is written. Sizes above 256 pixels cannot be named in an icon's directory and are refused.
"""

import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_size(data, name):
    if data[:8] != PNG_SIGNATURE or data[12:16] != b"IHDR":
        raise SystemExit(f"png_to_ico: {name} is not a PNG picture")
    width, height = struct.unpack(">II", data[16:24])
    if width != height or not 1 <= width <= 256:
        raise SystemExit(f"png_to_ico: {name} is {width} x {height}; an icon takes squares of at most 256")
    return width


def main(argv):
    if len(argv) < 3:
        raise SystemExit("usage: png_to_ico.py OUT.ico IN.png...")
    pictures = []
    for name in argv[2:]:
        with open(name, "rb") as f:
            data = f.read()
        pictures.append((png_size(data, name), data))
    pictures.sort(key=lambda picture: picture[0])

    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    directory = b""
    for size, data in pictures:
        # A size of 256 is written as 0; 32 bits per pixel, one plane.
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(argv[1], "wb") as f:
        f.write(header + directory + b"".join(data for _, data in pictures))


if __name__ == "__main__":
    main(sys.argv)
