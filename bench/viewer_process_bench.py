#!/usr/bin/python3
"""Whole-process benchmark of QDX_Viewer on the simulated camera.

Runs the viewer under Xvfb in each scenario (zoom 100%, zoom 200%, Analysis
window open, Video Capture), operating it as a person would (keys and the
accessibility tree), and prints per scenario: the viewer's CPU as % of one
core without the simulated camera's own threads (qdx-sim-cam<N>, shown apart),
the X server's CPU, peak and final RSS, and the time from process start until
the first camera picture is on screen.

Run by hand, not by ctest:  bench/viewer_process_bench.py [--seconds 30] [--json]
Needs Debian's xvfb, dbus (dbus-run-session), at-spi2-core, python3-pyatspi,
python3-numpy and the X11 client libraries (libx11-6, libxtst6).
"""

import argparse
import ctypes
import ctypes.util
import json
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

SCENARIOS = ("zoom100", "zoom200", "analysis", "recording")
TITLES = {
    "zoom100": "zoom 100%",
    "zoom200": "zoom 200%",
    "analysis": "Analysis window open",
    "recording": "recording (Video Capture)",
}
SIM_THREAD_PREFIX = "qdx-sim-cam"
SIM_DEFAULT_FPS = 30  # the simulated camera's rate without QDX_SIM_FPS
INNER_FLAG = "--inside-own-session"


def fail(message):
    sys.exit("viewer_process_bench: " + message)


# --- Prerequisites ------------------------------------------------------------

def check_prerequisites():
    """Names the Debian package of each missing piece, all at once."""
    missing = []
    for program, package in (("Xvfb", "xvfb"), ("dbus-run-session", "dbus-daemon")):
        if not shutil.which(program):
            missing.append(package)
    for module, package in (("pyatspi", "python3-pyatspi"), ("numpy", "python3-numpy")):
        try:
            __import__(module)
        except ImportError:
            missing.append(package)
    for library, package in (("X11", "libx11-6"), ("Xtst", "libxtst6")):
        if not ctypes.util.find_library(library):
            missing.append(package)
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        missing.append("at-spi2-core")
    if missing:
        fail("missing prerequisites; install them with:\n  apt-get install " + " ".join(missing))


# --- X display: pixels and synthetic keys (Xlib and XTest through ctypes) -----

class XImage(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char)),
        ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
        ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
        ("obdata", ctypes.c_void_p),
        # struct funcs: create_image, destroy_image, get_pixel, put_pixel, sub_image, add_pixel
        ("create_image", ctypes.c_void_p),
        ("destroy_image", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)),
        ("funcs_rest", ctypes.c_void_p * 4),
    ]


class Display:
    Z_PIXMAP = 2
    ALL_PLANES = ctypes.c_ulong(~0 & 0xFFFFFFFFFFFFFFFF)

    def __init__(self, name):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XDisplayWidth.argtypes = self.x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XStringToKeysym.restype = ctypes.c_ulong
        self.x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.handle = self.x.XOpenDisplay(name.encode())
        if not self.handle:
            raise OSError("cannot open display " + name)
        self.root = self.x.XDefaultRootWindow(self.handle)
        self.width = self.x.XDisplayWidth(self.handle, 0)
        self.height = self.x.XDisplayHeight(self.handle, 0)

    def close(self):
        self.x.XCloseDisplay(self.handle)

    def row(self, y):
        """One screen row as bytes, 4 per pixel (B, G, R, unused on Xvfb's 24-bit screen)."""
        image = self.x.XGetImage(self.handle, self.root, 0, y, self.width, 1, self.ALL_PLANES, self.Z_PIXMAP)
        if not image:
            return b""
        data = ctypes.string_at(image.contents.data, self.width * 4)
        image.contents.destroy_image(ctypes.cast(image, ctypes.c_void_p))
        return data

    def click(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.handle, 0, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.handle, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.handle, 1, 0, 0)
        self.x.XFlush(self.handle)

    def keys(self, *chord):
        """Presses the keys of a chord in order ("Control_L", "Shift_L", "a") and releases them."""
        codes = []
        for name in chord:
            code = self.x.XKeysymToKeycode(self.handle, self.x.XStringToKeysym(name.encode()))
            if not code:
                raise ValueError("no key for " + name)
            codes.append(code)
        for code in codes:
            self.xtst.XTestFakeKeyEvent(self.handle, code, 1, 0)
        for code in reversed(codes):
            self.xtst.XTestFakeKeyEvent(self.handle, code, 0, 0)
        self.x.XFlush(self.handle)


def camera_picture_shown(display, numpy):
    """True once the simulated camera's chart is on screen.

    The chart's red, orange, yellow and green patches are the only strongly
    red/green pixels with little blue: the window's own colours are grey or
    blue, and without a frame the picture is blue or black. Every 8th row is
    enough and keeps each look at the screen to a few milliseconds.
    """
    rows = b"".join(display.row(y) for y in range(0, display.height, 8))
    pixels = numpy.frombuffer(rows, dtype=numpy.uint8).reshape(-1, 4)
    blue, green, red = (pixels[:, i].astype(numpy.int16) for i in range(3))
    chart = (blue < 80) & (numpy.maximum(red, green) > 150)
    return int(chart.sum()) >= 200


# --- /proc --------------------------------------------------------------------

TICK = os.sysconf("SC_CLK_TCK")


def stat_ticks(path):
    """(name, user+system ticks) of one /proc stat file; None when it is gone."""
    try:
        with open(path) as f:
            text = f.read()
    except OSError:
        return None
    name = text[text.index("(") + 1:text.rindex(")")]
    fields = text[text.rindex(")") + 2:].split()
    return name, int(fields[11]) + int(fields[12])  # utime, stime


def cpu_sample(pid):
    """Ticks of the whole process (threads that ended included) and of each live thread."""
    whole = stat_ticks(f"/proc/{pid}/stat")
    threads = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        tids = []
    for tid in tids:
        entry = stat_ticks(f"/proc/{pid}/task/{tid}/stat")
        if entry:
            threads[tid] = entry
    return (whole[1] if whole else 0), threads


def memory_kib(pid):
    values = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmHWM", "VmRSS"):
                    values[key] = int(rest.split()[0])
    except OSError:
        pass
    return values.get("VmHWM", 0), values.get("VmRSS", 0)


# --- The accessibility tree ---------------------------------------------------

def find_all(pyatspi, root, test, limit=2000):
    found, stack, seen = [], [root], 0
    while stack and seen < limit:
        node = stack.pop()
        seen += 1
        try:
            if test(node):
                found.append(node)
            stack.extend(node.getChildAtIndex(i) for i in reversed(range(node.childCount)))
        except Exception:  # a node that went away while walking
            continue
    return found


def showing(pyatspi, node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def wait_for(what, probe, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(step)
    raise TimeoutError(what)


class Viewer:
    """One QDX_Viewer process in a folder of its own, seen through AT-SPI."""

    def __init__(self, pyatspi, display, binary, env, folder):
        self.pyatspi = pyatspi
        self.display = display
        self.folder = folder
        self.log = open(os.path.join(folder, "viewer.log"), "w")
        self.started = time.monotonic()
        self.process = subprocess.Popen([binary], cwd=folder, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.pid = self.process.pid
        self.app = None

    def application(self):
        def probe():
            desktop = self.pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                try:
                    if app and app.get_process_id() == self.pid:
                        return app
                except Exception:
                    continue
            return None
        if self.app is None:
            self.app = wait_for("the viewer in the accessibility tree", probe, 30, 0.2)
        return self.app

    def find(self, test):
        return [n for n in find_all(self.pyatspi, self.application(), test) if showing(self.pyatspi, n)]

    def activate(self):
        """Clicks the rates line, a plain label: without a window manager
        nothing else makes the window active, and its shortcuts need that."""
        def active():
            return self.find(lambda n: n.getRoleName() == "frame" and n.name == "QDX Viewer"
                             and n.getState().contains(self.pyatspi.STATE_ACTIVE))
        if not active():
            for label in self.find(lambda n: n.getRoleName() == "label" and n.name.startswith("fps DISP:")):
                box = label.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
                self.display.click(box.x + box.width // 2, box.y + box.height // 2)
                break
        wait_for("the viewer's window to become active", active, 10)

    def label_starting(self, prefix):
        for node in self.find(lambda n: n.getRoleName() == "label" and n.name.startswith(prefix)):
            return node.name
        return None

    def zoom_box(self):
        def is_zoom(n):
            if n.getRoleName() != "combo box" or n.childCount != 1:
                return False
            items = n.getChildAtIndex(0)
            return [items.getChildAtIndex(i).name for i in range(items.childCount)] == ["100%", "200%"]
        boxes = self.find(is_zoom)
        if not boxes:
            raise RuntimeError("no zoom list on the shown page")
        return boxes[0]

    def choose_zoom(self, entry):
        box = self.zoom_box()
        if box.name != entry:
            # As a person: open the list, arrow to the entry, take it.
            actions = box.queryAction()
            names = [actions.getName(i) for i in range(actions.nActions)]
            if "ShowMenu" not in names:
                raise RuntimeError("the zoom list offers no ShowMenu action")
            actions.doAction(names.index("ShowMenu"))
            time.sleep(0.5)
            self.display.keys("Down" if entry == "200%" else "Up")
            time.sleep(0.2)
            self.display.keys("Return")
        wait_for(f"zoom {entry}", lambda: self.zoom_box().name == entry, 10)

    def open_analysis(self):
        def shown():
            return self.find(lambda n: n.getRoleName() == "frame" and n.name == "Analysis")
        if not shown():
            self.activate()
            self.display.keys("Control_L", "Shift_L", "a")
        wait_for("the Analysis window", shown, 10)

    def start_recording(self):
        self.activate()
        self.display.keys("F9")
        for title in ("Message", "Save File"):
            wait_for(f"the '{title}' dialog",
                     lambda: self.find(lambda n: n.getRoleName() in ("dialog", "alert", "frame")
                                       and n.name == title), 10)
            time.sleep(0.3)
            self.display.keys("Return")  # OK to "Start Video Capture"; Save under the proposed name
        wait_for("the recording's state text", lambda: self.label_starting("LIVE (REC)"), 10)

    def recorded_frames(self):
        """The frames so far from the recording's progress ("00:12  360 frames")."""
        for node in self.find(lambda n: n.getRoleName() == "label" and " frames" in n.name):
            words = node.name.split()
            if len(words) >= 3 and words[2] == "frames" and words[1].isdigit():
                return int(words[1])
        return None

    def rates(self):
        text = self.label_starting("fps DISP:") or ""
        try:
            shown, delivered = text[len("fps DISP:"):].split("/ USB:")
            return int(shown), int(delivered)
        except ValueError:
            return None, None

    def close(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)  # closes as Exit does, a recording finished first
            try:
                self.process.wait(60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()
        return self.process.returncode


# --- One scenario -------------------------------------------------------------

def run_scenario(name, args, pyatspi, numpy, display, xserver_pid, base_env):
    folder = tempfile.mkdtemp(prefix=f"qdx-bench-{name}-")
    env = dict(base_env)
    # Everything the viewer and Qt keep (the file dialog's history too) stays in the folder.
    env.update(QDX_SIM_STATE_DIR=folder, HOME=folder, XDG_CONFIG_HOME=folder, XDG_CACHE_HOME=folder,
               XDG_DATA_HOME=folder, XDG_STATE_HOME=folder, XDG_RUNTIME_DIR=folder)
    viewer = Viewer(pyatspi, display, args.viewer, env, folder)
    try:
        first_frame = wait_for("the first camera picture on screen",
                               lambda: camera_picture_shown(display, numpy), 60, 0.005)
        first_frame = time.monotonic() - viewer.started
        if name == "zoom200":
            viewer.choose_zoom("200%")
        elif name == "analysis":
            viewer.open_analysis()
        elif name == "recording":
            viewer.start_recording()
        else:
            viewer.choose_zoom("100%")
        time.sleep(args.settle)

        recorded0 = (time.monotonic(), viewer.recorded_frames()) if name == "recording" else None
        t0, (whole0, threads0), x0 = time.monotonic(), cpu_sample(viewer.pid), stat_ticks(f"/proc/{xserver_pid}/stat")
        deadline = t0 + args.seconds
        while time.monotonic() < deadline:
            time.sleep(min(0.5, max(0.0, deadline - time.monotonic())))
            if viewer.process.poll() is not None:
                raise RuntimeError(f"the viewer ended early (status {viewer.process.returncode})")
        t1, (whole1, threads1), x1 = time.monotonic(), cpu_sample(viewer.pid), stat_ticks(f"/proc/{xserver_pid}/stat")
        peak_kib, end_kib = memory_kib(viewer.pid)
        shown, delivered = viewer.rates()
        recorded1 = (time.monotonic(), viewer.recorded_frames()) if name == "recording" else None

        elapsed = t1 - t0
        per_thread = {}
        sim_ticks = 0
        for tid, (thread, ticks) in threads1.items():
            spent = ticks - threads0.get(tid, (thread, 0))[1]
            per_thread[thread] = per_thread.get(thread, 0) + spent
            if thread.startswith(SIM_THREAD_PREFIX):
                sim_ticks += spent

        if not any(thread.startswith(SIM_THREAD_PREFIX) for thread, _ in threads1.values()):
            raise RuntimeError(f"no {SIM_THREAD_PREFIX}<N> thread in the viewer: the camera's CPU cannot be told apart")

        def percent(ticks):
            return round(100.0 * ticks / TICK / elapsed, 1)

        result = {
            "scenario": name,
            "viewer_cpu_percent": percent(whole1 - whole0 - sim_ticks),
            "camera_cpu_percent": percent(sim_ticks),
            "xserver_cpu_percent": percent(x1[1] - x0[1]) if x0 and x1 else None,
            "rss_peak_mib": round(peak_kib / 1024, 1),
            "rss_end_mib": round(end_kib / 1024, 1),
            "first_frame_s": round(first_frame, 3),
            "shown_fps": shown,
            "delivered_fps": delivered,
            "threads_cpu_percent": {k: percent(v) for k, v in sorted(per_thread.items(), key=lambda kv: -kv[1])
                                    if v > 0},
        }
        if recorded0 and recorded1 and recorded0[1] is not None and recorded1[1] is not None:
            result["recorded_fps"] = round((recorded1[1] - recorded0[1]) / (recorded1[0] - recorded0[0]), 1)
        return result
    finally:
        status = viewer.close()
        if status not in (0, 128 + signal.SIGTERM):
            print(f"viewer_process_bench: {name}: the viewer ended with status {status}; "
                  f"its output is in {folder}/viewer.log", file=sys.stderr)
        elif not args.keep:
            shutil.rmtree(folder, ignore_errors=True)


def median_result(runs):
    """Per scenario, the median of each figure over the repetitions."""
    out = dict(runs[0])
    for key, value in runs[0].items():
        if isinstance(value, (int, float)) and not isinstance(value, bool):
            values = [r[key] for r in runs if r.get(key) is not None]
            out[key] = round(statistics.median(values), 3 if key == "first_frame_s" else 1) if values else None
    threads = {name for r in runs for name in r["threads_cpu_percent"]}
    medians = {name: round(statistics.median(r["threads_cpu_percent"].get(name, 0.0) for r in runs), 1)
               for name in threads}
    out["threads_cpu_percent"] = dict(sorted(medians.items(), key=lambda kv: -kv[1]))
    out["repetitions"] = len(runs)
    return out


# --- Output -------------------------------------------------------------------

def machine():
    model = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    return {"cpu": model, "cores": os.cpu_count(), "load_average": [float(v) for v in load]}


def print_table(results, info, out):
    print(f"QDX_Viewer, whole process: simulated camera at {info['camera_fps']} frames/s "
          f"({info['camera_fps_source']}), {info['seconds']} s per scenario, "
          f"median of {info['repetitions']}", file=out)
    print(f"machine: {info['machine']['cpu']}, {info['machine']['cores']} cores, "
          f"load average before {info['load_before']} after {info['machine']['load_average']}", file=out)
    header = ("scenario", "viewer CPU %", "camera CPU %", "X server CPU %", "RSS peak MiB",
              "RSS end MiB", "first frame s", "fps shown/USB")
    rows = [header]
    for r in results:
        rows.append((TITLES[r["scenario"]], f"{r['viewer_cpu_percent']:.1f}", f"{r['camera_cpu_percent']:.1f}",
                     "-" if r["xserver_cpu_percent"] is None else f"{r['xserver_cpu_percent']:.1f}",
                     f"{r['rss_peak_mib']:.1f}", f"{r['rss_end_mib']:.1f}", f"{r['first_frame_s']:.2f}",
                     f"{r['shown_fps']}/{r['delivered_fps']}"
                     + (f" rec {r['recorded_fps']:.0f}" if r.get("recorded_fps") is not None else "")))
    widths = [max(len(row[i]) for row in rows) for i in range(len(header))]
    for n, row in enumerate(rows):
        cells = (cell.ljust(w) if i == 0 else cell.rjust(w) for i, (cell, w) in enumerate(zip(row, widths)))
        print("  ".join(cells), file=out)
        if n == 0:
            print("  ".join("-" * w for w in widths), file=out)
    print("CPU is % of one core; the viewer's leaves out the camera's own qdx-sim-cam threads; fps as the "
          "viewer's rates line reads at the end, \"rec\" the frames recorded per second.", file=out)


# --- Main ---------------------------------------------------------------------

def parse_args(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--seconds", type=float, default=30, help="measured time per scenario (default 30)")
    p.add_argument("--settle", type=float, default=3, help="seconds after the scenario is set up, before measuring")
    p.add_argument("--repeat", type=int, default=1, help="runs of each scenario; the median is shown")
    p.add_argument("--scenario", action="append", choices=SCENARIOS, help="only these (repeatable)")
    p.add_argument("--viewer", default=os.path.join(root, "build", "viewer", "QDX_Viewer"))
    p.add_argument("--display", default=":63", help="the Xvfb display number to use (default :63)")
    p.add_argument("--fps", help="QDX_SIM_FPS for the camera (default: the camera's own 30)")
    p.add_argument("--json", action="store_true", help="print JSON instead of the table")
    p.add_argument("--keep", action="store_true", help="keep each scenario's folder (log, recording)")
    p.add_argument(INNER_FLAG, metavar="RESULTS_FILE", help=argparse.SUPPRESS)
    args = p.parse_args(argv)
    if args.seconds <= 0 or args.settle < 0 or args.repeat < 1:
        p.error("--seconds must be > 0, --settle >= 0, --repeat >= 1")
    if not (os.path.isfile(args.viewer) and os.access(args.viewer, os.X_OK)):
        p.error(f"{args.viewer}: no viewer program there (build the QDX_Viewer target first)")
    args.viewer = os.path.abspath(args.viewer)
    return args


def main(argv):
    args = parse_args(argv)
    check_prerequisites()
    results_file = getattr(args, INNER_FLAG.lstrip("-").replace("-", "_"))
    if not results_file:
        # A D-Bus session of our own, so the accessibility bus is ours too;
        # its daemons' notices on the standard error are left out.
        # The inner run writes its results to a file of its own, so that the
        # registry daemon's greeting on the session's standard output never
        # mixes with the table or the JSON.
        with tempfile.NamedTemporaryFile(mode="r", prefix="qdx-bench-", suffix=".out") as out:
            inner = subprocess.Popen(["dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
                                      INNER_FLAG, out.name] + argv,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            for line in inner.stderr:
                if not line.startswith(("dbus-daemon[", "SpiRegistry daemon is running")):
                    sys.stderr.write(line)
            status = inner.wait()
            sys.stdout.write(out.read())
        sys.exit(status)

    import numpy
    import pyatspi

    number = args.display.lstrip(":")
    if os.path.exists(f"/tmp/.X{number}-lock"):
        fail(f"display {args.display} is in use (/tmp/.X{number}-lock); choose another with --display")
    load_before = machine()["load_average"]
    xserver = subprocess.Popen(["Xvfb", args.display, "-screen", "0", "1920x1200x24", "-nolisten", "tcp"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    display = None
    try:
        def connect():
            try:
                return Display(args.display)
            except OSError:
                if xserver.poll() is not None:
                    fail(f"Xvfb {args.display} did not start")
                return None
        display = wait_for("Xvfb", connect, 30, 0.1)

        env = {k: v for k, v in os.environ.items() if not k.startswith(("QDX_", "QT_"))}
        env.update(DISPLAY=args.display, QDX_CAMERA="sim", QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        if args.fps is not None:
            env["QDX_SIM_FPS"] = args.fps
        os.environ["DISPLAY"] = args.display
        # Starts the accessibility bus before the viewer looks for it.
        pyatspi.Registry.getDesktop(0).childCount

        results = []
        for name in args.scenario or SCENARIOS:
            runs = []
            for _ in range(args.repeat):
                try:
                    runs.append(run_scenario(name, args, pyatspi, numpy, display, xserver.pid, env))
                except (TimeoutError, RuntimeError) as e:
                    fail(f"{TITLES[name]}: {e}")
            results.append(median_result(runs))
    finally:
        if display:
            display.close()
        xserver.terminate()
        xserver.wait()

    info = {
        "camera_fps": args.fps if args.fps is not None else SIM_DEFAULT_FPS,
        "camera_fps_source": "QDX_SIM_FPS" if args.fps is not None else "the simulated camera's default",
        "seconds": args.seconds,
        "repetitions": args.repeat,
        "machine": machine(),
        "load_before": load_before,
    }
    with open(results_file, "w") as out:
        if args.json:
            print(json.dumps({**info, "scenarios": results}, indent=2), file=out)
        else:
            print_table(results, info, out)


if __name__ == "__main__":
    main(sys.argv[1:])
