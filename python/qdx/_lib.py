"""libQDX_API.so.1 through ctypes: loading it, the prototypes this package
calls, the frame information record and the library's result codes."""

from __future__ import annotations

import ctypes
import os
import threading

SONAME = "libQDX_API.so.1"

# Result codes (QDX_API.h). Codes of different functions share values.
OK = 0
ERR_TRANSFER = 1
ERR_ARGUMENT = -1
FRAME_REPEATED = 1
ERR_NO_FRAME = -1
ERR_RESOURCES = 8

STATUS_CONNECTED = 1

FRAME_WIDTH = 404
FRAME_HEIGHT = 404
FRAME_BYTES = FRAME_WIDTH * FRAME_HEIGHT * 4

DEVICE_PROBLEMS = {
    1: "permission denied (install the udev rule, or join the group that owns the device node)",
    2: "in use by another program",
    3: "it could not be opened",
}


class QdxError(Exception):
    """A failure of the camera library. code is the library's result code
    (QDX_ERR_TRANSFER 1, QDX_ERR_ARGUMENT -1, ...), or None where the
    failure is this package's own (no library, a wait that timed out)."""

    def __init__(self, code: int | None, message: str) -> None:
        super().__init__(message)
        self.code = code
        self.message = message


class LibraryError(QdxError):
    """libQDX_API.so.1 could not be loaded, or lacks a function this package needs."""


class NoCameraError(QdxError):
    """No camera is open: none came within the wait, one is present but was
    refused (problem says why), or the open one went away."""

    def __init__(self, message: str, problem: str | None = None) -> None:
        super().__init__(ERR_TRANSFER, message)
        self.problem = problem


class TransferError(QdxError):
    """A camera is open but a request to it failed."""


class SettingValueError(QdxError, ValueError):
    """A value the setting does not take; nothing was sent."""


class FrameTimeoutError(QdxError, TimeoutError):
    """No frame came within the wait although the camera is open."""


class FRAME_INFO(ctypes.Structure):
    """QDX_FRAME_INFO: 48 bytes, size set by the caller."""

    _fields_ = [
        ("size", ctypes.c_uint32),
        ("length", ctypes.c_uint32),
        ("index", ctypes.c_uint64),
        ("monotonicNs", ctypes.c_int64),
        ("wallNs", ctypes.c_int64),
        ("skipped", ctypes.c_uint64),
        ("check", ctypes.c_int32),
        ("reserved", ctypes.c_uint32),
    ]


assert ctypes.sizeof(FRAME_INFO) == 48


class DEVICE_PROBLEM(ctypes.Structure):
    _fields_ = [
        ("reason", ctypes.c_int),
        ("busNumber", ctypes.c_int),
        ("deviceAddress", ctypes.c_int),
        ("vendorId", ctypes.c_ushort),
        ("productId", ctypes.c_ushort),
        ("devicePath", ctypes.c_char * 32),
    ]


class _Timespec(ctypes.Structure):
    _fields_ = [("tv_sec", ctypes.c_long), ("tv_nsec", ctypes.c_long)]


_int_p = ctypes.POINTER(ctypes.c_int)
_uint_p = ctypes.POINTER(ctypes.c_uint)
_bytes_p = ctypes.POINTER(ctypes.c_ubyte)

_PROTOTYPES = {
    "QDX_Init": [],
    "QDX_Term": [],
    "QDX_GetVersion": [_uint_p],
    "QDX_GetStatus": [_int_p],
    "QDX_GetDeviceProblem": [ctypes.POINTER(DEVICE_PROBLEM)],
    "QDX_GetDataSemaphoHandle": [ctypes.POINTER(ctypes.c_void_p)],
    "QDX_GetFrameEx": [_bytes_p, ctypes.c_uint, ctypes.POINTER(FRAME_INFO)],
    "QDX_GetFpgaStatus": [ctypes.c_uint, _bytes_p],
}

_loaded: ctypes.CDLL | None = None
_load_lock = threading.Lock()


def library() -> ctypes.CDLL:
    """The library, loaded once per process: the path in QDX_LIBRARY (a build
    tree's library, for tests) or the installed soname. Raises LibraryError."""
    global _loaded
    with _load_lock:
        if _loaded is None:
            _loaded = _load(os.environ.get("QDX_LIBRARY") or SONAME)
        return _loaded


def _load(path: str) -> ctypes.CDLL:
    try:
        lib = ctypes.CDLL(path)
    except OSError as error:
        raise LibraryError(None, f"the camera library could not be loaded: {error} "
                           f"(install the qdx package, or set QDX_LIBRARY to libQDX_API.so.1's path)") from None
    for name, arguments in _PROTOTYPES.items():
        try:
            function = getattr(lib, name)
        except AttributeError:
            raise LibraryError(None, f"{path} has no {name}: a library of interface 1.2 or later is needed") from None
        function.argtypes = arguments
        function.restype = ctypes.c_int
    return lib


def function(name: str, indexed: bool, getter: bool):
    """A QDX_Set_*/QDX_Get_* function by its exported name, with its prototype."""
    try:
        f = getattr(library(), name)
    except AttributeError:
        raise LibraryError(None, f"the camera library has no {name}") from None
    value = _int_p if getter else ctypes.c_int
    f.argtypes = [ctypes.c_int, value] if indexed else [value]
    f.restype = ctypes.c_int
    return f


class Semaphore:
    """The library's data semaphore (a sem_t*), valid from QDX_Init to QDX_Term."""

    _libc = ctypes.CDLL(None, use_errno=True)
    _libc.sem_clockwait.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.POINTER(_Timespec)]
    _libc.sem_trywait.argtypes = [ctypes.c_void_p]
    _libc.clock_gettime.argtypes = [ctypes.c_int, ctypes.POINTER(_Timespec)]
    _CLOCK_MONOTONIC = 1

    def __init__(self, handle: int) -> None:
        self._handle = ctypes.c_void_p(handle)

    def wait(self, seconds: float) -> bool:
        """Waits up to seconds for a frame signal (the GIL released meanwhile),
        then takes every signal pending: only the newest frame counts."""
        deadline = _Timespec()
        self._libc.clock_gettime(self._CLOCK_MONOTONIC, ctypes.byref(deadline))
        nanoseconds = deadline.tv_nsec + max(int(seconds * 1e9), 0)
        deadline.tv_sec += nanoseconds // 1_000_000_000
        deadline.tv_nsec = nanoseconds % 1_000_000_000
        if self._libc.sem_clockwait(self._handle, self._CLOCK_MONOTONIC, ctypes.byref(deadline)) != 0:
            return False
        while self._libc.sem_trywait(self._handle) == 0:
            pass
        return True
