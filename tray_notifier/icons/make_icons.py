#!/usr/bin/env python3
"""Draws the tray notifier's icons and writes them as .ico files.

    make_icons.py OUTPUT_DIRECTORY

Every image is 32-bit colour with an alpha channel. Shapes are described as
distance functions in a unit square (0..1, y downwards) and drawn with 4 x 4
samples per pixel, so the small sizes keep smooth edges.
"""
import math
import os
import struct
import sys

SAMPLES = 4


def disc(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) <= r


def rounded_box(x0, y0, x1, y1, r):
    def inside(x, y):
        qx = max(x0 + r - x, 0.0, x - (x1 - r))
        qy = max(y0 + r - y, 0.0, y - (y1 - r))
        return x0 <= x <= x1 and y0 <= y <= y1 and math.hypot(qx, qy) <= r
    return inside


def polygon(points):
    def inside(x, y):
        crossings = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                crossings = not crossings
            j = i
        return crossings
    return inside


def segment(ax, ay, bx, by, half_width):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= half_width
    return inside


def union(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


def shrunk_triangle(inset):
    top, left, right = (0.5, 0.06), (0.02, 0.94), (0.98, 0.94)
    cx, cy = 0.5, 0.66
    return [(cx + (px - cx) * (1 - inset), cy + (py - cy) * (1 - inset)) for px, py in (top, left, right)]


# Each icon: a list of (colour RGBA, shape) layers, painted in order.
WARNING_LAYERS = [
    ((138, 98, 0, 255), polygon(shrunk_triangle(0.0))),
    ((255, 204, 0, 255), polygon(shrunk_triangle(0.14))),
    ((24, 24, 24, 255), segment(0.5, 0.36, 0.5, 0.64, 0.075)),
    ((24, 24, 24, 255), disc(0.5, 0.80, 0.08)),
]

ERROR_LAYERS = [
    ((150, 0, 0, 255), disc(0.5, 0.5, 0.48)),
    ((220, 30, 30, 255), disc(0.5, 0.5, 0.42)),
    ((255, 255, 255, 255), union(segment(0.31, 0.31, 0.69, 0.69, 0.08),
                                 segment(0.69, 0.31, 0.31, 0.69, 0.08))),
]

BUBBLE_OUTLINE = union(rounded_box(0.04, 0.06, 0.96, 0.76, 0.16),
                       polygon([(0.22, 0.70), (0.46, 0.70), (0.16, 0.97)]))
BUBBLE_FILL = union(rounded_box(0.09, 0.11, 0.91, 0.71, 0.12),
                    polygon([(0.27, 0.66), (0.40, 0.66), (0.22, 0.86)]))

INFORMATION_LAYERS = [
    ((74, 120, 190, 255), BUBBLE_OUTLINE),
    ((228, 240, 255, 255), BUBBLE_FILL),
    ((20, 80, 200, 255), disc(0.5, 0.24, 0.075)),
    ((20, 80, 200, 255), segment(0.5, 0.38, 0.5, 0.60, 0.07)),
]

# The program's own mark: a stack of drives with a notice light.
NOTIFIER_LAYERS = [
    ((43, 79, 138, 255), rounded_box(0.04, 0.04, 0.96, 0.96, 0.18)),
    ((255, 255, 255, 255), rounded_box(0.18, 0.22, 0.70, 0.36, 0.05)),
    ((255, 255, 255, 255), rounded_box(0.18, 0.44, 0.70, 0.58, 0.05)),
    ((255, 255, 255, 255), rounded_box(0.18, 0.66, 0.70, 0.80, 0.05)),
    ((255, 204, 0, 255), disc(0.80, 0.29, 0.08)),
]

ICONS = {
    "warning.ico": (WARNING_LAYERS, [16]),
    "error.ico": (ERROR_LAYERS, [16]),
    "information.ico": (INFORMATION_LAYERS, [48, 32, 16]),
    "notifier_large.ico": (NOTIFIER_LAYERS, [48, 32]),
    "notifier_small.ico": (NOTIFIER_LAYERS, [16]),
}


def over(top, bottom):
    """Porter-Duff 'over' of two straight-alpha RGBA colours in 0..1."""
    ta, ba = top[3], bottom[3]
    a = ta + ba * (1 - ta)
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = [(top[i] * ta + bottom[i] * ba * (1 - ta)) / a for i in range(3)]
    return (rgb[0], rgb[1], rgb[2], a)


def render(layers, size):
    """Rows of (r, g, b, a) bytes, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            pixel = (0.0, 0.0, 0.0, 0.0)
            for colour, shape in layers:
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        x = (px + (sx + 0.5) / SAMPLES) / size
                        y = (py + (sy + 0.5) / SAMPLES) / size
                        hits += shape(x, y)
                if hits:
                    coverage = hits / (SAMPLES * SAMPLES)
                    paint = tuple(c / 255 for c in colour[:3]) + (colour[3] / 255 * coverage,)
                    pixel = over(paint, pixel)
            row.append(tuple(int(round(c * 255)) for c in pixel))
        rows.append(row)
    return rows


def icon_image(rows):
    """One image of an .ico file: header, bottom-up BGRA pixels, AND mask."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def ico_file(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = bytearray()
    data = bytearray()
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                               len(image), offset + len(data))
        data += image
    return directory + entries + data


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icons.py OUTPUT_DIRECTORY")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (layers, sizes) in ICONS.items():
        images = [(size, icon_image(render(layers, size))) for size in sizes]
        with open(os.path.join(out, name), "wb") as f:
            f.write(ico_file(images))


if __name__ == "__main__":
    main()
