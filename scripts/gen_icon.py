#!/usr/bin/env python3
"""Draws the application icon (a pressure gauge dial).

    python3 scripts/gen_icon.py resources/tesmar.png        # the window icon, 128 x 128
    python3 scripts/gen_icon.py OUT.png SIZE                 # one size
    python3 scripts/gen_icon.py --desktop resources/icons    # the desktop sizes but 128

Every size is drawn from the same dial, not scaled from another size, so that
small icons stay sharp.
"""
import math
import struct
import sys
import zlib

SIZE = 128
SS = 4  # supersampling per axis
# Icon theme sizes a desktop asks for; 128 is resources/tesmar.png itself.
DESKTOP_SIZES = (16, 22, 24, 32, 48, 64, 256)


def colour_at(x, y):
    """Colour (r, g, b, a) of a point in a unit square, y down."""
    cx, cy = 0.5, 0.5
    dx, dy = x - cx, y - cy
    r = math.hypot(dx, dy)
    if r > 0.47:
        return (0, 0, 0, 0)
    if r > 0.42:
        return (31, 58, 96, 255)          # rim
    ang = math.atan2(dy, dx)
    # scale ticks on the upper 270 degrees
    a = math.degrees(ang) % 360
    in_scale = not (45 < a < 135)
    if in_scale and 0.33 < r < 0.40:
        rel = (a - 135) % 360
        tick = rel % 27
        if tick < 3 or tick > 24:
            return (31, 58, 96, 255)
    if in_scale and 0.30 < r < 0.33:
        rel = (a - 135) % 360
        if rel > 200:
            return (200, 40, 30, 255)         # red zone near full scale
        return (70, 150, 80, 255)
    # needle towards 2/3 of the scale
    needle = math.radians(135 + 270 * 0.62)
    nx, ny = math.cos(needle), math.sin(needle)
    along = dx * nx + dy * ny
    across = abs(-dx * ny + dy * nx)
    if -0.04 < along < 0.36 and across < 0.022 * (1 - along / 0.45):
        return (200, 40, 30, 255)
    if r < 0.05:
        return (31, 58, 96, 255)
    # a small digital readout in the gap below the dial
    if 0.62 < y < 0.72 and abs(dx) < 0.14:
        if 0.64 < y < 0.70 and abs(dx) < 0.12:
            return (240, 200, 60, 255)
        return (31, 58, 96, 255)
    return (246, 248, 250, 255)


def render(size=SIZE):
    rows = []
    for py in range(size):
        row = bytearray([0])
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    c = colour_at((px + (sx + 0.5) / SS) / size, (py + (sy + 0.5) / SS) / size)
                    a = c[3]
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            if acc[3]:
                row += bytes([acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], acc[3] // (SS * SS)])
            else:
                row += bytes([0, 0, 0, 0])
        rows.append(bytes(row))
    return b"".join(rows)


def png(data, size=SIZE):
    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b"")


def write(path, size):
    with open(path, "wb") as f:
        f.write(png(render(size), size))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--desktop":
        for n in DESKTOP_SIZES:
            write("%s/tesmar-%d.png" % (sys.argv[2], n), n)
    else:
        write(sys.argv[1] if len(sys.argv) > 1 else "resources/tesmar.png",
              int(sys.argv[2]) if len(sys.argv) > 2 else SIZE)
