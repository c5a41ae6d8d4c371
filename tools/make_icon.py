#!/usr/bin/env python3
"""Draws the application icon (three progress bars on a panel) as a 16-colour .ico with a
32x32 and a 16x16 image. Run it to regenerate dialog_shell/res/app.ico."""
import struct
import sys

# The standard 16-colour palette, as (R, G, B).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, SILVER, LIME, GREEN, WHITE, YELLOW = 0, 4, 8, 7, 10, 2, 15, 11


def draw(size):
    """Returns rows (top first) of palette indices, None for transparent pixels."""
    px = [[None] * size for _ in range(size)]
    s = size / 32.0

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(1, 2, 31, 30, BLACK)      # panel outline
    rect(2, 3, 30, 29, NAVY)       # panel
    rect(2, 3, 30, 6, GREY)        # title strip
    for i, fill in enumerate((24, 15, 7)):
        y = 9 + i * 7
        rect(5, y, 27, y + 5, BLACK)         # bar frame
        rect(6, y + 1, 26, y + 4, WHITE)     # empty bar
        rect(6, y + 1, 6 + fill * 20 / 26, y + 4, LIME)  # progress
    rect(24, 3, 29, 6, YELLOW)      # a spark: the thread of its own
    return px


def image(size):
    px = draw(size)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            value = 0 if c is None else c
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main(path):
    images = [image(32), image(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'dialog_shell/res/app.ico')
