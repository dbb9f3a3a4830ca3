#!/usr/bin/env python3
"""Draws the program's icon: a 16 x 16 PNG and an SVG of the same pixels.

A sheet cut in two along a dashed line, the lower half shifted aside."""
import struct
import sys
import zlib
from pathlib import Path

PIXELS = [
    "................",
    "..kkkkkkkk......",
    "..kwwwwwwkk.....",
    "..kwllllwwkk....",
    "..kwwwwwwwwk....",
    "..kwllllllwk....",
    "..kwwwwwwwwk....",
    "..kkkkkkkkkk....",
    ".o.o.o.o.o.o.o..",
    "....kkkkkkkkkk..",
    "....kwwwwwwwwk..",
    "....kwllllllwk..",
    "....kwwwwwwwwk..",
    "....kwllllllwk..",
    "....kwwwwwwwwk..",
    "....kkkkkkkkkk..",
]
COLOURS = {
    "k": (0x3A, 0x2A, 0x1A, 255),
    "w": (0xFF, 0xFF, 0xFF, 255),
    "l": (0xFF, 0xC0, 0x80, 255),
    "o": (0xE0, 0x60, 0x00, 255),
    ".": (0, 0, 0, 0),
}


def png(path: Path) -> None:
    raw = b"".join(b"\0" + b"".join(bytes(COLOURS[c]) for c in row) for row in PIXELS)

    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                     + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg(path: Path) -> None:
    rects = []
    for y, row in enumerate(PIXELS):
        x = 0
        while x < 16:
            c = row[x]
            run = 1
            while x + run < 16 and row[x + run] == c:
                run += 1
            if c != ".":
                r, g, b, _ = COLOURS[c]
                rects.append(f'  <rect x="{x}" y="{y}" width="{run}" height="1" fill="#{r:02x}{g:02x}{b:02x}"/>')
            x += run
    path.write_text('<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 16 16"'
                    ' shape-rendering="crispEdges">\n' + "\n".join(rects) + "\n</svg>\n")


if __name__ == "__main__":
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "data/icons")
    png(out / "org.quarb.FileSplitter.png")
    svg(out / "org.quarb.FileSplitter.svg")
