#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the signal-LED pictures: 15 x 15, at most 16 colours, as XPM text.

One lit and one dark lamp per colour, and a light bulb. Run from the project root; it rewrites
src/serialui/leds/*.xpm.
"""
import math
import os

SIZE = 15
OUT = os.path.join("src", "serialui", "leds")

# base colour of each lamp: (lit, dark)
LAMPS = {
    "RED": ((0xFF, 0x30, 0x20), (0x70, 0x18, 0x14)),
    "GREEN": ((0x30, 0xE8, 0x30), (0x14, 0x60, 0x18)),
    "BLUE": ((0x38, 0x70, 0xFF), (0x18, 0x28, 0x70)),
    "YELLOW": ((0xFF, 0xE0, 0x20), (0x70, 0x64, 0x14)),
    "PURPLE": ((0xD0, 0x40, 0xF0), (0x58, 0x1C, 0x68)),
}


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def xpm(name, pixels):
    """pixels: rows of colour tuples, or None for transparent."""
    palette = {}
    for row in pixels:
        for p in row:
            if p is not None and p not in palette:
                palette[p] = None
    assert len(palette) <= 15, f"{name}: {len(palette)} colours"
    keys = "abcdefghijklmnop"
    codes = {p: keys[i] for i, p in enumerate(palette)}
    lines = [f'"{SIZE} {SIZE} {len(palette) + 1} 1",', '"  c None",']
    for p, c in codes.items():
        lines.append(f'"{c} c #{p[0]:02X}{p[1]:02X}{p[2]:02X}",')
    for i, row in enumerate(pixels):
        text = "".join(" " if p is None else codes[p] for p in row)
        lines.append(f'"{text}"' + ("," if i < SIZE - 1 else ""))
    body = "\n".join(lines)
    return f"/* XPM */\nstatic const char *{name}[] = {{\n{body}\n}};\n"


def lamp(base, lit):
    rim = mix(base, (0, 0, 0), 0.55)
    shine = mix(base, (255, 255, 255), 0.75 if lit else 0.35)
    pixels = []
    cx = cy = 7.0
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            d = math.hypot(x - cx, y - cy)
            if d > 6.8:
                row.append(None)
            elif d > 5.9:
                row.append(rim)
            else:
                # light falls from the upper left; quantised to a few shades
                h = math.hypot(x - 5.0, y - 5.0) / 8.5
                shade = min(3, int(h * 4))
                row.append(mix(shine, base, [0.0, 0.45, 0.8, 1.0][shade]) if shade else shine)
        pixels.append(row)
    if lit:
        pixels[4][4] = pixels[4][5] = pixels[5][4] = (255, 255, 255)
    return pixels


def bulb(lit):
    glass = (0xFF, 0xF0, 0x80) if lit else (0x80, 0x80, 0x78)
    glow = (0xFF, 0xFF, 0xE0) if lit else (0xA8, 0xA8, 0xA0)
    outline = (0x60, 0x58, 0x30) if lit else (0x40, 0x40, 0x40)
    metal = (0x90, 0x90, 0x98)
    dark_metal = (0x50, 0x50, 0x58)
    filament = (0xC0, 0x60, 0x00) if lit else (0x50, 0x50, 0x50)
    pixels = [[None] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            if y <= 9:
                d = math.hypot(x - 7.0, y - 5.0)
                if d <= 5.0:
                    pixels[y][x] = outline if d > 4.1 else (glow if d < 2.2 else glass)
    for y in (10, 11):
        for x in range(5, 10):
            pixels[y][x] = outline if x in (5, 9) else glass
    for y in (12, 13):
        for x in range(5, 10):
            pixels[y][x] = metal if (x + y) % 2 else dark_metal
    for x in range(6, 9):
        pixels[14][x] = dark_metal
    for y in range(4, 8):
        pixels[y][7] = filament
    pixels[4][6] = pixels[4][8] = filament
    return pixels


def main():
    os.makedirs(OUT, exist_ok=True)
    pictures = {}
    for colour, (lit, dark) in LAMPS.items():
        pictures[f"LED{colour}ON"] = lamp(lit, True)
        pictures[f"LED{colour}OFF"] = lamp(dark, False)
    pictures["LEDBULBON"] = bulb(True)
    pictures["LEDBULBOFF"] = bulb(False)
    for name, pixels in pictures.items():
        with open(os.path.join(OUT, name + ".xpm"), "w") as f:
            f.write(xpm(name, pixels))


if __name__ == "__main__":
    main()
