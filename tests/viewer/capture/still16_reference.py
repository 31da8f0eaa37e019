#!/usr/bin/env python3
"""Checks the 16-bit stills against a reference computed here with Python's
own integers, read back by readers that share no code with the writer: a PNG
decoder written here from the format's definition (zlib and the five row
filters), tifffile for TIFF, and the Netpbm header parsed here. Every kind,
colour and grey, with and without the boundary, on a random frame with
extreme values mixed in.

    still16_reference.py WRITE_TOOL WORK_DIR
"""
import datetime
import json
import os
import random
import struct
import subprocess
import sys
import zlib

import numpy
import tifffile

SIDE = 404
FACTS = {"frame index": 123456789012, "monotonic ns": 987654321012345,
         "arrival": "2025-12-09T00:26:40.000000001Z", "settings": {"exposure": 400, "mode": 3}}


def make_frame(rng):
    extremes = [0x0000, 0x000F, 0x7FF0, 0x8000, 0x800F, 0xFFF0, 0xFFFF, 0xFF00, 0x0080]
    words = [rng.choice(extremes) if rng.random() < 0.2 else rng.randrange(0x10000) for _ in range(SIDE * SIDE * 2)]
    words[0:2] = [0xFF00, 0x0080]
    words[-2:] = [0xFF00, 0x009D]
    return words


def clamp12(v):
    return 0 if v < 0 else 4095 if v > 4095 else v


def reference(words, grey, border):
    """Rows of pixels, each a tuple of 12-bit samples (r, g, b) or (y,)."""
    first = 0 if border else 2
    side = SIDE - 2 * first
    rows = []
    for r in range(first, first + side):
        row = []
        base = r * SIDE * 2
        for c in range(first, first + side, 2):
            cb, y0, cr, y1 = (w >> 4 for w in words[base + 2 * c: base + 2 * c + 4])
            cb -= 2048
            cr -= 2048
            for y in (y0, y1):
                if grey:
                    row.append((y,))
                else:
                    # The display's fixed-point matrix, shifted 16 instead of 20: no 8-bit rounding.
                    row.append((clamp12((y * 65536 + 91894 * cr) >> 16),
                                clamp12((y * 65536 - 46825 * cr - 22649 * cb) >> 16),
                                clamp12((y * 65536 + 116064 * cb) >> 16)))
        rows.append(row)
    return numpy.array(rows, dtype=numpy.uint16)


def read_png(path):
    """Samples (big-endian 16-bit, filters undone) and the chunks by type."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature"
    at, chunks = 8, {}
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        assert struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0] == zlib.crc32(kind + body), kind
        chunks.setdefault(kind.decode(), []).append(body)
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks["IHDR"][0])
    assert depth == 16 and interlace == 0, (depth, interlace)
    channels = {0: 1, 2: 3}[colour]
    bpp, stride = 2 * channels, width * 2 * channels
    raw = zlib.decompress(b"".join(chunks["IDAT"]))
    out, previous = bytearray(), bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
            else:
                assert kind == 0, kind
        out += line
        previous = line
    samples = numpy.frombuffer(bytes(out), dtype=">u2").reshape(height, width, channels)
    return samples, chunks


def read_netpbm(path):
    data = open(path, "rb").read()
    fields, comments, at = [], {}, 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            end = data.index(b"\n", at)
            key, _, value = data[at + 1:end].decode().strip().partition(": ")
            comments[key] = value
            at = end + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end].decode())
        at = end
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    assert maxval == 4095, maxval
    channels = {"P5": 1, "P6": 3}[magic]
    body = data[at + 1:]  # one whitespace byte ends the header
    assert len(body) == width * height * channels * 2, len(body)
    return numpy.frombuffer(body, dtype=">u2").reshape(height, width, channels), comments


def check_text(text, where):
    """The PNG and Netpbm keys: the frame's facts, and the settings as JSON."""
    assert text["Software"] == "write_still16", where
    assert text["Creation Time"] == FACTS["arrival"], (where, text["Creation Time"])
    assert int(text["QDX frame index"]) == FACTS["frame index"], where
    assert int(text["QDX monotonic ns"]) == FACTS["monotonic ns"], where
    assert json.loads(text["QDX settings"]) == FACTS["settings"], where


def main():
    tool, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    # The arrival the tool is given, as ISO 8601 by Python's own calendar.
    seconds, nanoseconds = divmod(1765240000000000001, 10 ** 9)
    iso = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%S")
    assert FACTS["arrival"] == "%s.%09dZ" % (iso, nanoseconds)
    words = make_frame(random.Random(20261209))
    frame_path = os.path.join(work, "frame.raw")
    with open(frame_path, "wb") as f:
        f.write(struct.pack("<%dH" % len(words), *words))
    failures = 0
    for grey in (False, True):
        for border in (False, True):
            expected = reference(words, grey, border)
            scaled = (expected << 4) | (expected >> 8)
            for kind in ("png", "tif", "pgm", "ppm"):
                name = "%s_%s_%s.%s" % (kind, "grey" if grey else "colour", "border" if border else "inner", kind)
                path = os.path.join(work, name)
                if os.path.exists(path):
                    os.remove(path)
                run = subprocess.run([tool, frame_path, path, str(int(grey)), str(int(border))])
                try:
                    if kind == "pgm" and not grey:
                        # A PGM is grey: a colour picture is refused, and no file is left.
                        assert run.returncode == 1 and not os.path.exists(path), run.returncode
                        print("ok", name, "refused")
                        continue
                    assert run.returncode == 0, run.returncode
                    if kind == "png":
                        samples, chunks = read_png(path)
                        want = scaled
                        sbit = chunks["sBIT"][0]
                        assert list(sbit) == [12] * (1 if grey else 3), list(sbit)
                        text = dict(c.decode("latin-1").split("\0", 1) for c in chunks["tEXt"])
                        check_text(text, name)
                    elif kind == "tif":
                        with tifffile.TiffFile(path) as tif:
                            page = tif.pages[0]
                            samples = page.asarray().reshape(expected.shape)
                            assert page.dtype == numpy.uint16 and page.bitspersample == 16
                            assert page.photometric == (tifffile.PHOTOMETRIC.MINISBLACK if grey
                                                        else tifffile.PHOTOMETRIC.RGB)
                            description = json.loads(page.description)
                            assert page.tags["Software"].value == "write_still16"
                        for key, value in FACTS.items():
                            assert description[key] == value, (key, description[key])
                        want = scaled
                    else:
                        samples, text = read_netpbm(path)
                        check_text(text, name)
                        # A PPM repeats the luma of a grey picture; a PGM is grey.
                        want = numpy.repeat(expected, 3, axis=2) if grey and kind == "ppm" else expected
                    assert samples.shape == want.shape, (samples.shape, want.shape)
                    wrong = numpy.argwhere(samples != want)
                    assert len(wrong) == 0, "first difference at %s" % (wrong[0],)
                    # Readers get the 12-bit value back from a scaled sample.
                    if want is scaled:
                        assert numpy.array_equal(samples >> 4, expected)
                    print("ok", name)
                except AssertionError as e:
                    failures += 1
                    print("FAIL", name, e)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
