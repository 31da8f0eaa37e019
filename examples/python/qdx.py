"""A small ctypes wrapper over libQDX_API: the camera's status, its settings
by the library's own names, frames as numpy arrays and the change mask.

    import qdx
    with qdx.Camera() as camera:        # QDX_Init ... QDX_Term
        camera.wait_connected()
        camera.set("ExposureTime", 200)   # QDX_Set_ExposureTime(200)
        camera.get("GainRB", 1)           # QDX_Get_GainRB(1, &value): the blue gain
        picture = camera.frame()          # 404 x 404 x (Y, Cb, Cr), 12-bit values

The library is looked up as libQDX_API.so.1 (the installed library), or at
the path in the environment variable QDX_LIBRARY. QDX_CAMERA=sim selects the
simulated camera built into the library.
"""

import ctypes
import ctypes.util
import os
import time

import numpy as np

FRAME_WIDTH = 404
FRAME_HEIGHT = 404
FRAME_BYTES = FRAME_WIDTH * FRAME_HEIGHT * 4
STATUS_CONNECTED = 1
FRAME_MARKERS = ((0, 0xFF00), (1, 0x0080), (-2, 0xFF00), (-1, 0x009D))


class QdxError(RuntimeError):
    """A library call returned a result other than 0."""

    def __init__(self, call, result):
        super().__init__(f"{call} returned {result}")
        self.call = call
        self.result = result


class _Timespec(ctypes.Structure):
    _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]


def _load(path=None):
    path = path or os.environ.get("QDX_LIBRARY") or ctypes.util.find_library("QDX_API") or "libQDX_API.so.1"
    return ctypes.CDLL(path)


class Camera:
    """The library's one camera. Start and stop it with the with-statement,
    or open() and close()."""

    def __init__(self, library=None):
        self._lib = _load(library)
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._open = False

    def open(self):
        self._call("QDX_Init")
        self._open = True
        return self

    def close(self):
        if self._open:
            self._lib.QDX_Term()
            self._open = False

    def __enter__(self):
        return self.open()

    def __exit__(self, *exc):
        self.close()

    def _call(self, name, *args):
        result = getattr(self._lib, name)(*args)
        if result != 0:
            raise QdxError(name, result)

    def connected(self):
        status = ctypes.c_int(0)
        self._call("QDX_GetStatus", ctypes.byref(status))
        return bool(status.value & STATUS_CONNECTED)

    def wait_connected(self, timeout=3.0):
        """Waits for the library to open the camera; False after timeout."""
        end = time.monotonic() + timeout
        while not self.connected():
            if time.monotonic() > end:
                return False
            time.sleep(0.01)
        return True

    def version(self):
        value = ctypes.c_uint(0)
        self._call("QDX_GetVersion", ctypes.byref(value))
        v = value.value
        return (v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)

    def get(self, name, index=None):
        """The value of QDX_Get_<name>, with an index for indexed settings."""
        value = ctypes.c_int(0)
        if index is None:
            self._call(f"QDX_Get_{name}", ctypes.byref(value))
        else:
            self._call(f"QDX_Get_{name}", ctypes.c_int(index), ctypes.byref(value))
        return value.value

    def set(self, name, value, index=None):
        """QDX_Set_<name>(value), or QDX_Set_<name>(index, value)."""
        if index is None:
            self._call(f"QDX_Set_{name}", ctypes.c_int(value))
        else:
            self._call(f"QDX_Set_{name}", ctypes.c_int(index), ctypes.c_int(value))

    def change_mask(self):
        """The FPGA registers the camera changed itself since the last call."""
        mask = (ctypes.c_ubyte * 6)()
        self._call("QDX_GetFpgaStatus", ctypes.c_uint(6), mask)
        return {8 * i + bit for i, byte in enumerate(mask) for bit in range(8) if byte & (1 << bit)}

    def index(self):
        """Frames received since the camera was last connected."""
        value = ctypes.c_int(0)
        self._call("QDX_GetIndex", ctypes.byref(value))
        return value.value

    def _wait_frame_signal(self, timeout):
        handle = ctypes.c_void_p(None)
        self._call("QDX_GetDataSemaphoHandle", ctypes.byref(handle))
        deadline = _Timespec()
        self._libc.clock_gettime(0, ctypes.byref(deadline))  # CLOCK_REALTIME, as sem_timedwait wants
        nanoseconds = deadline.tv_nsec + int(timeout * 1e9)
        deadline.tv_sec += nanoseconds // 1_000_000_000
        deadline.tv_nsec = nanoseconds % 1_000_000_000
        if self._libc.sem_timedwait(handle, ctypes.byref(deadline)) != 0:
            return False
        while self._libc.sem_trywait(handle) == 0:  # only the newest frame counts
            pass
        return True

    def raw_frame(self, timeout=2.0):
        """The next whole frame as the library hands it out: 652,864 bytes.
        Raises TimeoutError when no whole frame arrives in time."""
        buffer = (ctypes.c_ubyte * FRAME_BYTES)()
        length = ctypes.c_uint(0)
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if not self._wait_frame_signal(min(0.1, max(end - time.monotonic(), 0.001))):
                continue
            if self._lib.QDX_GetFrame(buffer, ctypes.c_uint(FRAME_BYTES), ctypes.byref(length)) != 0:
                continue
            words = np.frombuffer(buffer, dtype="<u2")
            if length.value == FRAME_BYTES and all(words[i] == w for i, w in FRAME_MARKERS):
                return bytes(buffer)
        raise TimeoutError("no whole frame")

    def frame(self, timeout=2.0):
        """The next whole frame as a (404, 404, 3) array of the 12-bit Y, Cb
        and Cr of each pixel (each pixel pair shares its Cb and Cr)."""
        words = np.frombuffer(self.raw_frame(timeout), dtype="<u2").reshape(FRAME_HEIGHT, FRAME_WIDTH // 2, 4) >> 4
        cb, y0, cr, y1 = (words[:, :, k] for k in range(4))
        picture = np.empty((FRAME_HEIGHT, FRAME_WIDTH, 3), dtype=np.uint16)
        picture[:, 0::2, 0], picture[:, 1::2, 0] = y0, y1
        picture[:, 0::2, 1] = picture[:, 1::2, 1] = cb
        picture[:, 0::2, 2] = picture[:, 1::2, 2] = cr
        return picture
