#!/usr/bin/env python3
"""Checks the display conversion, and the still picture file, against a
reference computed here, from the definition of the picture and of the BMP
format and with Python's own integers, for every zoom, colour/grey and
boundary option, on a random frame with extreme values mixed in.

    conversion_reference.py RENDER_TOOL WORK_DIR
"""
import os
import random
import struct
import subprocess
import sys

SIDE = 404
DISPLAY = 808


def make_frame(rng):
    extremes = [0x0000, 0x000F, 0x7FF0, 0x8000, 0x800F, 0xFFF0, 0xFFFF, 0xFF00, 0x0080]
    words = [rng.choice(extremes) if rng.random() < 0.2 else rng.randrange(0x10000) for _ in range(SIDE * SIDE * 2)]
    words[0:2] = [0xFF00, 0x0080]
    words[-2:] = [0xFF00, 0x009D]
    return words


def clamp(v):
    return 0 if v < 0 else 255 if v > 255 else v


def colour_picture(words):
    """404 x 404 pixels as (b, g, r); Python's >> on ints floors like an arithmetic shift."""
    rows = []
    for r in range(SIDE):
        row = []
        base = r * SIDE * 2
        for p in range(SIDE // 2):
            w0, w1, w2, w3 = words[base + 4 * p: base + 4 * p + 4]
            cb = (w0 >> 4) - 2048
            cr = (w2 >> 4) - 2048
            for y in ((w1 >> 4), (w3 >> 4)):
                red = (y * 65536 + 91894 * cr) >> 20
                green = (y * 65536 - 46825 * cr - 22649 * cb) >> 20
                blue = (y * 65536 + 116064 * cb) >> 20
                row.append((clamp(blue), clamp(green), clamp(red)))
        rows.append(row)
    return rows


def grey_picture(words):
    rows = []
    for r in range(SIDE):
        base = r * SIDE * 2
        rows.append([((words[base + 2 * c + 1] >> 8),) * 3 for c in range(SIDE)])
    return rows


def display_image(picture, zoom200, show_boundary):
    image = [[(0, 0, 0)] * DISPLAY for _ in range(DISPLAY)]
    scale = 2 if zoom200 else 1
    for r in range(SIDE):
        for c in range(SIDE):
            for dy in range(scale):
                for dx in range(scale):
                    image[scale * r + dy][scale * c + dx] = picture[r][c]
    if not show_boundary:
        extent, border = SIDE * scale, 2 * scale
        for y in range(extent):
            for x in range(extent):
                if y < border or y >= extent - border or x < border or x >= extent - border:
                    image[y][x] = (0, 0, 0)
    # 4 bytes a pixel: blue, green, red and 255.
    return b"".join(bytes(v for px in row for v in px + (255,)) for row in image)


def still_bmp(picture, show_boundary):
    """A 24-bit BMP of the picture, or of its middle 400 x 400 without the boundary."""
    first = 0 if show_boundary else 2
    side = SIDE - 2 * first
    rows = [picture[r][first:first + side] for r in range(first, first + side)]
    pixels = b"".join(bytes(v for px in row for v in px) for row in reversed(rows))  # bottom row first
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    header = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def compare(name, got, want, width=None):
    """width: of a headerless display image, to name the first differing pixel."""
    if got == want:
        print("ok   %s" % name)
        return 0
    if len(got) != len(want):
        print("FAIL %s: %d bytes, want %d" % (name, len(got), len(want)))
        return 1
    first = next(i for i in range(len(got)) if got[i] != want[i])
    where = " (pixel %d, %d)" % (first // 4 % width, first // 4 // width) if width else ""
    print("FAIL %s: first difference at byte %d%s: got %d, want %d" % (name, first, where, got[first], want[first]))
    return 1


def main():
    tool, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    words = make_frame(random.Random(20240305))
    frame_path = os.path.join(work, "frame.raw")
    with open(frame_path, "wb") as f:
        f.write(struct.pack("<%dH" % len(words), *words))
    pictures = {False: colour_picture(words), True: grey_picture(words)}
    failures = 0
    for zoom200 in (False, True):
        for grey in (False, True):
            for show_boundary in (False, True):
                name = "zoom%d grey%d boundary%d" % (200 if zoom200 else 100, grey, show_boundary)
                out_path = os.path.join(work, "image.raw")
                subprocess.run([tool, frame_path, out_path, str(int(zoom200)), str(int(grey)), str(int(show_boundary))],
                               check=True, timeout=60)
                with open(out_path, "rb") as f:
                    failures += compare(name, f.read(), display_image(pictures[grey], zoom200, show_boundary), DISPLAY)
    for grey in (False, True):
        for show_boundary in (False, True):
            name = "still.bmp grey%d boundary%d" % (grey, show_boundary)
            out_path = os.path.join(work, "still.bmp")
            subprocess.run([tool, "--bmp", frame_path, out_path, str(int(grey)), str(int(show_boundary))],
                           check=True, timeout=60)
            with open(out_path, "rb") as f:
                failures += compare(name, f.read(), still_bmp(pictures[grey], show_boundary))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
