"""The camera's settings by the names qdxctl and the viewer's settings file
use ("exposure", "red-gain", "mode"), with their ranges, units and combo
entries. The table is written at build time from the viewer's own table
(_settings.json), so the names and ranges are the same everywhere."""

from __future__ import annotations

import ctypes
import json
import operator
from collections.abc import Iterator, Mapping
from dataclasses import dataclass
from functools import cache
from pathlib import Path

from . import _lib


@dataclass(frozen=True)
class SettingInfo:
    """One setting of the table. kind is "slider" (a whole number from
    minimum to maximum), "combo" (one of entries: text -> the value the
    camera takes) or "none" (the one-push white balance, 0 or 1). A value
    times factor is in unit ("ms", "x", "dB" or "")."""

    name: str
    caption: str
    kind: str
    minimum: int
    maximum: int
    default: int
    unit: str
    factor: float
    entries: dict[str, int]
    register: int
    set: str
    get: str
    index: int | None

    def value_of(self, value: int | str) -> int:
        """The value the camera takes for value: a whole number in range, or
        for a combo an entry's text (case ignored; the text wins where an
        entry is a number, as in qdxctl: area1 "100" is entry 2) or its value.
        Raises SettingValueError for anything else."""
        if self.kind == "combo":
            if isinstance(value, str):
                for text, camera_value in self.entries.items():
                    if text.lower() == value.strip().lower():
                        return camera_value
            number = _whole_number(value)
            if number is not None and number in self.entries.values():
                return number
            offered = ", ".join(f"{v} {t}" for t, v in self.entries.items())
            raise _lib.SettingValueError(_lib.ERR_ARGUMENT, f"{value!r} is not a value of {self.name} ({offered})")
        number = _whole_number(value)
        if number is None:
            raise _lib.SettingValueError(_lib.ERR_ARGUMENT, f"{self.name}: {value!r} is not a whole number")
        if not self.minimum <= number <= self.maximum:
            raise _lib.SettingValueError(
                _lib.ERR_ARGUMENT, f"{self.name} {number} is out of range {self.minimum}..{self.maximum}")
        return number


def _index(info: SettingInfo) -> tuple[int, ...]:
    """The leading index argument of an indexed setting's calls (QDX_Set_GainRB(1, v))."""
    return () if info.index is None else (info.index,)


def _whole_number(value: object) -> int | None:
    if isinstance(value, bool):
        return None
    if isinstance(value, str):
        try:
            return int(value.strip(), 0)
        except ValueError:
            return None
    try:
        return operator.index(value)
    except TypeError:
        return None


@cache
def table() -> dict[str, SettingInfo]:
    """Every setting by name, in the order of the viewer's Picture page."""
    path = Path(__file__).with_name("_settings.json")
    try:
        rows = json.loads(path.read_text(encoding="utf-8"))["settings"]
    except (OSError, ValueError, KeyError) as error:
        raise _lib.LibraryError(None, f"{path}: the settings table could not be read ({error}); "
                                "the package is incomplete: install it with cmake --install") from None
    return {row["name"]: SettingInfo(
        name=row["name"], caption=row["caption"], kind=row["kind"], minimum=row["minimum"],
        maximum=row["maximum"], default=row["default"], unit=row["unit"], factor=row["factor"],
        entries={e["text"]: e["value"] for e in row["entries"]}, register=row["register"],
        set=row["set"], get=row["get"], index=row["index"]) for row in rows}


class Settings(Mapping[str, int]):
    """The open camera's settings: settings["exposure"] reads the camera,
    settings["exposure"] = 300 sends a value, dict(settings) reads them all.

    Values are sent as given, checked against the table only, like
    `qdxctl set --raw`: the viewer's rules between settings (ALC forcing the
    mode, FPN correction holding the RAW gain, ...) are not followed; use
    qdxctl set for those. Raises KeyError for an unknown name,
    SettingValueError for a value the setting does not take (nothing is
    sent), NoCameraError or TransferError when the camera does not answer."""

    def __init__(self, check) -> None:
        self._check = check  # Camera._check: a library result to an exception

    def info(self, name: str) -> SettingInfo:
        """The table's row for name; KeyError for an unknown one."""
        try:
            return table()[name]
        except KeyError:
            raise KeyError(f"unknown setting {name!r} (settings: {', '.join(table())})") from None

    def __getitem__(self, name: str) -> int:
        info = self.info(name)
        value = ctypes.c_int(0)
        get = _lib.function(info.get, info.index is not None, getter=True)
        self._check(f"{info.get} for {name}", get(*_index(info), ctypes.byref(value)))
        return value.value

    def __setitem__(self, name: str, value: int | str) -> None:
        info = self.info(name)
        camera_value = info.value_of(value)
        send = _lib.function(info.set, info.index is not None, getter=False)
        self._check(f"{info.set} for {name}", send(*_index(info), camera_value))

    def __iter__(self) -> Iterator[str]:
        return iter(table())

    def __len__(self) -> int:
        return len(table())

    def __contains__(self, name: object) -> bool:
        return name in table()
