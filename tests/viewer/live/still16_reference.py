#!/usr/bin/env python3
"""Checks the 16-bit stills against a reference computed here with Python's
own integers, read back by readers that share no code with the writers: a
PNG decoder written here from the format's definition, tifffile, and the
Netpbm header parsed here. Every kind, colour and grey, with and without the
boundary, on conversion_reference.py's random frame with extremes.

    still16_reference.py RENDER_TOOL WORK_DIR
"""
import json
import os
import random
import struct
import subprocess
import sys
import zlib

import numpy
import tifffile

from conversion_reference import SIDE, make_frame

TEXT = {"Software": "render_frame", "Creation Time": "2025-12-09T00:26:40.000000001Z",
        "QDX frame index": "123456789012", "QDX monotonic ns": "987654321012345",
        "QDX settings": {"exposure": 400, "mode": 3}}


def reference(words, grey, border):
    """side x side x channels 12-bit samples: the display's fixed-point matrix shifted 16, not 20."""
    w = numpy.array(words, dtype=numpy.int64).reshape(SIDE, SIDE // 2, 4) >> 4
    cb, cr = w[..., 0:1] - 2048, w[..., 2:3] - 2048
    y = w[..., [1, 3]]
    if grey:
        planes = [y]
    else:
        planes = [(y * 65536 + 91894 * cr) >> 16, (y * 65536 - 46825 * cr - 22649 * cb) >> 16,
                  (y * 65536 + 116064 * cb) >> 16]
    picture = numpy.clip(numpy.stack(planes, axis=-1).reshape(SIDE, SIDE, len(planes)), 0, 4095)
    first = 0 if border else 2
    return picture[first:SIDE - first, first:SIDE - first].astype(numpy.uint16)


def read_png(path):
    """Samples (filters undone) and the chunks by type."""
    data, at, chunks = open(path, "rb").read(), 8, {}
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
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
    raw, out, previous = zlib.decompress(b"".join(chunks["IDAT"])), bytearray(), bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a, b = line[i - bpp] if i >= bpp else 0, previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            p = a + b - c
            predictor = [0, a, b, (a + b) // 2,
                         a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c)
                         else c][kind]
            line[i] = (line[i] + predictor) & 0xFF
        out += line
        previous = line
    text = dict(c.decode("latin-1").split("\0", 1) for c in chunks["tEXt"])
    return numpy.frombuffer(bytes(out), dtype=">u2").reshape(height, width, channels), chunks["sBIT"][0], text


def read_netpbm(path):
    """Samples and the # lines as KEY: VALUE (the writer puts them after the magic number)."""
    data = open(path, "rb").read()
    lines, text, i = data.split(b"\n", 8 + len(TEXT)), {}, 1
    while lines[i].startswith(b"#"):
        key, _, value = lines[i][2:].decode().partition(": ")
        text[key], i = value, i + 1
    (width, height), maxval = map(int, lines[i].split()), int(lines[i + 1])
    assert maxval == 4095 and width == height, (width, height, maxval)
    channels = {b"P5": 1, b"P6": 3}[lines[0]]
    body = data[sum(len(line) + 1 for line in lines[:i + 2]):]
    assert len(body) == width * height * channels * 2, len(body)
    return numpy.frombuffer(body, dtype=">u2").reshape(height, width, channels), text


def check_text(text):
    assert json.loads(text.pop("QDX settings")) == TEXT["QDX settings"]
    assert text == {k: v for k, v in TEXT.items() if k != "QDX settings"}, text


def main():
    tool, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    words = make_frame(random.Random(20261209))
    frame_path = os.path.join(work, "frame.raw")
    with open(frame_path, "wb") as f:
        f.write(struct.pack("<%dH" % len(words), *words))
    failures = 0
    for grey in (False, True):
        for border in (False, True):
            expected = reference(words, grey, border)
            scaled = (expected << 4) | (expected >> 8)  # v = sample >> 4
            for kind in ("png", "tif", "pgm", "ppm"):
                name = "%s grey%d boundary%d" % (kind, grey, border)
                path = os.path.join(work, "still." + kind)
                if os.path.exists(path):
                    os.remove(path)
                run = subprocess.run([tool, "--still16", frame_path, path, str(int(grey)), str(int(border))],
                                     stderr=subprocess.PIPE, timeout=60)
                try:
                    if kind == "pgm" and not grey:
                        # A PGM is grey: a colour picture is refused, and no file is left.
                        assert run.returncode == 1 and not os.path.exists(path), run.stderr
                        print("ok   %s refused" % name)
                        continue
                    assert run.returncode == 0, run.stderr
                    if kind == "png":
                        samples, sbit, text = read_png(path)
                        assert list(sbit) == [12] * expected.shape[2], list(sbit)
                        check_text(text)
                        want = scaled
                    elif kind == "tif":
                        with tifffile.TiffFile(path) as tif:
                            page = tif.pages[0]
                            samples = page.asarray().reshape(expected.shape)
                            assert page.dtype == numpy.uint16 and page.compression == tifffile.COMPRESSION.NONE
                            assert page.photometric == (tifffile.PHOTOMETRIC.MINISBLACK if grey
                                                        else tifffile.PHOTOMETRIC.RGB)
                            assert page.tags["Software"].value == TEXT["Software"]
                            facts = json.loads(page.description)
                        assert (facts["frame index"], facts["monotonic ns"], facts["arrival"], facts["settings"]) == (
                            123456789012, 987654321012345, TEXT["Creation Time"], TEXT["QDX settings"]), facts
                        want = scaled
                    else:
                        samples, text = read_netpbm(path)
                        check_text(text)
                        # A PPM repeats the luma of a grey picture.
                        want = numpy.repeat(expected, 3, axis=2) if grey and kind == "ppm" else expected
                    assert samples.shape == want.shape, (samples.shape, want.shape)
                    wrong = numpy.argwhere(samples != want)
                    assert len(wrong) == 0, "first difference at %s" % (wrong[0],)
                    print("ok   %s" % name)
                except AssertionError as e:
                    failures += 1
                    print("FAIL %s: %s" % (name, e))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
