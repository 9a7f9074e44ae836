"""Pictures of a port's network: |S11| and |S21| in dB, or a Smith chart."""

from __future__ import annotations

import math
import os
from pathlib import Path
from typing import TYPE_CHECKING, Any, Optional, Sequence, Tuple, Union

from .touchstone import TwoPortData, read_s2p

if TYPE_CHECKING:
    from .port import Port

__all__ = ["plot", "KINDS", "MATPLOTLIB_MISSING"]

#: The kinds of picture :func:`plot` draws.
KINDS = ("db", "smith")

#: What a user is told when matplotlib is needed but missing.
MATPLOTLIB_MISSING = (
    "qvzfix.plot() needs matplotlib, which is not installed: "
    "install it with 'apt-get install python3-matplotlib' or 'pip install matplotlib'"
)

# Grid of the Smith chart: normalised resistances and reactances.
_SMITH_R = (0.0, 0.2, 0.5, 1.0, 2.0, 5.0)
_SMITH_X = (0.2, 0.5, 1.0, 2.0, 5.0)


def _db(value: complex) -> float:
    # A perfect null would be -inf; draw it at the bottom instead of dropping it.
    return 20.0 * math.log10(max(abs(value), 1e-15))


def _frequency_scale(frequencies: Sequence[float]) -> Tuple[float, str]:
    top = max((abs(f) for f in frequencies), default=0.0)
    for scale, unit in ((1e9, "GHz"), (1e6, "MHz"), (1e3, "kHz")):
        if top >= scale:
            return scale, unit
    return 1.0, "Hz"


def _gamma(z: complex) -> complex:
    return (z - 1.0) / (z + 1.0)


def _smith_grid(axes: Any) -> None:
    style = {"color": "0.8", "linewidth": 0.6, "zorder": 0}
    # Sweep the other coordinate from 0 to "infinity" on a tangent scale so
    # the arcs are smooth near the open circuit too.
    steps = [math.tan(0.5 * math.pi * i / 400.0) for i in range(400)]
    for r in _SMITH_R:
        for sign in (1.0, -1.0):
            points = [_gamma(complex(r, sign * x)) for x in steps]
            axes.plot([p.real for p in points], [p.imag for p in points], **style)
    for x in _SMITH_X:
        for sign in (1.0, -1.0):
            points = [_gamma(complex(r, sign * x)) for r in steps]
            axes.plot([p.real for p in points], [p.imag for p in points], **style)
    axes.plot([-1.0, 1.0], [0.0, 0.0], **style)
    for r in _SMITH_R[1:]:  # label each resistance circle where it meets the axis
        axes.annotate(f"{r:g}", (_gamma(complex(r, 0.0)).real, 0.0), xytext=(2, 2),
                      textcoords="offset points", fontsize=7, color="0.5")
    axes.set_xlim(-1.05, 1.05)
    axes.set_ylim(-1.05, 1.05)
    axes.set_aspect("equal")
    axes.axis("off")


def _draw_db(figure: Any, data: TwoPortData, title: str) -> None:
    axes = figure.add_subplot(1, 1, 1)
    scale, unit = _frequency_scale(data.frequencies)
    f = [x / scale for x in data.frequencies]
    axes.plot(f, [_db(s) for s in data.s11], label="|S11|")
    axes.plot(f, [_db(s) for s in data.s21], label="|S21|")
    axes.set_xlabel(f"Frequency ({unit})")
    axes.set_ylabel("Magnitude (dB)")
    axes.set_title(title)
    axes.grid(True, alpha=0.4)
    axes.legend()


def _draw_smith(figure: Any, data: TwoPortData, title: str) -> None:
    axes = figure.add_subplot(1, 1, 1)
    _smith_grid(axes)
    for name, values in (("S11", data.s11), ("S22", data.s22)):
        (line,) = axes.plot([s.real for s in values], [s.imag for s in values], label=name)
        if values:  # mark where the sweep starts
            axes.plot([values[0].real], [values[0].imag], "o", color=line.get_color())
    axes.set_title(f"{title} (Z0 = {data.reference:g} ohm)")
    axes.legend(loc="upper right")


def _source(source: Union[str, "os.PathLike[str]", "Port", TwoPortData]) -> Tuple[TwoPortData, str]:
    if isinstance(source, TwoPortData):
        return source, "Network"
    from .port import Port

    path = source.file if isinstance(source, Port) else Path(os.fspath(source))
    return read_s2p(path), path.name


def plot(
    source: Union[str, "os.PathLike[str]", "Port", TwoPortData],
    kind: str = "db",
    out: Optional[Union[str, "os.PathLike[str]"]] = None,
) -> Any:
    """Draws a two-port network with matplotlib.

    Args:
        source: a Touchstone file's path, a :class:`Port` (its last written
            file) or :class:`TwoPortData`.
        kind: ``"db"`` for |S11| and |S21| in dB against frequency,
            ``"smith"`` for a Smith chart of S11 and S22 (a dot marks the
            first frequency).
        out: where to save the picture; its suffix picks the format
            (``.png``, ``.svg``, ``.pdf``, ...). When given, pyplot is not
            used, so this works without a display.

    Returns:
        The ``matplotlib.figure.Figure``.

    Raises:
        ImportError: matplotlib is not installed.
        ValueError: ``kind`` is unknown, or the file is not a two-port
            Touchstone file.
        OSError: the file cannot be read, or ``out`` cannot be written.
    """
    if kind not in KINDS:
        raise ValueError(f"kind must be one of {', '.join(KINDS)}, not {kind!r}")
    size = (7.0, 7.0) if kind == "smith" else (8.0, 5.0)
    try:
        from matplotlib.figure import Figure
    except ImportError as error:
        raise ImportError(MATPLOTLIB_MISSING, name="matplotlib") from error

    # Read first: a file that fails leaves no empty figure behind in pyplot.
    data, title = _source(source)
    if out is not None:
        figure = Figure(figsize=size)
    else:
        import matplotlib.pyplot as pyplot  # so that pyplot.show() shows it

        figure = pyplot.figure(figsize=size)
    (_draw_smith if kind == "smith" else _draw_db)(figure, data, title)
    figure.tight_layout()
    if out is not None:
        figure.savefig(os.fspath(out), dpi=100)
    return figure
