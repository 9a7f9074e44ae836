"""Pictures and Touchstone reading: qvzfix.plot, python -m qvzfix plot, read_s2p, network()."""

from __future__ import annotations

import math
import subprocess
import sys
from pathlib import Path

import pytest

import qvzfix
from qvzfix import RLCG, Action, Circuit, Smoothing

image = pytest.importorskip("matplotlib.image", reason="matplotlib is needed for the pictures")


@pytest.fixture
def low_pass(session) -> Path:
    """An applied series-L shunt-C low-pass (-3 dB near 1.1 GHz) with small losses."""
    port = session.port(1)
    port.circuit = Circuit.SERIES_L_SHUNT_C
    port.smoothing = Smoothing.E24
    port.rlcg = RLCG(R=0.1, L=10e-9, C=3.9e-12, G=1e-6)
    port.action = Action.EMBEDDING
    return port.apply()


def picture(path: Path):
    """The PNG's pixels, after checking that it is one and not blank."""
    assert path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    pixels = image.imread(str(path))
    colours = {tuple(pixel) for pixel in pixels.reshape(-1, pixels.shape[-1])[::97]}
    assert len(colours) > 10, "the picture is blank"
    return pixels


def test_low_pass_s21_falls_with_frequency(low_pass):
    data = qvzfix.read_s2p(low_pass)
    assert len(data.frequencies) == 201
    assert data.frequencies[0] == pytest.approx(10e6) and data.frequencies[-1] == 8.5e9
    s21 = [20 * math.log10(abs(s)) for s in data.s21]
    assert s21[0] > -0.1 and s21[-1] < -30
    assert all(later <= earlier + 1e-9 for earlier, later in zip(s21[40:], s21[41:]))


@pytest.mark.parametrize("kind, size", [("db", (500, 800)), ("smith", (700, 700))])
def test_plot_writes_the_picture(session, low_pass, tmp_path, kind, size):
    out = tmp_path / f"low_pass_{kind}.png"
    figure = qvzfix.plot(session.port(1), kind=kind, out=out)
    assert picture(out).shape[:2] == size
    labels = {line.get_label() for line in figure.axes[0].get_lines()}
    assert {"db": {"|S11|", "|S21|"}, "smith": {"S11", "S22"}}[kind] <= labels


def test_command_line_plot(low_pass, tmp_path):
    out = tmp_path / "cli.png"
    done = subprocess.run([sys.executable, "-m", "qvzfix", "plot", str(low_pass), "-o", str(out),
                           "--kind", "smith"], capture_output=True, text=True, timeout=120)
    assert (done.returncode, done.stderr) == (0, "")
    assert picture(out).shape[:2] == (700, 700)


@pytest.mark.parametrize("arguments, code, message", [
    (["plot", "no-such-file.s2p", "-o", "x.png"], 1, "No such file"),
    (["plot", "-o", "x.png"], 2, "required"),
    (["plot", "f.s2p", "--kind", "polar"], 2, "invalid choice"),
])
def test_command_line_failures(tmp_path, arguments, code, message):
    done = subprocess.run([sys.executable, "-m", "qvzfix", *arguments], capture_output=True,
                          text=True, cwd=tmp_path, timeout=120)
    assert done.returncode == code
    assert message in done.stderr


def test_missing_matplotlib_is_explained(low_pass, monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    monkeypatch.setitem(sys.modules, "matplotlib.figure", None)
    with pytest.raises(ImportError, match="needs matplotlib"):
        qvzfix.plot(low_pass, out=low_pass.with_suffix(".png"))


def test_network_needs_scikit_rf(session, low_pass, monkeypatch):
    monkeypatch.setitem(sys.modules, "skrf", None)
    with pytest.raises(ImportError, match="needs scikit-rf"):
        session.port(1).network()


def test_network_of_the_written_file(session, low_pass):
    skrf = pytest.importorskip("skrf")
    network = session.port(1).network()
    assert isinstance(network, skrf.Network)
    assert network.frequency.npoints == 201


def test_network_before_any_apply(session):
    pytest.importorskip("skrf")
    with pytest.raises(FileNotFoundError):
        session.port(4).network()


@pytest.mark.parametrize("options, numbers, expected", [
    ("# Hz S RI R 50", "1e9 0.1 -0.2 0.9 0 0.9 0 -0.05 0.25", (1e9, 0.1 - 0.2j, 0.9 + 0j)),
    ("# GHz S MA R 75", "2 0.5 90 1 0 1 0 0.5 -90", (2e9, 0.5j, 1 + 0j)),
    ("# MHz DB S", "3 -20 180 0 0\n 0 0 -6.0206 0", (3e6, -0.1 + 0j, 1 + 0j)),
    ("!no options: GHz S MA R 50", "1 1 0 0 0 0 0 1 0", (1e9, 1 + 0j, 0j)),
])
def test_read_s2p_formats(tmp_path, options, numbers, expected):
    path = tmp_path / "net.s2p"
    path.write_text(f"! made by hand\n{options}\n{numbers}\n")
    data = qvzfix.read_s2p(path)
    frequency, s11, s21 = expected
    assert data.frequencies == (frequency,)
    assert data.s11[0] == pytest.approx(s11, abs=1e-12)
    assert data.s21[0] == pytest.approx(s21, abs=1e-12)


@pytest.mark.parametrize("text, message", [
    ("# Hz Z RI R 50\n1 0 0 0 0 0 0 0 0\n", "only S-parameter"),
    ("# Hz S RI R 50\n1 0 0 0 0 0 0 0\n", "nine numbers"),
    ("# Hz S RI R 50\n1 0 0 x 0 0 0 0 0\n", "line 2: not a number"),
    ("# Hz S RI R 50\n", "nine numbers"),
])
def test_read_s2p_refuses_other_files(tmp_path, text, message):
    path = tmp_path / "bad.s2p"
    path.write_text(text)
    with pytest.raises(ValueError, match=message):
        qvzfix.read_s2p(path)
    with pytest.raises(ValueError, match=message):
        qvzfix.plot(path, out=tmp_path / "bad.png")
    assert not (tmp_path / "bad.png").exists()
