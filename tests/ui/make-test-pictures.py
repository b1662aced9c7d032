#!/usr/bin/env python3
"""Writes the solid test pictures used by the picture builder's tests: fully
opaque red rectangles at the source sizes of the program's pictures, so that
where the builder puts them can be read off exactly."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def solid_png(w, h, rgba):
    row = b"\0" + bytes(rgba) * w
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(row * h, 9)) + chunk(b"IEND", b"")


for name, (w, h) in {"solid-133x133": (133, 133), "solid-139x138": (139, 138),
                     "solid-124x120": (124, 120), "solid-141x128": (141, 128)}.items():
    with open(os.path.join(HERE, "pictures", name + ".png"), "wb") as f:
        f.write(solid_png(w, h, (255, 0, 0, 255)))
