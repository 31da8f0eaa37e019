#!/usr/bin/env python3
"""Frames of the camera into Python through qdxsrc and an appsink: the 12-bit
values of each frame's luma plane (I422_12LE). Usage: appsink_example.py [N]"""
import sys

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402

Gst.init(None)
count = int(sys.argv[1]) if len(sys.argv) > 1 else 10
pipeline = Gst.parse_launch(
    f"qdxsrc num-buffers={count} ! video/x-raw,format=I422_12LE ! appsink name=sink sync=false")
sink = pipeline.get_by_name("sink")
pipeline.set_state(Gst.State.PLAYING)
for _ in range(count):
    sample = sink.emit("try-pull-sample", 30 * Gst.SECOND)
    if sample is None:
        sys.exit("no frame")
    buffer = sample.get_buffer()
    ok, info = buffer.map(Gst.MapFlags.READ)
    luma = memoryview(info.data)[: 400 * 400 * 2].cast("H")  # 400x400, little-endian 0..4095
    print(f"frame {buffer.offset} at {buffer.pts / Gst.SECOND:.3f} s, "
          f"centre luma {luma[200 * 400 + 200]}")
    buffer.unmap(info)
pipeline.set_state(Gst.State.NULL)
