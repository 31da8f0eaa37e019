#!/usr/bin/env python3
"""Grabs frames from the camera (QDX_CAMERA=sim for the simulated one) and
prints their statistics: the mean, minimum and maximum of Y, Cb and Cr.

    QDX_CAMERA=sim python3 grab_stats.py [--frames N] [--exposure STEPS]

Uses the qdx package (installed, or PYTHONPATH=build/python in a build tree).
"""

import argparse
import sys

import qdx


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=5)
    parser.add_argument("--exposure", type=int, help="exposure time in steps of 0.072 ms")
    args = parser.parse_args()

    try:
        camera = qdx.Camera().open()  # the with-block closes it
    except qdx.NoCameraError as error:
        print(error, file=sys.stderr)
        return 1
    with camera:
        print("library %d.%d.%d.%d" % camera.version)
        if args.exposure is not None:
            camera.settings["exposure"] = args.exposure
        print("exposure %.1f ms, red gain %d, blue gain %d" % (
            camera.settings["exposure"] * camera.settings.info("exposure").factor, camera.settings["red-gain"], camera.settings["blue-gain"]))
        for frame in camera.frames(count=args.frames):
            stats = "  ".join(
                "%s %6.1f [%4d..%4d]" % (name, channel.mean(), channel.min(), channel.max())
                for name, channel in (("Y", frame.y), ("Cb", frame.cb), ("Cr", frame.cr)))
            print("frame %5d  %s" % (frame.info.index, stats))
        print("changed by the camera itself:", ", ".join(sorted(camera.changed())) or "nothing")
    return 0


if __name__ == "__main__":
    sys.exit(main())
