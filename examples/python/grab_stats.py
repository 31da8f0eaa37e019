#!/usr/bin/env python3
"""Grabs frames from the camera (QDX_CAMERA=sim for the simulated one) and
prints their statistics: the mean, minimum and maximum of Y, Cb and Cr.

    QDX_CAMERA=sim python3 grab_stats.py [--frames N] [--exposure STEPS]
"""

import argparse
import sys

import qdx


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frames", type=int, default=5)
    parser.add_argument("--exposure", type=int, help="exposure time in steps of 0.072 ms")
    args = parser.parse_args()

    with qdx.Camera() as camera:
        if not camera.wait_connected():
            print("No Connected Camera!", file=sys.stderr)
            return 1
        print("library %d.%d.%d.%d" % camera.version())
        if args.exposure is not None:
            camera.set("ExposureTime", args.exposure)
        print("exposure %.1f ms, red gain %d, blue gain %d" % (
            camera.get("ExposureTime") * 0.072, camera.get("GainRB", 0), camera.get("GainRB", 1)))
        for _ in range(args.frames):
            picture = camera.frame()
            stats = "  ".join(
                "%s %6.1f [%4d..%4d]" % (name, channel.mean(), channel.min(), channel.max())
                for name, channel in zip(("Y", "Cb", "Cr"), (picture[:, :, k] for k in range(3))))
            print("frame %5d  %s" % (camera.index(), stats))
        print("changed by the camera itself: registers", sorted(camera.change_mask()) or "none")
    return 0


if __name__ == "__main__":
    sys.exit(main())
