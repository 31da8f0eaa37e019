"""16-bit picture files of 12-bit camera values: PNG (with an sBIT chunk
saying how many bits are significant) and TIFF.

Values of fewer than 16 bits are spread over the 16 as the viewer's and
qdxctl's 16-bit stills do it, by repeating their top bits below them
(12 bits: v << 4 | v >> 8), so 0 stays 0 and 4095 becomes 65535; a reader
that honours sBIT gets v back with a right shift.

Files are written beside their name and renamed into place when whole, so a
failure leaves the file already there as it was. A folder, device node, FIFO
or socket under the name is refused; a symbolic link is replaced, never
followed."""

from __future__ import annotations

import contextlib
import errno
import io
import os
import secrets
import stat
import struct
import zlib
from collections.abc import Callable
from typing import BinaryIO

import numpy as np

PathLike = str | os.PathLike[str]


def to_16_bits(array: np.ndarray, bits: int = 12) -> np.ndarray:
    """array's values of bits bits (8..16) spread over 16 bits, as uint16.
    Raises ValueError for an array that is not whole numbers of that range."""
    if not 8 <= bits <= 16:
        raise ValueError(f"bits must be 8..16, not {bits}")
    array = np.asarray(array)
    if array.dtype.kind not in "ui":
        raise ValueError(f"the picture must be of whole numbers, not {array.dtype}")
    if array.size and (array.min() < 0 or array.max() >= 1 << bits):
        raise ValueError(f"the picture holds {array.min()}..{array.max()}, not {bits}-bit values 0..{(1 << bits) - 1}")
    v = array.astype(np.uint16)
    return v if bits == 16 else (v << (16 - bits)) | (v >> (2 * bits - 16))


def _picture(array: np.ndarray) -> np.ndarray:
    array = np.asarray(array)
    if not (array.ndim == 2 or (array.ndim == 3 and array.shape[2] == 3)) or 0 in array.shape:
        raise ValueError(f"a picture is rows x columns (grey) or rows x columns x 3 (RGB), not {array.shape}")
    return array


def save_png16(path: PathLike, array: np.ndarray, bits: int = 12) -> None:
    """Writes array (rows x columns grey, or rows x columns x 3 RGB) of
    bits-bit values as a 16-bit PNG with an sBIT chunk of bits."""
    picture = to_16_bits(_picture(array), bits)
    rows, columns = picture.shape[:2]
    channels = 1 if picture.ndim == 2 else 3
    lines = np.zeros((rows, 1 + columns * channels * 2), dtype=np.uint8)  # filter byte 0: none
    lines[:, 1:] = picture.astype(">u2").reshape(rows, -1).view(np.uint8)

    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", columns, rows, 16, 0 if channels == 1 else 2, 0, 0, 0)
    content = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"sBIT", bytes([bits] * channels)) +
               chunk(b"IDAT", zlib.compress(lines.tobytes(), 6)) + chunk(b"IEND", b""))
    _replace(path, lambda f: f.write(content))


def save_tiff(path: PathLike, array: np.ndarray, bits: int = 12) -> None:
    """Writes array (rows x columns grey, or rows x columns x 3 RGB) of
    bits-bit values as an uncompressed 16-bit TIFF, by tifffile (Debian's
    python3-tifffile)."""
    try:
        import tifffile
    except ImportError:
        raise ImportError("qdx.save_tiff needs tifffile: install Debian's python3-tifffile "
                          "(or pip install tifffile)") from None
    picture = to_16_bits(_picture(array), bits)
    photometric = "minisblack" if picture.ndim == 2 else "rgb"
    # tifffile wants a named file or a buffer; the file beside the name has no name it would accept.
    encoded = io.BytesIO()
    tifffile.imwrite(encoded, picture, photometric=photometric, metadata=None)
    _replace(path, lambda f: f.write(encoded.getbuffer()))


def _replace(path: PathLike, write: Callable[[BinaryIO], object]) -> None:
    """Writes through write into a new file beside path, then renames it over path."""
    path = os.fspath(path)
    folder, name = os.path.split(path)
    if not name:
        raise IsADirectoryError(errno.EISDIR, "not a file name", path)
    try:
        mode = os.lstat(path).st_mode
    except FileNotFoundError:
        mode = None
    if mode is not None and stat.S_ISDIR(mode):
        raise IsADirectoryError(errno.EISDIR, "is a folder", path)
    if mode is not None and not (stat.S_ISREG(mode) or stat.S_ISLNK(mode)):
        raise OSError(errno.EINVAL, "not a regular file", path)
    for _ in range(8):
        temp = os.path.join(folder, f".{name}.tmp-{secrets.randbits(32):08x}")
        try:
            # Exclusive: a link planted under the temporary name is not followed.
            fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
            break
        except FileExistsError:
            continue
    else:
        raise FileExistsError(errno.EEXIST, "no temporary file could be made beside it", path)
    try:
        with os.fdopen(fd, "wb") as f:
            write(f)
            f.flush()
            # On disk before the rename, so that a crash cannot leave the name on an empty file.
            os.fsync(f.fileno())
        os.replace(temp, path)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(temp)
        raise
