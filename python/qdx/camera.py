"""The camera: the library started and stopped around a with-block, its
settings by name, and its frames as numpy arrays of 12-bit values with what
the library knows of each (index, arrival times, frames skipped)."""

from __future__ import annotations

import ctypes
import enum
import threading
import time
from collections.abc import Iterator
from dataclasses import dataclass
from datetime import datetime, timezone
from functools import cached_property

import numpy as np

from . import _lib
from .settings import Settings, table

# The longest single wait on the frame signal, so that Ctrl+C and close()
# are seen that soon; it is a wait, not a poll.
_WAIT_SLICE = 0.1
# How often the wait for the camera to open looks at the status.
_OPEN_POLL = 0.01


class FrameCheck(enum.IntEnum):
    """What the frame's byte count and marker words say (QDX_FRAME_*)."""

    WHOLE = 0
    SHORT = 1
    DAMAGED = 2


@dataclass(frozen=True)
class FrameInfo:
    """What the library knows of one frame. index counts every frame the
    process received, from 1, across reconnections; monotonic_ns and wall_ns
    are the arrival of its last byte on CLOCK_MONOTONIC (time.monotonic_ns())
    and CLOCK_REALTIME (time.time_ns()); skipped counts the frames received
    since the previous frame handed out that the library's ring overwrote
    unseen; length is its byte count (652,864 when whole)."""

    index: int
    monotonic_ns: int
    wall_ns: int
    skipped: int
    check: FrameCheck
    length: int

    @property
    def wall_time(self) -> datetime:
        """The arrival as an aware UTC datetime (microseconds)."""
        seconds, nanoseconds = divmod(self.wall_ns, 1_000_000_000)
        return datetime.fromtimestamp(seconds, timezone.utc).replace(microsecond=nanoseconds // 1000)


class Frame:
    """One frame: 404 x 404 pixels, two 16-bit words each (chroma, luma),
    12-bit values in the words' upper bits. The first two and last two words
    are the camera's markers, so y[0, 0], cb[0, 0], y[-1, -1] and cr[-1, -1]
    hold marker bits; the viewer shows the 400 x 400 inside ([2:-2, 2:-2])."""

    def __init__(self, words: np.ndarray, info: FrameInfo) -> None:
        self._words = words
        self.info = info

    @property
    def raw(self) -> np.ndarray:
        """The words as received (little-endian uint16), info.length // 2 of
        them at most; read-only."""
        return self._words

    def _pairs(self) -> np.ndarray:
        if self.info.length != _lib.FRAME_BYTES:
            raise ValueError(f"frame {self.info.index} is {self.info.length} bytes long, "
                             f"not {_lib.FRAME_BYTES}: it has no picture")
        return self._words.reshape(_lib.FRAME_HEIGHT, _lib.FRAME_WIDTH // 2, 4)

    @cached_property
    def y(self) -> np.ndarray:
        """Luma, 404 x 404 uint16 of 0..4095. In data format 1 the luma words
        hold the sensor's luma before any correction, and the chroma 2048."""
        return _read_only((self._pairs()[:, :, 1::2] >> 4).reshape(_lib.FRAME_HEIGHT, _lib.FRAME_WIDTH))

    @property
    def luma(self) -> np.ndarray:
        """The same as y: the picture in grey levels."""
        return self.y

    @cached_property
    def cb(self) -> np.ndarray:
        """Blue chroma, 404 x 202 uint16 of 0..4095 (2048 neutral): one for each pixel pair."""
        return _read_only(self._pairs()[:, :, 0] >> 4)

    @cached_property
    def cr(self) -> np.ndarray:
        """Red chroma, 404 x 202 uint16 of 0..4095 (2048 neutral): one for each pixel pair."""
        return _read_only(self._pairs()[:, :, 2] >> 4)

    def __repr__(self) -> str:
        i = self.info
        return f"<qdx.Frame index={i.index} {i.check.name.lower()} length={i.length} skipped={i.skipped}>"


def _read_only(array: np.ndarray) -> np.ndarray:
    array.flags.writeable = False
    return array


class Camera:
    """The library's camera. One may be open in a process at a time (the
    library has one camera and one frame ring per process).

        with qdx.Camera() as cam:
            cam.settings["exposure"] = 300
            frame = cam.frame()

    open() (the with-statement) starts the library (QDX_Init) and waits up to
    timeout seconds for it to open a camera; close() stops it (QDX_Term).
    frame(), frames() and close() may be called from different threads: close
    waits for a frame call to see it, at most a tenth of a second."""

    _open_lock = threading.Lock()
    _open_camera: Camera | None = None  # guarded by _open_lock

    def __init__(self, timeout: float = 3.0) -> None:
        self._timeout = timeout
        # Held by the frame calls and close(): QDX_Term destroys the
        # semaphore a frame call waits on.
        self._lock = threading.Lock()
        self._closing = threading.Event()
        self._lib: ctypes.CDLL | None = None
        self._semaphore: _lib.Semaphore | None = None
        self.settings = Settings(self._check)

    # -- opening and closing ------------------------------------------------

    def open(self) -> Camera:
        """Starts the library and waits for the camera. Raises LibraryError
        (no library), NoCameraError (none within the timeout, or one present
        but refused: .problem says why) or QdxError (QDX_Init failed)."""
        lib = _lib.library()
        with Camera._open_lock:
            if Camera._open_camera is not None:
                raise RuntimeError("a qdx.Camera is already open in this process; close it first")
            Camera._open_camera = self
        try:
            result = lib.QDX_Init()
            if result != _lib.OK:
                raise _lib.QdxError(result, f"QDX_Init failed ({result}): the library could not start")
            self._lib = lib
            self._closing.clear()
            self._wait_for_camera()
            handle = ctypes.c_void_p()
            self._check("QDX_GetDataSemaphoHandle", lib.QDX_GetDataSemaphoHandle(ctypes.byref(handle)))
            self._semaphore = _lib.Semaphore(handle.value)
        except BaseException:
            self.close()
            raise
        return self

    def close(self) -> None:
        """Stops the library (QDX_Term). Closing a closed camera does nothing."""
        self._closing.set()
        with self._lock:
            if self._lib is not None:
                self._lib.QDX_Term()
                self._lib = None
                self._semaphore = None
        with Camera._open_lock:
            if Camera._open_camera is self:
                Camera._open_camera = None

    def __enter__(self) -> Camera:
        return self if self._lib is not None else self.open()

    def __exit__(self, *exc: object) -> None:
        self.close()

    def _wait_for_camera(self) -> None:
        end = time.monotonic() + self._timeout
        while not self.connected:
            problem = self.problem
            if problem:
                raise _lib.NoCameraError(f"No Connected Camera! A camera is present but {problem}", problem)
            if time.monotonic() >= end:
                raise _lib.NoCameraError(f"No Connected Camera! None opened within {self._timeout:g} s")
            time.sleep(_OPEN_POLL)

    # -- state ----------------------------------------------------------------

    def _running(self) -> ctypes.CDLL:
        if self._lib is None:
            raise _lib.QdxError(None, "the camera is not open: use it inside 'with qdx.Camera() as cam:'")
        return self._lib

    def _check(self, call: str, result: int) -> None:
        """A library result as an exception: QDX_ERR_TRANSFER is NoCameraError
        while no camera is open, TransferError while one is."""
        if result == _lib.OK:
            return
        if result == _lib.ERR_TRANSFER:
            if not self.connected:
                raise _lib.NoCameraError(f"{call}: No Connected Camera!")
            raise _lib.TransferError(result, f"{call}: the transfer failed")
        raise _lib.QdxError(result, f"{call} returned {result}")

    @property
    def connected(self) -> bool:
        """Whether the library has a camera open now."""
        status = ctypes.c_int(0)
        return self._running().QDX_GetStatus(ctypes.byref(status)) == _lib.OK and bool(
            status.value & _lib.STATUS_CONNECTED)

    @property
    def problem(self) -> str | None:
        """Why a camera that is present could not be opened, or None."""
        p = _lib.DEVICE_PROBLEM()
        if self._running().QDX_GetDeviceProblem(ctypes.byref(p)) != _lib.OK or not p.reason:
            return None
        where = f"bus {p.busNumber:03d} device {p.deviceAddress:03d}, ID {p.vendorId:04x}:{p.productId:04x}"
        return f"{_lib.DEVICE_PROBLEMS.get(p.reason, 'it could not be opened')} ({where})"

    @property
    def version(self) -> tuple[int, int, int, int]:
        """The library's version (major, minor, build, revision)."""
        value = ctypes.c_uint(0)
        self._check("QDX_GetVersion", self._running().QDX_GetVersion(ctypes.byref(value)))
        v = value.value
        return (v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)

    def changed(self) -> set[str]:
        """The settings the camera changed itself (automatic exposure, gain,
        white balance) since the last call, by name."""
        mask = (ctypes.c_ubyte * 6)()
        self._check("QDX_GetFpgaStatus", self._running().QDX_GetFpgaStatus(6, mask))
        return {name for name, info in table().items()
                if info.register < 48 and mask[info.register // 8] >> (info.register % 8) & 1}

    # -- frames ---------------------------------------------------------------

    def frame(self, timeout: float = 2.0, whole: bool = True) -> Frame:
        """The newest frame not handed out before, waiting up to timeout
        seconds for one. Frames cut short or damaged in transfer are passed
        over unless whole is False (then info.check says which). Raises
        FrameTimeoutError, or NoCameraError when the camera is gone."""
        end = time.monotonic() + timeout
        with self._lock:
            lib = self._running()
            info = _lib.FRAME_INFO(size=ctypes.sizeof(_lib.FRAME_INFO))
            words = np.empty(_lib.FRAME_BYTES // 2, dtype="<u2")
            while True:
                result = lib.QDX_GetFrameEx(words.ctypes.data_as(ctypes.POINTER(ctypes.c_ubyte)),
                                            _lib.FRAME_BYTES, ctypes.byref(info))
                if result == _lib.OK and (not whole or info.check == FrameCheck.WHOLE):
                    return _frame(words, info)
                left = end - time.monotonic()
                if left <= 0 or self._closing.is_set():
                    break
                assert self._semaphore is not None
                self._semaphore.wait(min(left, _WAIT_SLICE))
            if self._closing.is_set():
                raise _lib.QdxError(None, "the camera was closed while waiting for a frame")
            if not self.connected:
                raise _lib.NoCameraError("No Connected Camera! No frame: the camera went away")
        raise _lib.FrameTimeoutError(None, f"no {'whole ' if whole else ''}frame within {timeout:g} s")

    def frames(self, count: int | None = None, timeout: float = 2.0, whole: bool = True) -> Iterator[Frame]:
        """count frames (without end for None) as frame() gives them: each
        one newer than the one before."""
        taken = 0
        while count is None or taken < count:
            yield self.frame(timeout, whole)
            taken += 1


def _frame(words: np.ndarray, info: _lib.FRAME_INFO) -> Frame:
    received = min(info.length, _lib.FRAME_BYTES) // 2
    return Frame(_read_only(words[:received]),
                 FrameInfo(index=info.index, monotonic_ns=info.monotonicNs, wall_ns=info.wallNs,
                           skipped=info.skipped, check=FrameCheck(info.check), length=info.length))
