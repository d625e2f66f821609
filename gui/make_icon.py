#!/usr/bin/env python3
"""Draws the window icon VYN.ico (16, 32 and 48 pixels): a download arrow over a flash chip.

The same picture goes into PNGs from 16 to 256 pixels for the desktop's icon theme.
usage: make_icon.py [ico-path [png-folder]]
"""
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4


def inside_rounded(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


def colour_at(x, y):
    """RGBA of the point (x, y) in the unit square, y downwards."""
    if not inside_rounded(x, y, 0.03, 0.03, 0.97, 0.97, 0.2):
        return (0, 0, 0, 0)
    white = (248, 250, 255, 255)
    arrow = inside_rounded(x, y, 0.41, 0.12, 0.59, 0.42, 0.03) or inside_triangle(
        x, y, (0.22, 0.36), (0.78, 0.36), (0.5, 0.60))
    chip = inside_rounded(x, y, 0.18, 0.66, 0.82, 0.86, 0.05)
    slot = inside_rounded(x, y, 0.26, 0.73, 0.56, 0.79, 0.02)
    if (arrow or chip) and not slot:
        return white
    t = y
    return (int(58 - 30 * t), int(132 - 60 * t), int(230 - 70 * t), 255)


def render(size):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    r, g, b, a = colour_at((px + (sx + 0.5) / SUPERSAMPLE) / size,
                                           (py + (sy + 0.5) / SUPERSAMPLE) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] // (SUPERSAMPLE * SUPERSAMPLE)
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], alpha))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_entry(size):
    pixels = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    data = bytearray()
    for row in reversed(pixels):  # DIB rows run bottom-up
        for r, g, b, a in row:
            data += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    data += bytes(mask_row * size)  # AND mask unused: alpha decides
    return header + bytes(data)


def png(size):
    rows = b''.join(b'\0' + bytes(v for pixel in row for v in pixel) for row in render(size))

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data)))
    header = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header)
            + chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))


def write_pngs(folder):
    os.makedirs(folder, exist_ok=True)
    for size in (16, 32, 48, 64, 128, 256):
        with open(os.path.join(folder, 'packgui-%d.png' % size), 'wb') as f:
            f.write(png(size))


def write_ico(path):
    sizes = (16, 32, 48)
    entries = [bmp_entry(s) for s in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for size, entry in zip(sizes, entries):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(entry), offset)
        offset += len(entry)
    for entry in entries:
        out += entry
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    write_ico(sys.argv[1] if len(sys.argv) > 1 else 'VYN.ico')
    write_pngs(sys.argv[2] if len(sys.argv) > 2 else 'icons')
