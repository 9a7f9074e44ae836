"""Sessions and ports against a running qvzsim: settings, applies, threads, closing."""

from __future__ import annotations

import gc
import os
import subprocess
import sys
import textwrap
import threading
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

import qvzfix
from qvzfix import RLCG, Action, C1G1C2G2, Circuit, L1R1L2R2, Smoothing

# Expected fixture-simulator fields of a port after an apply of each action.
ACTION_STATE = {
    Action.EMBEDDING: {"PMC": "ON", "DEEM": "OFF", "pmc_file": True, "deem_file": False},
    Action.DEEMBEDDING: {"PMC": "OFF", "DEEM": "ON", "pmc_file": False, "deem_file": True},
    Action.NONE: {"PMC": "OFF", "DEEM": "OFF", "pmc_file": False, "deem_file": False},
}


def data_lines(path: Path) -> list:
    return [line for line in path.read_bytes().split(b"\r\n") if line and line[:1] not in b"#!"]


@pytest.mark.parametrize("action", list(Action))
@pytest.mark.parametrize("number", [1, 3])
def test_configure_and_apply_each_action(session, emulator, touchstone_dir, action, number):
    session.prefix = "Lab_"
    port = session.port(number)
    # Start from the opposite state so that every field has to change.
    port.action = Action.DEEMBEDDING if action == Action.EMBEDDING else Action.EMBEDDING
    port.apply()

    port.circuit = Circuit.SERIES_C_SHUNT_L
    port.smoothing = Smoothing.E24
    port.rlcg = RLCG(R=0.5, L=12e-9, C=2.2e-12, G=1e-5)
    port.action = action
    written = port.apply()

    assert written == touchstone_dir / f"Lab_Port{number}.s2p"
    assert written.read_bytes().startswith(b"# Hz S RI R 50\r\n")
    assert len(data_lines(written)) == 201
    state = emulator.report()
    expected = ACTION_STATE[action]
    assert state[f"P{number}.PMC"] == expected["PMC"]
    assert state[f"P{number}.DEEM"] == expected["DEEM"]
    assert state[f"P{number}.PMC.FILE"] == (str(written) if expected["pmc_file"] else "")
    assert state[f"P{number}.DEEM.FILE"] == (str(written) if expected["deem_file"] else "")
    assert state["SIM"] == "ON"  # switched on by the first apply, never off again
    assert (port.circuit, port.smoothing, port.action) == (Circuit.SERIES_C_SHUNT_L,
                                                           Smoothing.E24, action)
    assert isinstance(port.action, Action)


# Worked values of the plug-in's rounding, for R/L/C/G in each mode.
ROUNDED = {
    Smoothing.E6: (47.0, 1.0e-9, 1.5e-12, 0.022),
    Smoothing.E12: (47.0, 1.2e-9, 1.2e-12, 0.018),
    Smoothing.E24: (51.0, 1.1e-9, 1.3e-12, 0.020),
    Smoothing.SMOOTH: (51.3, 1.13e-9, 1.30e-12, 0.0192),
}


@pytest.mark.parametrize("smoothing", list(Smoothing))
def test_values_read_back_rounded(session, smoothing):
    port = session.port(2)
    port.smoothing = smoothing
    r, l, c, g = 51.31, 1.127e-9, 1.3014e-12, 0.01922
    port.rlcg = RLCG(R=r, L=l, C=c, G=g)
    port.l1r1l2r2 = (l, r, l, r)
    port.c1g1c2g2 = C1G1C2G2(C1=c, G1=g, C2=c, G2=g)
    er, el, ec, eg = ROUNDED[smoothing]
    approx = lambda *values: pytest.approx(values, rel=1e-12)  # noqa: E731
    assert tuple(vars(port.rlcg).values()) == approx(er, el, ec, eg)
    assert tuple(vars(port.l1r1l2r2).values()) == approx(el, er, el, er)
    assert tuple(vars(port.c1g1c2g2).values()) == approx(ec, eg, ec, eg)
    assert isinstance(port.l1r1l2r2, L1R1L2R2)


def test_ports_keep_their_own_settings_and_reset(session):
    one, two = session.port(1), session.port(2)
    two.circuit = Circuit.SHUNT_L_SERIES_L
    two.action = Action.DEEMBEDDING
    two.rlcg = RLCG(1.0, 2.2e-9, 3.3e-12, 0.001)
    assert one.circuit == Circuit.SERIES_L_SHUNT_C
    assert one.action == Action.NONE
    assert one.rlcg == RLCG(50.0, pytest.approx(1e-9), 1e-12, 0.02)
    two.reset()
    assert (two.circuit, two.action, two.smoothing) == (Circuit.SERIES_L_SHUNT_C, Action.NONE,
                                                        Smoothing.SMOOTH)
    # A value the header does not name is stored and comes back as a plain int.
    two.circuit = 42
    assert two.circuit == 42 and not isinstance(two.circuit, Circuit)


def test_path_and_prefix(session, touchstone_dir):
    assert session.path == f"{touchstone_dir}{os.sep}"
    assert session.prefix == "Prefix_"
    session.prefix = "Ant_"
    assert session.port(4).file == touchstone_dir / "Ant_Port4.s2p"
    # Too long or with a NUL: refused before the plug-in could cut it short.
    for bad in ("x" * 256, "a\0b"):
        with pytest.raises(ValueError):
            session.prefix = bad
    assert session.prefix == "Ant_"
    with pytest.raises(ValueError):
        session.port(5)


def test_apply_immediate_applies_each_change(session, emulator, touchstone_dir):
    port = session.port(1)
    port.action = Action.EMBEDDING
    assert emulator.report()["P1.PMC"] == "OFF"
    session.apply_immediate = True  # switching on applies once
    assert session.apply_immediate is True
    assert emulator.report()["P1.PMC.FILE"] == str(touchstone_dir / "Prefix_Port1.s2p")
    port.action = Action.DEEMBEDDING  # and so does every change
    assert emulator.report()["P1.DEEM"] == "ON"
    session.apply_immediate = False
    port.action = Action.NONE
    assert emulator.report()["P1.DEEM"] == "ON"


def test_several_threads_share_one_session(session, emulator, touchstone_dir):
    # Each thread owns a port and keeps re-configuring and applying it while
    # the others do the same; every call must reach the right port.
    rounds = 6

    def work(number: int) -> list:
        port = session.port(number)
        port.circuit = Circuit(number)
        port.action = Action.EMBEDDING
        seen = []
        for i in range(rounds):
            inductance = (number * 10 + i) * 1e-9
            port.rlcg = RLCG(1.0, inductance, 1e-12, 1e-4)
            seen.append((port.apply(), port.rlcg.L, inductance, port.circuit))
        return seen

    with ThreadPoolExecutor(max_workers=4) as pool:
        results = dict(zip(range(1, 5), pool.map(work, range(1, 5))))

    state = emulator.report()
    for number, seen in results.items():
        for written, read_back, set_value, circuit in seen:
            assert written == touchstone_dir / f"Prefix_Port{number}.s2p"
            assert read_back == pytest.approx(set_value, rel=1e-12)
            assert circuit == Circuit(number)
        assert state[f"P{number}.PMC.FILE"] == str(touchstone_dir / f"Prefix_Port{number}.s2p")
        assert len(data_lines(touchstone_dir / f"Prefix_Port{number}.s2p")) == 201


def test_close_twice_and_use_after_close(library_path, emulator):
    session = qvzfix.Session(emulator.resource)
    port = session.port(1)
    session.close()
    session.close()
    assert session.closed
    with pytest.raises(qvzfix.SessionClosed):
        port.circuit = Circuit.SHUNT_C_SERIES_L
    with pytest.raises(ValueError):  # SessionClosed is a ValueError, as for closed files
        session.apply_immediate


def test_collected_session_ends_its_thread(library_path, emulator):
    session = qvzfix.Session(emulator.resource)
    name = session._worker.thread.name
    del session
    gc.collect()
    assert name not in {thread.name for thread in threading.enumerate()}
    # The emulator is still served by a new session afterwards.
    with qvzfix.Session(emulator.resource) as again:
        assert again.port(1).action == Action.NONE


def test_session_left_open_is_closed_at_exit(library_path, emulator):
    script = textwrap.dedent(f"""
        import atexit, threading
        # Registered before anything of qvzfix exists, so it runs after the
        # session's own exit handler.
        def report():
            names = [t.name for t in threading.enumerate() if t.name.startswith("qvzfix")]
            print("closed" if session.closed and not names else f"open {{names}}")
        atexit.register(report)
        import qvzfix
        session = qvzfix.Session({emulator.resource!r})
        session.port(1).action = qvzfix.Action.EMBEDDING
    """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=60)
    assert (done.returncode, done.stdout.strip(), done.stderr) == (0, "closed", "")
