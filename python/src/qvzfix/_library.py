"""Finding and loading the qvzfix plug-in, with every function declared once."""

from __future__ import annotations

import ctypes
import os
import sys
import threading
from pathlib import Path
from typing import Dict, List, Mapping, Optional, Sequence, Tuple

__all__ = [
    "LibraryNotFoundError",
    "ENVIRONMENT_VARIABLE",
    "candidates",
    "load_library",
    "library",
]

#: Environment variable that names the plug-in to load, as a file path.
ENVIRONMENT_VARIABLE = "QVZFIX_LIBRARY"

# A plug-in build may be shipped inside the package, in this folder.
_SHIPPED_DIRECTORY = Path(__file__).resolve().parent / "lib"

# Standard file names, in the order they are tried. The versioned name comes
# first on Linux so that an installed runtime package (which has no
# unversioned development link) is found too.
_STANDARD_NAMES: Dict[str, Tuple[str, ...]] = {
    "linux": ("libqvzfix.so.1", "libqvzfix.so"),
    "win32": ("qvzfix.dll",),
}

_int32 = ctypes.c_int32
_int32_p = ctypes.POINTER(ctypes.c_int32)
_double = ctypes.c_double
_double_p = ctypes.POINTER(ctypes.c_double)
_char_p = ctypes.c_char_p
_uint16 = ctypes.c_uint16
_uint16_p = ctypes.POINTER(ctypes.c_uint16)

# The 24 exported functions: argument types; each returns an int32 status.
PROTOTYPES: Dict[str, Tuple[type, ...]] = {
    "QVZ_init": (_char_p,),
    "QVZ_close": (),
    "QVZ_ResetValues": (),
    "QVZ_SetActivePort": (_int32,),
    "QVZ_GetActivePort": (_int32_p,),
    "QVZ_SetCircuit": (_int32,),
    "QVZ_GetCircuit": (_int32_p,),
    "QVZ_SetSmoothing": (_int32,),
    "QVZ_GetSmoothing": (_int32_p,),
    "QVZ_SetAction": (_int32,),
    "QVZ_GetAction": (_int32_p,),
    "QVZ_SetRLCGValues": (_double, _double, _double, _double),
    "QVZ_GetRLCGValues": (_double_p, _double_p, _double_p, _double_p),
    "QVZ_SetL1R1L2R2Values": (_double, _double, _double, _double),
    "QVZ_GetL1R1L2R2Values": (_double_p, _double_p, _double_p, _double_p),
    "QVZ_SetC1G1C2G2Values": (_double, _double, _double, _double),
    "QVZ_GetC1G1C2G2Values": (_double_p, _double_p, _double_p, _double_p),
    "QVZ_SetS2PFilePath": (_char_p,),
    "QVZ_GetS2PFilePath": (_int32, _char_p),
    "QVZ_SetS2PFilePrefix": (_char_p,),
    "QVZ_GetS2PFilePrefix": (_int32, _char_p),
    "QVZ_SetApplyImmediate": (_uint16,),
    "QVZ_GetApplyImmediate": (_uint16_p,),
    "QVZ_ApplyChanges": (),
}


class LibraryNotFoundError(ImportError):
    """No qvzfix plug-in could be loaded.

    ``tried`` lists each candidate with the reason it failed, in the order
    they were tried; the message names them all.
    """

    def __init__(self, tried: Sequence[Tuple[str, str]]) -> None:
        self.tried: List[Tuple[str, str]] = list(tried)
        lines = "\n".join(f"  {name}: {reason}" for name, reason in self.tried)
        super().__init__(
            "cannot load the qvzfix plug-in; tried:\n"
            f"{lines}\n"
            f"Set {ENVIRONMENT_VARIABLE} to the library's path "
            "(libqvzfix.so on Linux, qvzfix.dll on Windows)."
        )


def _platform_key(platform: str) -> str:
    return "win32" if platform.startswith(("win", "cygwin", "msys")) else "linux"


def candidates(
    platform: Optional[str] = None,
    environ: Optional[Mapping[str, str]] = None,
    shipped_directory: Optional[Path] = None,
) -> List[str]:
    """The libraries to try, in order, for ``platform`` (a ``sys.platform`` value).

    When ``QVZFIX_LIBRARY`` is set in ``environ`` it is the only candidate:
    a user who names a library must get that one or an error, never another
    one found elsewhere. Otherwise: the libraries shipped in the package's
    ``lib`` folder (standard names, in order), then the standard names alone,
    for the system loader to find.
    """
    platform = sys.platform if platform is None else platform
    environ = os.environ if environ is None else environ
    shipped = _SHIPPED_DIRECTORY if shipped_directory is None else shipped_directory

    explicit = environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        return [explicit]
    names = _STANDARD_NAMES[_platform_key(platform)]
    found = [str(shipped / name) for name in names if (shipped / name).is_file()]
    return found + list(names)


def _declare(handle: ctypes.CDLL) -> None:
    for name, argtypes in PROTOTYPES.items():
        function = getattr(handle, name)
        function.argtypes = argtypes
        function.restype = ctypes.c_int32


def load_library(names: Optional[Sequence[str]] = None) -> ctypes.CDLL:
    """Loads the first of ``names`` (default: :func:`candidates`) that loads
    and exports all 24 functions, with their prototypes declared.

    Raises :class:`LibraryNotFoundError` naming each candidate and why it
    failed.
    """
    tried: List[Tuple[str, str]] = []
    for name in candidates() if names is None else names:
        try:
            handle = ctypes.CDLL(name)
        except OSError as error:
            tried.append((name, str(error) or "does not load"))
            continue
        try:
            _declare(handle)
        except AttributeError as error:
            tried.append((name, f"not a qvzfix plug-in ({error})"))
            continue
        return handle
    raise LibraryNotFoundError(tried)


_loaded: Optional[ctypes.CDLL] = None
_loading = threading.Lock()


def library() -> ctypes.CDLL:
    """The process's plug-in, loaded at the first call and kept afterwards."""
    global _loaded
    with _loading:
        if _loaded is None:
            _loaded = load_library()
        return _loaded
