#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program icon, a feedback module on a bus: a circuit board with a row of eight S88
contact terminals, a chip and a lamp, hanging off a bus cable. Writes the 32 x 32, 16-colour
picture (src/app/Sentrax.xpm, and as PNG for the desktop's icon theme,
packaging/sentrax-configurator.png) and the same drawing as scalable SVG
(packaging/sentrax-configurator.svg). Run from the project root.
"""
import os
import struct
import zlib

SIZE = 32
OUT = os.path.join("src", "app")

COLOURS = {
    "board": (0x2E, 0x8B, 0x3E),
    "board_edge": (0x17, 0x52, 0x22),
    "terminal": (0xC8, 0xC8, 0xC8),
    "screw": (0x40, 0x40, 0x40),
    "chip": (0x20, 0x20, 0x20),
    "pin": (0xA0, 0xA0, 0xA0),
    "lamp": (0xFF, 0x30, 0x20),
    "track": (0xD8, 0xB0, 0x40),
    "stub": (0x30, 0x30, 0x30),
    "bus": (0x20, 0x50, 0xA8),
    "bus_light": (0x60, 0x90, 0xE0),
    "plug": (0xE0, 0xE0, 0xE0),
}

# Shapes as (colour, x, y, width, height), painted in order.
SHAPES = [
    ("bus", 1, 25, 30, 4),
    ("bus_light", 1, 25, 30, 1),
    ("plug", 0, 24, 3, 6),
    ("plug", 29, 24, 3, 6),
    ("stub", 15, 20, 2, 6),
    ("board_edge", 4, 5, 24, 17),
    ("board", 5, 6, 22, 15),
    ("track", 7, 17, 8, 1),
    ("track", 18, 17, 4, 1),
    ("chip", 11, 9, 10, 6),
    ("lamp", 23, 17, 2, 2),
]
for i in range(8):
    SHAPES.append(("terminal", 5 + i * 3, 2, 2, 4))
    SHAPES.append(("screw", 5 + i * 3, 3, 2, 1))
for i in range(4):
    SHAPES.append(("pin", 12 + i * 2, 8, 1, 1))
    SHAPES.append(("pin", 12 + i * 2, 15, 1, 1))


def raster():
    pixels = [[None] * SIZE for _ in range(SIZE)]
    for colour, x, y, w, h in SHAPES:
        for yy in range(y, min(SIZE, y + h)):
            for xx in range(x, min(SIZE, x + w)):
                pixels[yy][xx] = colour
    return pixels


def write_xpm(pixels):
    used = [c for c in COLOURS if any(c in row for row in pixels)]
    assert len(used) < 16
    keys = "abcdefghijklmnop"
    code = {c: keys[i] for i, c in enumerate(used)}
    lines = [f'"{SIZE} {SIZE} {len(used) + 1} 1",', '"  c None",']
    for c in used:
        r, g, b = COLOURS[c]
        lines.append(f'"{code[c]} c #{r:02X}{g:02X}{b:02X}",')
    for i, row in enumerate(pixels):
        text = "".join(" " if p is None else code[p] for p in row)
        lines.append(f'"{text}"' + ("," if i < SIZE - 1 else ""))
    body = "\n".join(lines)
    with open(os.path.join(OUT, "Sentrax.xpm"), "w") as f:
        f.write(f"/* XPM */\nstatic const char *Sentrax[] = {{\n{body}\n}};\n")


def write_svg():
    parts = []
    for colour, x, y, w, h in SHAPES:
        r, g, b = COLOURS[colour]
        parts.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" fill="#{r:02X}{g:02X}{b:02X}"/>')
    body = "\n".join(parts)
    with open(os.path.join("packaging", "sentrax-configurator.svg"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32"'
                ' shape-rendering="crispEdges">\n'
                '  <title>Sentrax Configurator</title>\n'
                f"{body}\n</svg>\n")


def write_png(pixels):
    rows = b""
    for row in pixels:
        rows += b"\x00" + b"".join(bytes(COLOURS[p]) + b"\xff" if p else b"\x00\x00\x00\x00" for p in row)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    with open(os.path.join("packaging", "sentrax-configurator.png"), "wb") as f:
        f.write(png)


if __name__ == "__main__":
    os.makedirs("packaging", exist_ok=True)
    write_xpm(raster())
    write_png(raster())
    write_svg()
