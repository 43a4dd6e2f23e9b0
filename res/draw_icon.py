#!/usr/bin/env python3
"""Draws liaison.ico: a calculator with its link cable, at 16, 32 and 48 pixels."""
import struct
import sys

BODY, EDGE, SCREEN, INK, KEY, CABLE, PLUG = (
    (60, 64, 72), (20, 22, 26), (170, 200, 150), (40, 60, 40), (220, 220, 225), (230, 120, 20),
    (120, 120, 130))


def draw(n):
    """Returns n*n RGBA pixels, top row first, drawn on a 32-unit grid."""
    px = [[None] * n for _ in range(n)]

    def rect(x0, y0, x1, y1, colour):
        s = n / 32.0
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < n and 0 <= y < n:
                    px[y][x] = colour

    rect(3, 2, 21, 31, EDGE)          # the calculator
    rect(4, 3, 20, 30, BODY)
    rect(6, 5, 18, 12, SCREEN)        # its screen, with a line of text
    rect(7, 8, 15, 9, INK)
    for row in range(4):              # keys
        for col in range(3):
            rect(6 + col * 4.5, 15 + row * 3.6, 8.5 + col * 4.5, 17 + row * 3.6, KEY)
    rect(11, 0, 13, 3, PLUG)          # the jack on top, and the cable to the PC
    rect(12, 0, 27, 1.6, CABLE)
    rect(26, 0, 27.6, 20, CABLE)
    rect(24, 20, 30, 26, PLUG)
    return [[(c + (255,)) if c else (0, 0, 0, 0) for c in row] for row in px]


def dib(n):
    rows = draw(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = (n + 31) // 32 * 4
    mask = bytes(mask_row * n)  # the alpha channel does the masking
    return header + colour + mask


def main(path):
    sizes = (16, 32, 48)
    images = [dib(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'liaison.ico')
