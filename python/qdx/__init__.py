"""The QDX camera from Python: the camera library (libQDX_API.so.1) through
ctypes, frames as numpy arrays of the camera's 12-bit values with each
frame's index and arrival time, settings by name, and 16-bit picture files.

    import qdx

    with qdx.Camera() as cam:               # starts the library, waits for the camera
        cam.settings["exposure"] = 300      # by qdxctl's names, in the camera's units
        frame = cam.frame()                 # the newest whole frame
        print(frame.info.index, frame.info.wall_time, frame.y.mean())
        for frame in cam.frames(count=10):  # one after another, no frame twice
            ...
    qdx.save_png16("luma.png", frame.y)     # 16-bit PNG, sBIT 12

The library is libQDX_API.so.1 as installed, or the file named by the
environment variable QDX_LIBRARY. QDX_CAMERA=sim selects the simulated camera
built into the library.
"""

from ._lib import (
    FRAME_BYTES,
    FRAME_HEIGHT,
    FRAME_WIDTH,
    FrameTimeoutError,
    LibraryError,
    NoCameraError,
    QdxError,
    SettingValueError,
    TransferError,
)
from .camera import Camera, Frame, FrameCheck, FrameInfo
from .files import save_png16, save_tiff, to_16_bits
from .settings import SettingInfo, Settings

__all__ = [
    "Camera", "Frame", "FrameCheck", "FrameInfo", "Settings", "SettingInfo",
    "QdxError", "LibraryError", "NoCameraError", "TransferError", "SettingValueError", "FrameTimeoutError",
    "save_png16", "save_tiff", "to_16_bits", "FRAME_WIDTH", "FRAME_HEIGHT", "FRAME_BYTES",
]
