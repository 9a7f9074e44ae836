"""Fixtures: the build's plug-in and a qvzsim emulator on a free port per test."""

from __future__ import annotations

import os
import re
import socket
import subprocess
import time
from pathlib import Path
from typing import Dict, Iterator, Optional

import pytest

import qvzfix

REPOSITORY = Path(__file__).resolve().parents[2]

_LISTENING = re.compile(r"qvzsim listening on (\S+):(\d+)")
_REPORT_FIELD = re.compile(r'(\S+?)=("(?:[^"]|"")*"|\S+)')


def _required_file(variable: str, what: str) -> Path:
    value = os.environ.get(variable)
    if not value or not Path(value).is_file():
        pytest.fail(f"{variable} must name {what} (scripts/test-python.sh sets it); "
                    f"it is {value!r}", pytrace=False)
    return Path(value)


@pytest.fixture(scope="session")
def library_path() -> Path:
    """The build's libqvzfix, which every session of these tests loads."""
    return _required_file("QVZFIX_LIBRARY", "the build's libqvzfix.so")


@pytest.fixture(scope="session")
def qvzsim_path() -> Path:
    """The build's qvzsim program."""
    return _required_file("QVZSIM", "the build's qvzsim program")


class Emulator:
    """A running qvzsim and a control connection of its own for faults and
    state queries."""

    def __init__(self, process: "subprocess.Popen[bytes]", host: str, port: int,
                 log: Path) -> None:
        self.process = process
        self.host = host
        self.port = port
        self.log = log
        self._control: Optional[socket.socket] = None
        self._pending = b""

    @property
    def resource(self) -> str:
        """The VISA resource name of this emulator."""
        return f"TCPIP0::{self.host}::{self.port}::SOCKET"

    def _connection(self) -> socket.socket:
        if self._control is None:
            self._control = socket.create_connection((self.host, self.port), timeout=5)
        return self._control

    def send(self, message: str) -> None:
        """Runs one program message that expects no reply, and waits until it
        has run (a *OPC? follows it, which counts as the next command)."""
        if self.query(f"{message};*OPC?") != "1":
            raise AssertionError(f"qvzsim did not run {message!r}")

    def query(self, message: str) -> str:
        """Sends a query and returns its reply line."""
        connection = self._connection()
        connection.sendall(message.encode() + b"\n")
        while b"\n" not in self._pending:
            chunk = connection.recv(65536)
            if not chunk:
                raise ConnectionError("qvzsim closed the control connection")
            self._pending += chunk
        line, self._pending = self._pending.split(b"\n", 1)
        return line.decode()

    def report(self) -> Dict[str, str]:
        """The fixture-simulator state, field by field, quotes removed."""
        line = self.query(":SYST:FSIM:REP?")
        return {key: value[1:-1].replace('""', '"') if value.startswith('"') else value
                for key, value in _REPORT_FIELD.findall(line)}

    def stop(self) -> None:
        if self._control is not None:
            self._control.close()
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def start_emulator(qvzsim: Path, log: Path, *arguments: str) -> Emulator:
    """Starts qvzsim on a free port of 127.0.0.1 and waits until it listens."""
    with open(log, "wb") as output:
        process = subprocess.Popen(
            [str(qvzsim), "--bind", "127.0.0.1", "--port", "0", *arguments],
            stdout=output, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        found = _LISTENING.search(log.read_text(errors="replace"))
        if found:
            return Emulator(process, found.group(1), int(found.group(2)), log)
        if process.poll() is not None:
            break
        time.sleep(0.02)
    process.kill()
    process.wait()
    pytest.fail(f"qvzsim did not start:\n{log.read_text(errors='replace')}", pytrace=False)


@pytest.fixture
def emulator(qvzsim_path: Path, tmp_path: Path) -> Iterator[Emulator]:
    """A quiet qvzsim of this test alone: one channel, 201 points, 10 MHz to 8.5 GHz."""
    running = start_emulator(qvzsim_path, tmp_path / "qvzsim.log", "--quiet")
    yield running
    running.stop()


@pytest.fixture
def touchstone_dir(tmp_path: Path) -> Path:
    """An empty directory for the test's Touchstone files."""
    directory = tmp_path / "touchstone"
    directory.mkdir()
    return directory


@pytest.fixture
def session(library_path: Path, emulator: Emulator,
            touchstone_dir: Path) -> Iterator[qvzfix.Session]:
    """A session connected to the test's emulator, writing to touchstone_dir."""
    with qvzfix.Session(emulator.resource) as opened:
        opened.path = touchstone_dir
        yield opened


@pytest.fixture
def unused_port() -> int:
    """A TCP port of 127.0.0.1 that nothing listens on (bound, then released)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return int(probe.getsockname()[1])
