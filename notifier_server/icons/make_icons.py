#!/usr/bin/env python3
"""Writes the notifier server's two class icons: a relay mark (a dark blue
disc with a light ring), 32x32 for the large icon and 16x16 for the small one.
Run it from this folder; the .ico files it writes are committed beside it."""
import struct


def pixels(size):
    """Rows bottom-up, BGRA, as an icon's bitmap stores them."""
    centre = (size - 1) / 2.0
    outer, ring = size / 2.0 - 0.5, size / 2.0 - 0.5 - max(1.0, size / 10.0)
    rows = []
    for y in range(size - 1, -1, -1):
        row = b""
        for x in range(size):
            distance = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
            if distance > outer:
                row += bytes((0, 0, 0, 0))
            elif distance > ring:
                row += bytes((235, 215, 180, 255))
            else:
                row += bytes((120, 50, 20, 255))
        rows.append(row)
    return b"".join(rows)


def icon(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    image = header + pixels(size) + bytes(mask_row * size)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


for name, size in (("server_large.ico", 32), ("server_small.ico", 16)):
    with open(name, "wb") as out:
        out.write(icon(size))
