"""Finding the plug-in: the candidates on each platform, failures and what they say."""

from __future__ import annotations

import ctypes
import re
import subprocess
import sys
from pathlib import Path

import pytest

import qvzfix
from qvzfix import _library


@pytest.mark.parametrize("platform, shipped, expected", [
    ("linux", [], ["libqvzfix.so.1", "libqvzfix.so"]),
    ("linux", ["libqvzfix.so"], ["{lib}/libqvzfix.so", "libqvzfix.so.1", "libqvzfix.so"]),
    ("linux", ["libqvzfix.so.1", "libqvzfix.so", "qvzfix.dll"],
     ["{lib}/libqvzfix.so.1", "{lib}/libqvzfix.so", "libqvzfix.so.1", "libqvzfix.so"]),
    ("win32", [], ["qvzfix.dll"]),
    ("win32", ["qvzfix.dll", "libqvzfix.so"], ["{lib}/qvzfix.dll", "qvzfix.dll"]),
    ("cygwin", [], ["qvzfix.dll"]),
])
def test_candidates_by_platform(tmp_path, platform, shipped, expected):
    for name in shipped:
        (tmp_path / name).write_bytes(b"")
    found = _library.candidates(platform=platform, environ={}, shipped_directory=tmp_path)
    assert found == [name.replace("{lib}", str(tmp_path)) for name in expected]


@pytest.mark.parametrize("platform", ["linux", "win32"])
def test_the_environment_variable_names_the_only_candidate(tmp_path, platform):
    (tmp_path / "qvzfix.dll").write_bytes(b"")
    environ = {"QVZFIX_LIBRARY": "/opt/lab/libqvzfix.so.1"}
    assert _library.candidates(platform, environ, tmp_path) == ["/opt/lab/libqvzfix.so.1"]


def test_nothing_loadable_names_every_candidate_and_why(tmp_path):
    not_a_library = tmp_path / "libqvzfix.so"
    not_a_library.write_text("plain text")
    names = [str(tmp_path / "absent.so"), str(not_a_library), "libm.so.6"]
    with pytest.raises(ImportError) as raised:
        _library.load_library(names)
    error = raised.value
    assert isinstance(error, qvzfix.LibraryNotFoundError)
    assert [name for name, _ in error.tried] == names
    assert "not a qvzfix plug-in" in dict(error.tried)["libm.so.6"]
    for name in names:
        assert name in str(error)
    assert "QVZFIX_LIBRARY" in str(error)


def test_the_build_library_loads_with_every_function_declared(library_path):
    handle = _library.load_library(["/nonexistent/libqvzfix.so", str(library_path)])
    assert len(_library.PROTOTYPES) == 24
    for name, argtypes in _library.PROTOTYPES.items():
        function = getattr(handle, name)
        assert function.restype is ctypes.c_int32
        assert tuple(function.argtypes) == argtypes
    # Declared once and for all: ctypes checks the arguments.
    with pytest.raises(ctypes.ArgumentError):
        handle.QVZ_SetRLCGValues(1.0, 2.0, 3.0, "4")


def test_prototypes_match_the_header():
    header = (Path(__file__).resolve().parents[2] / "plugin/include/qvzfix.h").read_text()
    declared = {name: arguments for name, arguments in
                re.findall(r"QVZ_API int32_t (QVZ_\w+)\(([^)]*)\);", header)}
    assert set(declared) == set(_library.PROTOTYPES)
    for name, arguments in declared.items():
        count = 0 if arguments.strip() == "void" else arguments.count(",") + 1
        assert len(_library.PROTOTYPES[name]) == count, name


def test_a_session_without_a_library_says_what_was_tried(tmp_path):
    missing = tmp_path / "nowhere" / "libqvzfix.so"
    done = subprocess.run(
        [sys.executable, "-c",
         "import qvzfix\ntry:\n qvzfix.Session('TCPIP0::127.0.0.1::1::SOCKET')\n"
         "except ImportError as e:\n print(type(e).__name__, e)"],
        capture_output=True, text=True, timeout=60,
        env={"QVZFIX_LIBRARY": str(missing), "PATH": "/usr/bin:/bin"})
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("LibraryNotFoundError cannot load the qvzfix plug-in")
    assert str(missing) in done.stdout


def test_a_library_shipped_in_the_package_is_loaded_first(library_path, tmp_path):
    shipped = tmp_path / "lib"
    shipped.mkdir()
    (shipped / "libqvzfix.so.1").write_bytes(library_path.read_bytes())
    done = subprocess.run(
        [sys.executable, "-c",
         "import sys\nfrom pathlib import Path\nfrom qvzfix import _library\n"
         "_library._SHIPPED_DIRECTORY = Path(sys.argv[1])\n"
         "print(_library.library()._name)", str(shipped)],
        capture_output=True, text=True, timeout=60, env={"PATH": "/usr/bin:/bin"})
    assert (done.stdout.strip(), done.stderr) == (str(shipped / "libqvzfix.so.1"), "")
