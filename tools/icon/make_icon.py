#!/usr/bin/env python3
"""Draws the program's icon: a 32 x 32, 16-colour image of an airliner seen from above,
crossing a dark-blue disc with a light replay arc. Writes src/app/ostavin.ico.

    python3 tools/icon/make_icon.py
"""
import math
import os
import struct

SIZE = 32
# The standard 16-colour VGA palette (blue, green, red, reserved).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
    (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
DISC, ARC, PLANE, OUTLINE = 1, 11, 15, 8  # dark blue, yellow, white, grey


def inside_plane(x, y):
    """An airliner pointing up-right: fuselage, swept wings, tailplane."""
    # Rotate the point into the aircraft's frame (nose along -v).
    a = math.radians(-45)
    cx, cy = x - 15.5, y - 15.5
    u = cx * math.cos(a) - cy * math.sin(a)
    v = cx * math.sin(a) + cy * math.cos(a)
    fuselage = abs(u) <= 1.6 and -12 <= v <= 11
    wing = -3 <= v <= 3 + abs(u) * 0.5 and abs(u) <= 11 and v >= -3 + abs(u) * 0.35
    tail = 7 + abs(u) * 0.4 <= v <= 10 and abs(u) <= 5
    return fuselage or wing or tail


def pixel(x, y):
    r = math.hypot(x - 15.5, y - 15.5)
    if inside_plane(x, y):
        return PLANE
    if r > 15.5:
        return None  # transparent
    if 12.5 <= r <= 14 and y > 15.5:
        return ARC
    if r > 14.8:
        return OUTLINE
    return DISC


def icon_bytes():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up
        row = [c if c is not None else 0 for c in rows[y]]
        for x in range(0, SIZE, 2):
            xor.append((row[x] << 4) | row[x + 1])
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if rows[y][x] is None else 0)
        mask += bits.to_bytes(4, 'big')
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(here, '..', '..', 'src', 'app', 'ostavin.ico')
    with open(target, 'wb') as f:
        f.write(icon_bytes())
