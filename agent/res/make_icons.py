#!/usr/bin/env python3
"""Draws Quillmere's two icons and writes them as .ico files (no outside images).

    python3 make_icons.py [output-folder]

Quillmere.ico (resource 128): 24x24 at 8 and 32 bits.
panel.ico (resource 131): 16, 24, 32 and 48 pixels at 4, 8 and 32 bits.
The picture: a blue token with a white quill crossing it and a gold seal.
"""
import math
import os
import struct
import sys

SUPERSAMPLE = 4


def blend(under, over):
    a = over[3] / 255.0
    out_a = a + under[3] / 255.0 * (1 - a)
    if out_a == 0:
        return (0, 0, 0, 0)
    rgb = tuple((over[i] * a + under[i] * under[3] / 255.0 * (1 - a)) / out_a for i in range(3))
    return (rgb[0], rgb[1], rgb[2], out_a * 255)


def in_rounded_square(x, y):
    # unit coordinates 0..1; a square with rounded corners
    m, r = 0.06, 0.2
    if x < m or x > 1 - m or y < m or y > 1 - m:
        return False
    cx = min(max(x, m + r), 1 - m - r)
    cy = min(max(y, m + r), 1 - m - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy)), t


def sample(x, y):
    colour = (0, 0, 0, 0)
    if in_rounded_square(x, y):
        shade = 0.85 + 0.15 * (1 - y)
        colour = (30 * shade, 90 * shade, 170 * shade, 255)
    # the quill: a feather widening towards its top right, then a thin shaft
    d, t = segment_distance(x, y, 0.2, 0.85, 0.82, 0.16)
    width = 0.025 + 0.11 * max(0.0, t - 0.35)
    if d <= width:
        colour = blend(colour, (250, 250, 245, 255))
    # the seal
    if math.hypot(x - 0.7, y - 0.7) <= 0.17:
        colour = blend(colour, (235, 180, 40, 255))
        if math.hypot(x - 0.7, y - 0.7) <= 0.08:
            colour = blend(colour, (200, 120, 20, 255))
    return colour


def draw(size):
    pixels = []
    n = SUPERSAMPLE
    for row in range(size):
        line = []
        for col in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    c = sample((col + (sx + 0.5) / n) / size, (row + (sy + 0.5) / n) / size)
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            if acc[3] == 0:
                line.append((0, 0, 0, 0))
            else:
                line.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)) + (int(round(acc[3] * 255 / (n * n))),))
        pixels.append(line)
    return pixels


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
         (0, 255, 255), (255, 255, 255)]
CUBE = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
PALETTE256 = CUBE + [(i * 255 // 39, i * 255 // 39, i * 255 // 39) for i in range(40)]


def nearest(palette, rgb):
    return min(range(len(palette)), key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def and_mask(pixels, size):
    out = b""
    for row in reversed(pixels):
        data = bytearray(row_bytes(size))
        for col, p in enumerate(row):
            if p[3] < 128:
                data[col // 8] |= 0x80 >> (col % 8)
        out += bytes(data)
    return out


def dib(pixels, size, bpp):
    palette = {4: VGA16, 8: PALETTE256}.get(bpp, [])
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, len(palette), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    image = b""
    for row in reversed(pixels):
        if bpp == 32:
            data = b"".join(struct.pack("<BBBB", p[2], p[1], p[0], p[3]) for p in row)
        else:
            indexes = [nearest(palette, p[:3]) if p[3] >= 128 else 0 for p in row]
            data = bytearray(row_bytes(size * bpp))
            for col, ix in enumerate(indexes):
                if bpp == 8:
                    data[col] = ix
                else:
                    data[col // 2] |= ix << (4 if col % 2 == 0 else 0)
            data = bytes(data)
        image += data.ljust(row_bytes(size * bpp), b"\0")
    return header + colours + image + and_mask(pixels, size)


def write_ico(path, entries):
    images = []
    drawn = {}
    for size, bpp in entries:
        if size not in drawn:
            drawn[size] = draw(size)
        images.append((size, bpp, dib(drawn[size], size, bpp)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        colours = {4: 16}.get(bpp, 0)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(folder, "Quillmere.ico"), [(24, 8), (24, 32)])
    write_ico(os.path.join(folder, "panel.ico"), [(s, b) for s in (16, 24, 32, 48) for b in (4, 8, 32)])


if __name__ == "__main__":
    main()
