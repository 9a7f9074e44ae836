"""Exceptions raised for the plug-in's failure statuses."""

from __future__ import annotations

from typing import Tuple, Type

from . import status as _status

__all__ = [
    "Error",
    "TimeoutExpired",
    "ConnectionFailed",
    "AnalyzerError",
    "FileError",
    "error_for_status",
    "check",
]


class Error(Exception):
    """A call of the plug-in returned a failure status.

    Attributes:
        status: the status as the plug-in returned it (a negative int).
        name: its symbolic name, e.g. ``"VI_ERROR_TMO"``.
        text: its fixed English text, e.g.
            ``"VI_ERROR_TMO: timeout expired before the operation completed"``.
        function: the plug-in function that returned it, e.g.
            ``"QVZ_ApplyChanges"`` (empty when unknown).
    """

    def __init__(self, status: int, function: str = "") -> None:
        self.status = status
        self.name = _status.status_name(status)
        self.text = _status.status_text(status)
        self.function = function
        where = f"{function}: " if function else ""
        super().__init__(f"{where}{self.text} (0x{status & 0xFFFFFFFF:08X})")

    def __reduce__(self) -> Tuple[Type["Error"], Tuple[int, str]]:
        # Rebuilt from the status, so that errors cross process boundaries
        # (multiprocessing, concurrent.futures) with every attribute intact.
        return type(self), (self.status, self.function)


class TimeoutExpired(Error, TimeoutError):
    """The analyzer did not answer within the session's I/O timeout
    (``VI_ERROR_TMO``). The plug-in has cleared the connection's input, so
    the next call starts afresh."""


class ConnectionFailed(Error, ConnectionError):
    """The analyzer cannot be reached: the connection was refused or no
    instrument answers at the resource (``VI_ERROR_RSRC_NFOUND``), or an open
    connection was lost (``VI_ERROR_CONN_LOST``). Open a new session."""


class AnalyzerError(Error):
    """The analyzer reported an error-queue entry after an apply.

    Attributes:
        scpi_number: the analyzer's error number, e.g. ``-256`` (file name not
            found) or a positive device-specific number such as ``102``.
    """

    def __init__(self, status: int, function: str = "") -> None:
        super().__init__(status, function)
        number = _status.scpi_number(status)
        self.scpi_number: int = 0 if number is None else number


class FileError(Error, OSError):
    """The Touchstone file could not be written: it cannot be created
    (``VI_ERROR_FILE_ACCESS``, e.g. a missing directory), a write failed
    (``VI_ERROR_FILE_IO``), or its name is too long (``VI_ERROR_INV_LENGTH``).
    The analyzer was not told to load it."""


_CLASSES = {
    _status.VI_ERROR_TMO: TimeoutExpired,
    _status.VI_ERROR_RSRC_NFOUND: ConnectionFailed,
    _status.VI_ERROR_CONN_LOST: ConnectionFailed,
    _status.VI_ERROR_FILE_ACCESS: FileError,
    _status.VI_ERROR_FILE_IO: FileError,
    _status.VI_ERROR_INV_LENGTH: FileError,
}


def error_for_status(status: int, function: str = "") -> Error:
    """The exception that stands for a negative ``status``."""
    cls = _CLASSES.get(status)
    if cls is None:
        cls = AnalyzerError if _status.scpi_number(status) is not None else Error
    return cls(status, function)


def check(status: int, function: str = "") -> None:
    """Raises the matching :class:`Error` when ``status`` is negative."""
    if status < 0:
        raise error_for_status(status, function)

