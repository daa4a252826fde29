"""A symbol's history folder as bytes and back, for terminals on other
machines: read once where the sweep starts, written into each task's private
folder where it runs.

The read trusts what terminal64 trusts (the same checks, the same words):
folders and files of this user alone that nobody else can write, no link
followed, no FIFO or device opened (a FIFO would block the read).
"""
from __future__ import annotations

import dataclasses
import os
import stat
from pathlib import Path
from typing import Dict

BARS_FILE, TICKS_FILE = "M1.csv", "ticks.csv"  # terminal64's names, the ticks optional
LIMIT = 2 << 30  # bytes per file: twenty years of minute bars take about 1 GB


class HistoryError(ValueError):
    """A history folder or file that is not to be trusted or cannot be read."""


@dataclasses.dataclass(frozen=True)
class HistoryFiles:
    """The files of one symbol's history, by name."""

    symbol: str
    files: Dict[str, bytes]


def _check_name(symbol: str) -> None:
    # A symbol names one folder below the history folder, never a way out of it.
    if not isinstance(symbol, str) or symbol in ("", ".", "..") or any(
            sep and sep in symbol for sep in ("/", "\\", os.sep, os.altsep, "\0")):
        raise HistoryError(f"{symbol!r} is not a symbol's folder name")


def _private(st: os.stat_result) -> bool:
    # Only this user can have put it there, and only this user can change it.
    if not hasattr(os, "geteuid"):  # Windows: the engine's own checks hold there
        return True
    return st.st_uid == os.geteuid() and not st.st_mode & 0o022


def _check_folder(folder: Path) -> None:
    try:
        st = os.lstat(folder)
    except OSError:
        st = None
    if st is None or not stat.S_ISDIR(st.st_mode) or not _private(st):
        raise HistoryError(f"{folder} is not a folder of this user alone "
                           "(missing, a link, another user's, or writable by others)")


def _read(path: Path) -> bytes:
    flags = os.O_RDONLY | getattr(os, "O_NOFOLLOW", 0) | getattr(os, "O_NONBLOCK", 0) | getattr(os, "O_BINARY", 0)
    try:
        descriptor = os.open(path, flags)
    except FileNotFoundError:
        raise
    except OSError as error:
        raise HistoryError(f"{path} is not a regular file ({error.strerror})") from None
    with open(descriptor, "rb", closefd=True) as file:
        st = os.fstat(file.fileno())
        if not stat.S_ISREG(st.st_mode):
            raise HistoryError(f"{path} is not a regular file")
        if not _private(st):
            raise HistoryError(f"{path} belongs to another user or is writable by others")
        if st.st_size > LIMIT:
            raise HistoryError(f"{path} is larger than {LIMIT} bytes")
        data = file.read(LIMIT + 1)
    if len(data) > LIMIT:  # it grew while read
        raise HistoryError(f"{path} is larger than {LIMIT} bytes")
    return data


def read(folder: "os.PathLike[str] | str", symbol: str) -> HistoryFiles:
    """`symbol`'s files below `folder` (``<folder>/<SYMBOL>/M1.csv``, and
    ``ticks.csv`` when there is one), checked as terminal64 checks them."""
    _check_name(symbol)
    root = Path(folder).absolute()
    _check_folder(root)
    _check_folder(root / symbol)
    files = {}
    for name in (BARS_FILE, TICKS_FILE):
        try:
            files[name] = _read(root / symbol / name)
        except FileNotFoundError:
            if name == BARS_FILE:
                raise HistoryError(f"{root / symbol / name} is missing") from None
    return HistoryFiles(symbol, files)


def write(history: HistoryFiles, folder: Path) -> Path:
    """Writes `history` below the private, empty `folder` in terminal64's
    layout and returns `folder`."""
    _check_name(history.symbol)
    (folder / history.symbol).mkdir(mode=0o700)
    for name, data in history.files.items():
        descriptor = os.open(folder / history.symbol / name,
                             os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0), 0o600)
        with open(descriptor, "wb") as out:
            out.write(data)
    return folder
