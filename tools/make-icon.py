#!/usr/bin/env python3
"""Draws the program's icon, a clock face, at 16, 32 and 48 pixels, and
writes it as a Windows .ico file (32-bit images with alpha)."""
import math
import struct
import sys

RIM = (40, 60, 120)
FACE = (250, 248, 235)
MARK = (40, 40, 40)
HAND = (20, 20, 20)
SECOND = (200, 30, 30)


def draw(size):
    """Returns rows of (r, g, b, a) from top to bottom."""
    centre = (size - 1) / 2.0
    radius = size / 2.0 - 0.5
    rim = max(1.0, size / 12.0)
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def near_segment(x, y, angle, length, width):
        # Distance from the point to a hand drawn from the centre.
        dx, dy = math.sin(angle), -math.cos(angle)
        px, py = x - centre, y - centre
        along = px * dx + py * dy
        if along < -width or along > length:
            return False
        return abs(px * dy - py * dx) <= width

    for y in range(size):
        for x in range(size):
            d = math.hypot(x - centre, y - centre)
            if d > radius:
                continue
            colour = RIM if d > radius - rim else FACE
            if colour == FACE:
                for hour in range(12):
                    a = hour * math.pi / 6
                    mx, my = centre + math.sin(a) * (radius - rim * 2), centre - math.cos(a) * (radius - rim * 2)
                    if math.hypot(x - mx, y - my) <= max(0.6, size / 40.0) * (1.6 if hour % 3 == 0 else 1):
                        colour = MARK
                # Ten past ten, the clock-maker's favourite.
                if near_segment(x, y, math.radians(305), radius * 0.5, max(0.6, size / 22.0)):
                    colour = HAND
                if near_segment(x, y, math.radians(60), radius * 0.75, max(0.5, size / 30.0)):
                    colour = HAND
                if size >= 32 and near_segment(x, y, math.radians(180), radius * 0.8, 0.5):
                    colour = SECOND
            pixels[y][x] = colour + (255,)
    return pixels


def bitmap(size):
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # alpha carries the shape
    return header + body + mask


def main(path):
    sizes = [16, 32, 48]
    images = [bitmap(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "marivel.ico")
