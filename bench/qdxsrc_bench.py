#!/usr/bin/python3
"""CPU per frame of the qdxsrc GStreamer element beside `qdxctl stream`.

Both take the simulated camera's frames at its own rate (QDX_SIM_FPS, default
30): `gst-launch-1.0 qdxsrc ! video/x-raw,format=F ! fakesink` per output
format, and `qdxctl stream`. After a warm-up, each process's threads are
measured over a window (their run time in nanoseconds from /proc's
schedstat), without the simulated camera's own threads (qdx-sim-cam<N>: they
stand in for the USB camera and cost the same under both); CPU per frame is
that over the frames the camera sent in the window. The element's extra over
qdxctl is also given in frame copies (a memmove of one 652,864-byte frame
out of the caches, timed here: a lower bound, as a frame another thread just
wrote costs more to read) and in parts of qdxctl's own CPU per frame (its one
copy out of the library and its checks); the goal is at most one copy more.

Run by hand, not by ctest, from a build with the plugin (the default: build/):
  bench/qdxsrc_bench.py [--build build] [--seconds 6] [--repeats 3] [--fps 30]
"""

import argparse
import ctypes
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

FORMATS = ("I422_12LE", "GRAY16_LE", "UYVY", "BGRx")
FRAME_BYTES = 404 * 404 * 4
SIM_THREAD_PREFIX = "qdx-sim-cam"
WARM_UP_S = 3


def fail(message):
    sys.exit("qdxsrc_bench: " + message)


def thread_ns(pid):
    """Run time in ns of the process's live threads: (without the camera's, the camera's)."""
    own = camera = 0
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        fail(f"process {pid} ended early")
    for tid in tids:
        try:
            with open(f"/proc/{pid}/task/{tid}/comm") as f:
                name = f.read().strip()
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                ns = int(f.read().split()[0])
        except OSError:
            continue  # ended in between
        if name.startswith(SIM_THREAD_PREFIX):
            camera += ns
        else:
            own += ns
    return own, camera


def measure(command, env, seconds, fps):
    """Microseconds per frame: (the process without the camera, the camera)."""
    with tempfile.TemporaryFile() as out:
        process = subprocess.Popen(command, env=env, stdout=out, stderr=subprocess.STDOUT)
        try:
            time.sleep(WARM_UP_S)
            if process.poll() is not None:
                out.seek(0)
                fail(f"{' '.join(command)} ended:\n{out.read().decode(errors='replace')}")
            own0, camera0 = thread_ns(process.pid)
            start = time.monotonic()
            time.sleep(seconds)
            own1, camera1 = thread_ns(process.pid)
            frames = (time.monotonic() - start) * fps
        finally:
            process.send_signal(signal.SIGINT)
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
    return (own1 - own0) / frames / 1e3, (camera1 - camera0) / frames / 1e3


def frame_copy_us():
    """One frame copied, in microseconds: the median over a ring of frames
    larger than the processor's caches, as a stream's frames are."""
    ring = 48
    frames = [ctypes.create_string_buffer(FRAME_BYTES) for _ in range(ring + 1)]
    for frame in frames:
        ctypes.memset(frame, 0x5A, FRAME_BYTES)
    times = []
    for i in range(4 * ring):
        source, dest = frames[i % ring], frames[(i + 1) % ring]
        start = time.perf_counter()
        ctypes.memmove(dest, source, FRAME_BYTES)
        times.append(time.perf_counter() - start)
    return statistics.median(times) * 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build", help="the build folder (its gst/ and tools/qdxctl)")
    parser.add_argument("--seconds", type=float, default=6, help="the measured window of each run (default 6)")
    parser.add_argument("--repeats", type=int, default=3, help="runs of each case; the median is shown")
    parser.add_argument("--fps", type=float, default=30, help="the simulated camera's rate (default 30)")
    args = parser.parse_args()
    plugin_dir = os.path.abspath(os.path.join(args.build, "gst"))
    qdxctl = os.path.abspath(os.path.join(args.build, "tools", "qdxctl"))
    if not os.path.exists(os.path.join(plugin_dir, "libgstqdx.so")) or not os.access(qdxctl, os.X_OK):
        fail(f"no libgstqdx.so or qdxctl in {args.build}: build the gstqdx and qdxctl targets")

    with tempfile.TemporaryDirectory() as scratch:
        env = dict(os.environ, QDX_CAMERA="sim", QDX_SIM_FPS=f"{args.fps:g}", GST_PLUGIN_PATH=plugin_dir,
                   GST_REGISTRY=os.path.join(scratch, "registry.bin"))
        # The registry built once, outside the measures.
        subprocess.run(["gst-inspect-1.0", "qdxsrc"], env=env, stdout=subprocess.DEVNULL, check=True)
        window = args.seconds + WARM_UP_S + 5
        cases = [("qdxctl stream", [qdxctl, "stream", "--seconds", f"{window:g}"])]
        cases += [(f"qdxsrc {fmt}", ["gst-launch-1.0", "-q", "qdxsrc", "!", f"video/x-raw,format={fmt}", "!",
                                     "fakesink"]) for fmt in FORMATS]
        results = {name: [] for name, _ in cases}
        camera = []
        for _ in range(args.repeats):  # the cases in turn, so that load on the machine hits them alike
            for name, command in cases:
                own, sim = measure(command, env, args.seconds, args.fps)
                results[name].append(own)
                camera.append(sim)

    copy = frame_copy_us()
    load = os.getloadavg()
    print(f"CPU per frame at {args.fps:g} frames/s without the simulated camera's threads (they took "
          f"{statistics.median(camera):.0f} us/frame), medians of {args.repeats} runs of {args.seconds:g} s; "
          f"one frame copy {copy:.0f} us; load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}, "
          f"{os.cpu_count()} cores")
    base = statistics.median(results["qdxctl stream"])
    print(f"{'case':<20}{'us/frame':>10}{'runs':>22}{'vs qdxctl':>12}{'copies':>8}{'x qdxctl':>10}")
    for name, values in results.items():
        median = statistics.median(values)
        runs = " ".join(f"{v:.0f}" for v in values)
        extra = "" if name == "qdxctl stream" else f"{median - base:+.0f}"
        copies = "" if name == "qdxctl stream" else f"{(median - base) / copy:+.1f}"
        ratio = "" if name == "qdxctl stream" else f"{(median - base) / base:+.2f}"
        print(f"{name:<20}{median:>10.0f}{runs:>22}{extra:>12}{copies:>8}{ratio:>10}")


if __name__ == "__main__":
    main()
