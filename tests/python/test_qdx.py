"""The qdx package on the simulated camera (QDX_CAMERA=sim, QDX_LIBRARY the
build's library, PYTHONPATH the build's python/ folder): run by ctest as
python.qdx with Debian's python3 and pytest."""

import ctypes
import os
import re
import stat
import struct
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import qdx

REGISTER_WRITE = 0x19  # the vendor request that writes FPGA registers
HANG_GUARD = 30  # seconds: only against a hang


@pytest.fixture
def sim():
    """The simulated camera's controls in the same library, reset before each test."""
    library = ctypes.CDLL(os.environ["QDX_LIBRARY"])
    library.QDXSim_Reset()
    return library


@pytest.fixture
def cam(sim):
    with qdx.Camera() as camera:
        yield camera


def library_running(sim):
    handle = ctypes.c_void_p()
    sim.QDX_GetDataSemaphoHandle(ctypes.byref(handle))
    return handle.value is not None


# -- opening and closing ------------------------------------------------------

def test_with_block_starts_and_stops_the_library_even_on_an_exception(sim):
    # Guards against a library left running after the block, or a second Camera terminating the first's library.
    with pytest.raises(KeyError):
        with qdx.Camera() as cam:
            assert cam.connected and library_running(sim)
            with pytest.raises(RuntimeError, match="already open"):
                qdx.Camera().open()
            assert cam.connected
            cam.settings["no-such-setting"]
    assert not library_running(sim)
    with pytest.raises(qdx.QdxError, match="not open"):
        cam.frame()
    with qdx.Camera() as again:
        assert again.frame().info.check == qdx.FrameCheck.WHOLE


def test_close_from_another_thread_ends_a_frame_wait(sim, cam):
    # Guards against QDX_Term destroying the frame semaphore under a thread still waiting on it.
    sim.QDXSim_SetStalled(1)
    outcome, stopped_under_wait = [], []

    class Watched:
        def __init__(self, semaphore):
            self.semaphore = semaphore

        def wait(self, seconds):
            self.semaphore.wait(seconds)
            if not library_running(sim):
                stopped_under_wait.append(True)

    cam._semaphore = Watched(cam._semaphore)

    def wait():
        try:
            cam.frame(timeout=HANG_GUARD)
        except qdx.QdxError as error:
            outcome.append(error)

    waiter = threading.Thread(target=wait)
    waiter.start()
    time.sleep(0.2)  # lets the waiter reach the semaphore; the test holds without it too
    cam.close()
    waiter.join(HANG_GUARD)
    assert not waiter.is_alive()
    assert len(outcome) == 1 and "closed" in str(outcome[0])
    assert not stopped_under_wait
    assert not library_running(sim)


# -- settings -----------------------------------------------------------------

@pytest.mark.parametrize("name, value, camera_value", [
    ("exposure", 300, 300),
    ("hysteresis-b2", 4095, 4095),           # indexed, the last of four
    ("blue-gain", -100, -100),               # indexed, sign and magnitude
    ("matrix-gb", -256, -256),               # nine-bit signed, its least
    ("mode", "AGC+AEC", 3),                  # entry text; the camera's value is not the entry's place
    ("area1", "100", 2),                     # a numeric entry's text wins over the number
    ("flip", "h flip", 1),                   # case ignored
    ("gamma", 3, 3),
])
def test_a_setting_reaches_the_camera_by_name_and_reads_back_alone(sim, cam, name, value, camera_value):
    # Guards against a name sent through the wrong function or index, or a combo entry sent as its place.
    cam.changed()
    before = dict(cam.settings)
    cam.settings[name] = value
    after = dict(cam.settings)
    assert after[name] == camera_value
    moved = {n for n in before if before[n] != after[n]} - {name}
    assert moved <= cam.changed(), "only the camera's own automatic control may move other settings"
    if cam.settings.info(name).index is None:
        register = ctypes.c_int()
        sim.QDXSim_GetRegister(cam.settings.info(name).register, ctypes.byref(register))
        assert register.value == camera_value


@pytest.mark.parametrize("name, value", [
    ("exposure", 439), ("exposure", -1), ("raw-gain", 15), ("matrix-rr", 256),
    ("mode", 2), ("mode", "auto"), ("alc", True), ("exposure", 1.5), ("exposure", "fast"),
])
def test_a_value_outside_the_table_is_refused_and_nothing_sent(sim, cam, name, value):
    # Guards against a value out of range reaching the camera (clamped, wrapped or re-encoded).
    before = cam.settings[name]
    writes = sim.QDXSim_GetRequestCount(REGISTER_WRITE)
    with pytest.raises(qdx.SettingValueError) as refused:
        cam.settings[name] = value
    assert refused.value.code == -1 and isinstance(refused.value, ValueError)
    assert sim.QDXSim_GetRequestCount(REGISTER_WRITE) == writes
    assert cam.settings[name] == before


def test_the_table_is_the_one_qdxctl_shows(cam):
    # Guards against the package's table drifting from qdxctl's: names, order, ranges, units, combo values.
    qdxctl = os.environ.get("QDXCTL")
    if not qdxctl:
        pytest.skip("QDXCTL names no qdxctl to compare with")
    listed = subprocess.run([qdxctl, "get", "--help"], capture_output=True, text=True, check=True,
                            timeout=HANG_GUARD).stdout
    shown = dict(re.findall(r"^  ([a-z][a-z0-9-]*) {2,}(.*)$", listed, re.MULTILINE))
    assert list(shown) == list(cam.settings)
    for name in cam.settings:
        info = cam.settings.info(name)
        if info.kind == "combo":
            assert shown[name] == ", ".join(f"{value} {text}" for text, value in info.entries.items())
        else:
            assert shown[name].split()[0] == f"{info.minimum}..{info.maximum}"
            assert info.unit in shown[name] and ("(" in shown[name]) == (info.factor != 1)


# -- frames -------------------------------------------------------------------

def test_frame_arrays_are_the_wire_words_and_info_tells_when(cam):
    # Guards against chroma and luma words swapped, pairs misaligned, values not shifted to 12 bits or info fields mixed up.
    offset_before = time.time_ns() - time.monotonic_ns()
    frame = cam.frame()
    offset_after = time.time_ns() - time.monotonic_ns()
    data = frame.raw.tobytes()
    assert len(data) == qdx.FRAME_BYTES and frame.info.length == qdx.FRAME_BYTES

    def word(i):
        return data[2 * i] | data[2 * i + 1] << 8

    assert [word(0), word(1), word(326430), word(326431)] == [0xFF00, 0x0080, 0xFF00, 0x009D]
    rng = np.random.default_rng(7)
    for row, column in [(0, 0), (403, 403), (2, 3), *rng.integers(0, 404, size=(500, 2))]:
        pixel = row * 404 + column
        pair = pixel - pixel % 2
        assert frame.y[row, column] == word(2 * pixel + 1) >> 4
        assert frame.cb[row, column // 2] == word(2 * pair) >> 4
        assert frame.cr[row, column // 2] == word(2 * pair + 2) >> 4
    assert frame.luma is frame.y and frame.y.dtype == np.uint16 and frame.y[2:-2, 2:-2].max() <= 4095
    assert frame.cb.shape == frame.cr.shape == (404, 202)
    assert not frame.y.flags.writeable and not frame.raw.flags.writeable

    info = frame.info
    assert info.index >= 1 and info.skipped >= 0 and info.check == qdx.FrameCheck.WHOLE
    # The two arrival times are one moment on two clocks.
    arrival_offset = info.wall_ns - info.monotonic_ns
    assert offset_before - 1e9 < arrival_offset < offset_after + 1e9
    assert info.monotonic_ns <= time.monotonic_ns()
    assert abs(info.wall_time.timestamp() - info.wall_ns / 1e9) < 1e-5


def test_frames_come_each_once_in_order_and_account_for_every_frame(cam):
    # Guards against a frame handed out twice, out of order, or frames lost without skipped saying so.
    frames = list(cam.frames(count=12))
    indices = [f.info.index for f in frames]
    assert all(b > a for a, b in zip(indices, indices[1:]))
    for previous, current in zip(frames, frames[1:]):
        assert current.info.index - previous.info.index == 1 + current.info.skipped


def test_short_and_damaged_frames_are_passed_over_unless_asked_for(sim, cam):
    # Guards against a cut-short or corrupt transfer handed out as a picture.
    sim.QDXSim_InjectFrames(1, 2)
    sim.QDXSim_InjectFrames(2, 2)
    assert all(f.info.check == qdx.FrameCheck.WHOLE and f.y.shape == (404, 404) for f in cam.frames(count=6))

    short = None
    for _ in range(20):  # a busy machine may let the ring overwrite it unseen: then once more
        sim.QDXSim_InjectFrames(1, 1)
        short = next((f for f in cam.frames(count=3, whole=False) if f.info.check == qdx.FrameCheck.SHORT), None)
        if short:
            break
    assert short is not None and short.info.length < qdx.FRAME_BYTES and len(short.raw) == short.info.length // 2
    with pytest.raises(ValueError, match="no picture"):
        short.y


# -- failures -----------------------------------------------------------------

@pytest.mark.parametrize("library, expected", [
    ("/nonexistent/libQDX_API.so.1", "could not be loaded"),
    ("libc.so.6", "has no QDX_Init"),
])
def test_a_missing_or_foreign_library_is_a_library_error(library, expected):
    # Guards against an AttributeError or OSError deep in ctypes instead of saying which library is wrong.
    script = ("import qdx\ntry:\n    qdx.Camera().open()\nexcept qdx.LibraryError as e:\n    print('LibraryError', e)\n")
    env = dict(os.environ, QDX_LIBRARY=library)
    result = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True,
                            timeout=HANG_GUARD)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("LibraryError") and expected in result.stdout


@pytest.mark.parametrize("access, problem", [(None, None), (1, "permission denied"), (2, "in use")])
def test_no_camera_at_open_is_a_no_camera_error_and_stops_the_library(sim, access, problem):
    # Guards against a Camera that opens without a camera, or leaves the library running after refusing.
    if access is None:
        sim.QDXSim_SetPlugged(0, 0)
    else:
        sim.QDXSim_SetAccess(0, access)
    with pytest.raises(qdx.NoCameraError) as refused:
        qdx.Camera(timeout=0.5 if access is None else HANG_GUARD).open()
    assert refused.value.code == 1 and "No Connected Camera!" in str(refused.value)
    assert refused.value.problem is None if problem is None else problem in refused.value.problem
    assert not library_running(sim)


def test_a_camera_going_away_is_a_no_camera_error(sim, cam):
    # Guards against an unplug reported as a plain time-out or a failed transfer.
    cam.frame()
    sim.QDXSim_SetPlugged(0, 0)
    with pytest.raises(qdx.NoCameraError):
        cam.frame(timeout=1)
    with pytest.raises(qdx.NoCameraError):
        cam.settings["exposure"] = 100
    sim.QDXSim_SetPlugged(0, 1)
    cam.frame(timeout=HANG_GUARD)  # the library opens it again by itself


# -- 16-bit files -------------------------------------------------------------

def read_grey_pillow(path, shape):
    from PIL import Image
    with Image.open(path) as image:
        return np.array(image.getdata(), dtype=np.uint16).reshape(image.size[1], image.size[0])


def read_rgb48_ffmpeg(path, shape):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", str(path), "-f", "rawvideo", "-pix_fmt", "rgb48le", "-"],
                         capture_output=True, check=True, timeout=HANG_GUARD).stdout
    return np.frombuffer(raw, dtype="<u2").reshape(shape)


def read_tiff_tifffile(path, shape):
    import tifffile
    return tifffile.imread(path).reshape(shape)


def png_chunks(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunks[kind] = data[at + 8:at + 8 + length]
        at += 12 + length
    return chunks


@pytest.mark.parametrize("save, shape, read", [
    (qdx.save_png16, (37, 53), read_grey_pillow),
    (qdx.save_png16, (37, 53, 3), read_rgb48_ffmpeg),
    (qdx.save_tiff, (37, 53), read_grey_pillow),
    (qdx.save_tiff, (37, 53, 3), read_tiff_tifffile),
])
def test_16_bit_files_read_back_by_other_readers_as_the_12_bit_values_spread(tmp_path, save, shape, read):
    # Guards against 12-bit values stored unscaled, byte-swapped, or with rows or channels out of place.
    values = np.random.default_rng(3).integers(0, 4096, size=shape, dtype=np.uint16)
    values.flat[:2] = [0, 4095]
    path = tmp_path / ("picture.png" if save is qdx.save_png16 else "picture.tif")
    save(path, values)
    stored = read(path, shape)
    assert np.array_equal(stored, (values << 4) | (values >> 8))
    assert stored.flat[0] == 0 and stored.flat[1] == 65535 and np.array_equal(stored >> 4, values)
    if save is qdx.save_png16:
        assert png_chunks(path)[b"sBIT"] == bytes([12] * (3 if len(shape) == 3 else 1))


@pytest.mark.parametrize("save", [qdx.save_png16, qdx.save_tiff])
def test_a_picture_file_is_whole_or_not_there_and_never_written_through_a_special_file(tmp_path, save, monkeypatch):
    # Guards against a FIFO or folder under the name written into, a link followed, and a half-written file.
    picture = np.full((4, 4), 4095, dtype=np.uint16)
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    with pytest.raises(OSError, match="not a regular file"):
        save(fifo, picture)
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode)
    with pytest.raises(IsADirectoryError):
        save(tmp_path, picture)

    elsewhere = tmp_path / "elsewhere"
    elsewhere.write_bytes(b"kept")
    link = tmp_path / "link"
    link.symlink_to(elsewhere)
    save(link, picture)
    assert elsewhere.read_bytes() == b"kept" and not link.is_symlink()

    with pytest.raises(ValueError, match="12-bit"):
        save(link, np.full((4, 4), 4096, dtype=np.uint16))
    kept = link.read_bytes()
    # A failure while writing: the name keeps the earlier file, no temporary file stays.
    import qdx.files
    monkeypatch.setattr(qdx.files.os, "fsync", lambda fd: (_ for _ in ()).throw(OSError(28, "No space left")))
    with pytest.raises(OSError, match="No space"):
        save(link, picture // 2)
    assert link.read_bytes() == kept
    assert sorted(p.name for p in tmp_path.iterdir()) == ["elsewhere", "fifo", "link"]
