#!/usr/bin/env python3
"""Draws the program icon (an open carton with an arrow going into it) and
writes resources/mnicon.ico: one icon group with a 32x32 and a 16x16 image,
both 16 colours (4-bit BMP with an AND mask), the form the stub's MNICON
resource and every Windows version since 3.x understand.

The large picture is described as shapes in a 32-unit square and rasterised by
sampling pixel centres; the small one is the same drawing done by hand.
Output is byte-for-byte deterministic (no libraries, no time stamps).

    scripts/make-icon.py [output.ico] [--show]
"""
import os
import struct
import sys

# The standard 16-colour palette, as RGB.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, OLIVE, GRAY, YELLOW, GREEN, LIME = 0, 3, 8, 11, 2, 10

# Layers, back to front: (fill colour, outlined, polygon in 32-unit coordinates).
# The front face comes after the arrow so the arrow's tip disappears into the box.
SHAPES = [
    (OLIVE, True, [(9, 15), (23, 15), (21, 10), (11, 10)]),        # back flap
    (YELLOW, True, [(5, 19), (9, 15), (3, 11), (0, 15)]),          # left flap
    (YELLOW, True, [(27, 19), (23, 15), (29, 11), (32, 15)]),      # right flap
    (GRAY, False, [(5, 19), (27, 19), (23, 15), (9, 15)]),         # inside of the box
    (LIME, True, [(13, 0), (19, 0), (19, 9), (25, 9), (16, 19),    # the arrow
                  (7, 9), (13, 9)]),
    (OLIVE, True, [(5, 19), (27, 19), (27, 31), (5, 31)]),         # front face
    (YELLOW, False, [(7, 21), (25, 21), (25, 22), (7, 22)]),       # light on the rim
]


def inside(polygon, x, y):
    """Even-odd rule: is the point inside the polygon?"""
    result = False
    j = len(polygon) - 1
    for i in range(len(polygon)):
        xi, yi = polygon[i]
        xj, yj = polygon[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def render(size):
    """Returns rows (top first) of palette indexes, None where transparent."""
    scale = 32.0 / size
    image = [[None] * size for _ in range(size)]
    for colour, outlined, polygon in SHAPES:
        mask = [[inside(polygon, (x + 0.5) * scale, (y + 0.5) * scale) for x in range(size)]
                for y in range(size)]
        for y in range(size):
            for x in range(size):
                if not mask[y][x]:
                    continue
                edge = outlined and any(
                    not (0 <= y + dy < size and 0 <= x + dx < size and mask[y + dy][x + dx])
                    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                image[y][x] = BLACK if edge else colour
    # The drawing is symmetric; sampling exactly on a diagonal edge is not, so
    # the left half is mirrored onto the right.
    for row in image:
        row[size - size // 2:] = row[:size // 2][::-1]
    return image


# At 16 pixels a sampled drawing loses the arrow to its outlines, so the small
# image is drawn by hand (left half; mirrored like the large one).
SMALL_LEFT = [
    '......00', '......0A', '......0A', '......0A',
    '...0000A', '....0AAA', '.00.00AA', '0BB0880A',
    '.0BB0888', '..000000', '..0BBBBB', '..033333',
    '..033333', '..033333', '..000000', '........',
]


def small():
    rows = []
    for half in SMALL_LEFT:
        row = [None if c == '.' else int(c, 16) for c in half]
        rows.append(row + row[::-1])
    return rows


def dib(image):
    """The icon image as stored: BITMAPINFOHEADER (double height for the two
    masks), palette, 4-bit XOR bitmap, 1-bit AND mask, both bottom-up with rows
    padded to 32 bits."""
    size = len(image)
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(image):
        line = bytearray(xor_row)
        bits = bytearray(and_row)
        for x, pixel in enumerate(row):
            if pixel is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                pixel = 0
            line[x // 2] |= pixel << (4 if x % 2 == 0 else 0)
        xor += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def icon_file(sizes):
    images = [dib(render(size) if size > 16 else small()) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith('--')]
    here = os.path.dirname(os.path.abspath(__file__))
    target = args[0] if args else os.path.join(here, '..', 'resources', 'mnicon.ico')
    if '--show' in sys.argv:
        for size in (32, 16):
            for row in (render(size) if size > 16 else small()):
                print(''.join('.' if p is None else '0123456789ABCDEF'[p] for p in row))
            print()
    data = icon_file([32, 16])
    # The stub must never hold a ZIP record signature; the icon goes into it.
    for sig in (b'PK\x03\x04', b'PK\x01\x02', b'PK\x05\x06', b'PK\x07\x08'):
        if sig in data:
            sys.exit('icon data holds a ZIP signature')
    with open(target, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
