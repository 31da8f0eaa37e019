#!/usr/bin/python3
"""CPU of qdx-rtsp serving the simulated camera at 30 frames/s to 1 and 3 clients.

For each encoder and client count: starts the server, connects the clients
(gst-launch-1.0 rtspsrc ! rtpjpegdepay/rtph264depay ! fakesink, counting their
frames), lets them settle, then reads the server's CPU from /proc over a
window. Prints the median over the runs as % of one core, the camera's own
threads (qdx-sim-cam<N>, in the server's process) shown apart, and the frames
per second each client received.

Run by hand, not by ctest:
  bench/rtsp_server_bench.py [--server build/gst/rtsp/qdx-rtsp] [--seconds 10] [--runs 3]
"""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

TICK = os.sysconf("SC_CLK_TCK")
SIM_THREAD_PREFIX = "qdx-sim-cam"
DEPAY = {"mjpeg": "rtpjpegdepay", "h264": "rtph264depay"}


def ticks(pid):
    """User+system ticks of the whole process and of the camera's threads."""
    def one(path):
        try:
            with open(path) as f:
                text = f.read()
        except OSError:
            return None, 0
        fields = text[text.rindex(")") + 2:].split()
        return text[text.index("(") + 1:text.rindex(")")], int(fields[11]) + int(fields[12])

    whole = one(f"/proc/{pid}/stat")[1]
    sim = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        name, value = one(f"/proc/{pid}/task/{tid}/stat")
        if name and name.startswith(SIM_THREAD_PREFIX):
            sim += value
    return whole, sim


class Client:
    def __init__(self, url, encoder):
        self.proc = subprocess.Popen(
            ["gst-launch-1.0", "-v", "rtspsrc", "location=" + url, "!", DEPAY[encoder], "!",
             "fakesink", "silent=false"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.frames = 0  # written by the reader thread only; read as a snapshot
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            if "last-message = chain" in line:
                self.frames += 1

    def stop(self):
        self.proc.terminate()
        self.proc.wait(30)


def measure(server_path, encoder, clients, seconds):
    env = dict(os.environ, QDX_CAMERA="sim", QDX_SIM_FPS="30")
    server = subprocess.Popen([server_path, "--port", "0", "--encoder", encoder], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, env=env)
    url = server.stdout.readline().strip()
    if not url:
        sys.exit("rtsp_server_bench: the server did not start")
    receivers = [Client(url, encoder) for _ in range(clients)]
    try:
        time.sleep(3)  # connected, the pipeline running
        t0, frames0, (whole0, sim0) = time.monotonic(), [c.frames for c in receivers], ticks(server.pid)
        time.sleep(seconds)
        t1, frames1, (whole1, sim1) = time.monotonic(), [c.frames for c in receivers], ticks(server.pid)
    finally:
        for c in receivers:
            c.stop()
        server.send_signal(signal.SIGINT)
        server.wait(30)
    span = t1 - t0
    cpu = 100.0 * (whole1 - whole0) / TICK / span
    sim = 100.0 * (sim1 - sim0) / TICK / span
    fps = min((b - a) / span for a, b in zip(frames0, frames1))
    return cpu - sim, sim, fps


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--server", default=os.path.join(os.path.dirname(__file__), "..", "build", "gst", "rtsp",
                                                         "qdx-rtsp"))
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    # A registry of its own, built before the first measurement.
    os.environ["GST_REGISTRY"] = os.path.join(tempfile.mkdtemp(prefix="qdx-rtsp-bench-"), "registry.bin")
    subprocess.run(["gst-inspect-1.0", "rtspsrc"], stdout=subprocess.DEVNULL, check=True)
    with open("/proc/loadavg") as f:
        print("load average before:", " ".join(f.read().split()[:3]), "on", os.cpu_count(), "cores")
    print(f"{'encoder':8} {'clients':>7} {'server CPU %':>13} {'camera threads %':>17} {'min client fps':>15}")
    for encoder in ("mjpeg", "h264"):
        for clients in (1, 3):
            runs = [measure(args.server, encoder, clients, args.seconds) for _ in range(args.runs)]
            cpu, sim, fps = (statistics.median(r[i] for r in runs) for i in range(3))
            print(f"{encoder:8} {clients:>7} {cpu:>13.1f} {sim:>17.1f} {fps:>15.1f}", flush=True)
    with open("/proc/loadavg") as f:
        print("load average after:", " ".join(f.read().split()[:3]))


if __name__ == "__main__":
    main()
