#!/usr/bin/env python3
"""Draws the updater's icon and writes it as a multi-size .ico file.

    tools/make_icon.py OUT.ico [--sizes 16,24,32,48,256]
                       [--top RRGGBB] [--bottom RRGGBB] [--mark RRGGBB]

The picture: a rounded square shaded from --top to --bottom, and on it an
arrow pointing down onto a bar, in --mark. Sizes up to 128 are stored as
32-bit bitmaps with an AND mask; 256 as PNG. The output depends on nothing
but the arguments, so the committed src/resources/updater.ico is rebuilt
byte for byte with the defaults. The resource checks draw a second icon with
other colours and sizes to build a branded executable.
"""

import argparse
import struct
import sys
import zlib

SUPERSAMPLE = 4  # samples per pixel along each axis


def parse_colour(text):
    text = text.lstrip('#')
    if len(text) != 6:
        raise argparse.ArgumentTypeError('colour must be RRGGBB: ' + text)
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def in_rounded_square(x, y, lo, hi, radius):
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_mark(x, y):
    """The arrow and the bar, in units of the icon's side (y grows down)."""
    if 0.43 <= x <= 0.57 and 0.17 <= y <= 0.50:        # shaft
        return True
    if 0.46 <= y <= 0.70:                               # head
        half = 0.25 * (0.70 - y) / 0.24
        if abs(x - 0.5) <= half:
            return True
    return 0.24 <= x <= 0.76 and 0.76 <= y <= 0.84      # bar


def render(size, top, bottom, mark):
    """Rows of (r, g, b, a) tuples, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            fill = inked = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if in_rounded_square(x, y, 0.06, 0.94, 0.18):
                        fill += 1
                        if in_mark(x, y):
                            inked += 1
            if fill == 0:
                row.append((0, 0, 0, 0))
                continue
            t = (py + 0.5) / size
            base = [round(a + (b - a) * t) for a, b in zip(top, bottom)]
            share = inked / fill
            colour = [round(b + (m - b) * share) for b, m in zip(base, mark)]
            row.append((*colour, round(255 * fill / (n * n))))
        rows.append(row)
    return rows


def bitmap_image(size, rows):
    """A 32-bit BITMAPINFOHEADER image with its AND mask, as .ico stores it."""
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def png_image(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack(
            '>I', zlib.crc32(body) & 0xffffffff)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for pixel in row:
            raw += bytes(pixel)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


def make_icon(sizes, top, bottom, mark):
    images = []
    for size in sizes:
        rows = render(size, top, bottom, mark)
        images.append(png_image(size, rows) if size > 128
                      else bitmap_image(size, rows))
    out = bytearray(struct.pack('<HHH', 0, 1, len(sizes)))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        side = 0 if size == 256 else size
        out += struct.pack('<BBBBHHII', side, side, 0, 0, 1, 32,
                           len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('out')
    parser.add_argument('--sizes', default='16,24,32,48,256')
    parser.add_argument('--top', type=parse_colour, default='2f7fd0')
    parser.add_argument('--bottom', type=parse_colour, default='174a8c')
    parser.add_argument('--mark', type=parse_colour, default='ffffff')
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(',')]
    if any(s < 1 or s > 256 for s in sizes) or len(set(sizes)) != len(sizes):
        parser.error('sizes must be distinct, from 1 to 256')
    with open(args.out, 'wb') as f:
        f.write(make_icon(sizes, args.top, args.bottom, args.mark))
    return 0


if __name__ == '__main__':
    sys.exit(main())
