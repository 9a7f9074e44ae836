"""A connection to the analyzer through the plug-in, usable from any thread."""

from __future__ import annotations

import ctypes
import itertools
import os
import sys
import weakref
from pathlib import Path
from typing import TYPE_CHECKING, Callable, TypeVar, Union

from . import _library
from ._worker import Worker
from .errors import check, error_for_status

if TYPE_CHECKING:
    from .port import Port

__all__ = ["Session", "PORTS"]

T = TypeVar("T")

#: The analyzer's test ports that a session can configure.
PORTS = range(1, 5)

# The plug-in keeps at most this many bytes of the path and of the prefix;
# a longer text would be cut silently and the file land somewhere else.
_MAX_TEXT_BYTES = 255

_session_numbers = itertools.count(1)


def _encode_text(value: Union[str, "os.PathLike[str]"], what: str) -> bytes:
    text = os.fspath(value)
    if not isinstance(text, str):
        raise TypeError(f"{what} must be a str or a path, not {type(value).__name__}")
    # The plug-in takes narrow strings: the file system's encoding on POSIX,
    # the ANSI code page on Windows.
    data = text.encode("mbcs") if sys.platform == "win32" else os.fsencode(text)
    if b"\0" in data:
        raise ValueError(f"{what} must not contain a NUL character")
    if len(data) > _MAX_TEXT_BYTES:
        raise ValueError(f"{what} is {len(data)} bytes long; the plug-in keeps at most "
                         f"{_MAX_TEXT_BYTES}")
    return data


def _decode_text(data: bytes) -> str:
    data = data.split(b"\0", 1)[0]
    return data.decode("mbcs") if sys.platform == "win32" else os.fsdecode(data)


def _shutdown(worker: Worker, lib: ctypes.CDLL) -> object:
    # Runs once: from close(), when the session is collected, or at exit.
    return worker.stop(lambda: int(lib.QVZ_close()))


class Session:
    """A session of the plug-in connected to one analyzer.

    ``Session("TCPIP0::127.0.0.1::5025::SOCKET")`` loads the plug-in (see
    :func:`qvzfix.load_library`), opens the connection and returns a session
    whose settings start at the plug-in's defaults. The session owns a worker
    thread on which the plug-in's ``QVZ_init``, every call and ``QVZ_close``
    run, so it may be used from any Python thread; calls from several
    threads are carried out one at a time. Each call may block for the
    analyzer's I/O timeout (2 s per query or command).

    Use it as a context manager, or call :meth:`close`; a session that is
    neither is closed when it is collected or when the interpreter exits.

    Raises:
        ConnectionFailed: the analyzer cannot be reached at ``resource``.
        Error: any other failure of ``QVZ_init``.
        LibraryNotFoundError: no plug-in could be loaded.
    """

    def __init__(self, resource: str) -> None:
        self._resource = resource
        self._lib = _library.library()
        encoded = resource.encode("ascii")
        if b"\0" in encoded:
            raise ValueError("the resource name must not contain a NUL character")
        self._worker = Worker(f"qvzfix-session-{next(_session_numbers)}")
        try:
            status = self._worker.run(lambda: int(self._lib.QVZ_init(encoded)))
        except BaseException:  # e.g. Ctrl-C while connecting: leave no thread behind
            _shutdown(self._worker, self._lib)
            raise
        if status < 0:
            # The plug-in keeps the thread's session even when the connection
            # failed; free it with the thread.
            _shutdown(self._worker, self._lib)
            raise error_for_status(status, "QVZ_init")
        self._finalizer = weakref.finalize(self, _shutdown, self._worker, self._lib)

    # Lifetime --------------------------------------------------------------

    def close(self) -> None:
        """Closes the connection, frees the plug-in's session and ends the
        worker thread. Closing again does nothing.

        Raises:
            Error: ``QVZ_close`` failed (the session is closed nonetheless).
        """
        status = self._finalizer()
        if isinstance(status, int):
            check(status, "QVZ_close")

    @property
    def closed(self) -> bool:
        """True once the session has been closed."""
        return not self._finalizer.alive

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<qvzfix.Session {self._resource!r} ({state})>"

    @property
    def resource(self) -> str:
        """The VISA resource name the session was opened with."""
        return self._resource

    # Calls -----------------------------------------------------------------

    def _run(self, job: Callable[[ctypes.CDLL], T]) -> T:
        """Runs ``job(library)`` on the session's thread and returns its result."""
        lib = self._lib
        return self._worker.run(lambda: job(lib))

    def _call(self, function: str, *args: object) -> None:
        """Calls one plug-in function on the session's thread; raises on failure."""
        self._run(lambda lib: check(getattr(lib, function)(*args), function))

    def _read_text(self, lib: ctypes.CDLL, function: str) -> str:
        buffer = ctypes.create_string_buffer(_MAX_TEXT_BYTES + 1)
        check(getattr(lib, function)(len(buffer), buffer), function)
        return _decode_text(buffer.raw)

    # Settings shared by all ports -------------------------------------------

    @property
    def path(self) -> str:
        """Directory of the Touchstone files, ending in the platform's
        separator (the plug-in appends one when it is missing). Defaults to
        the working directory at the time the session was opened.

        Setting it applies at once when :attr:`apply_immediate` is on, and
        raises the apply's error (the new path stays set). At most 255 bytes.
        """
        return self._run(lambda lib: self._read_text(lib, "QVZ_GetS2PFilePath"))

    @path.setter
    def path(self, value: Union[str, "os.PathLike[str]"]) -> None:
        self._call("QVZ_SetS2PFilePath", _encode_text(value, "the path"))

    @property
    def prefix(self) -> str:
        """Prefix of the Touchstone file names (default ``"Prefix_"``): port n
        writes ``<path><prefix>Port<n>.s2p``. Setting it applies at once when
        :attr:`apply_immediate` is on. At most 255 bytes."""
        return self._run(lambda lib: self._read_text(lib, "QVZ_GetS2PFilePrefix"))

    @prefix.setter
    def prefix(self, value: str) -> None:
        self._call("QVZ_SetS2PFilePrefix", _encode_text(value, "the prefix"))

    @property
    def apply_immediate(self) -> bool:
        """When True, every setting that changes is applied to the analyzer at
        once (and a failing apply raises from the setter). Switching it on
        applies the active port once."""

        def read(lib: ctypes.CDLL) -> bool:
            flag = ctypes.c_uint16()
            check(lib.QVZ_GetApplyImmediate(ctypes.byref(flag)), "QVZ_GetApplyImmediate")
            return bool(flag.value)

        return self._run(read)

    @apply_immediate.setter
    def apply_immediate(self, value: bool) -> None:
        self._call("QVZ_SetApplyImmediate", 1 if value else 0)

    # Ports -----------------------------------------------------------------

    def port(self, number: int) -> "Port":
        """The settings of test port ``number`` (1 to 4).

        The plug-in addresses one active port at a time; every call through
        the returned :class:`Port` selects its port first, in the same step,
        so ports may be used from several threads at once.
        """
        from .port import Port  # the two modules refer to each other

        if isinstance(number, bool) or not isinstance(number, int) or number not in PORTS:
            raise ValueError(f"port must be 1 to 4, not {number!r}")
        return Port(self, number)

    def _on_port(self, number: int, job: Callable[[ctypes.CDLL], T]) -> T:
        """Selects port ``number`` and runs ``job`` as one step on the thread."""

        def selected(lib: ctypes.CDLL) -> T:
            check(lib.QVZ_SetActivePort(number), "QVZ_SetActivePort")
            return job(lib)

        return self._run(selected)

    def _file_of(self, lib: ctypes.CDLL, number: int) -> Path:
        """The Touchstone file of port ``number``, as the plug-in names it."""
        path = self._read_text(lib, "QVZ_GetS2PFilePath")
        prefix = self._read_text(lib, "QVZ_GetS2PFilePrefix")
        return Path(f"{path}{prefix}Port{number}.s2p")

