"""Reading two-port Touchstone (version 1) files such as the plug-in writes."""

from __future__ import annotations

import cmath
import math
import os
from dataclasses import dataclass
from typing import List, Tuple, Union

__all__ = ["TwoPortData", "read_s2p"]

_FREQUENCY_UNITS = {"HZ": 1.0, "KHZ": 1e3, "MHZ": 1e6, "GHZ": 1e9}


@dataclass(frozen=True)
class TwoPortData:
    """S-parameters of a two-port file, one entry per frequency point.

    Attributes:
        frequencies: stimulus frequencies in hertz.
        s11, s21, s12, s22: the complex S-parameters at those frequencies.
        reference: reference resistance in ohm.
    """

    frequencies: Tuple[float, ...]
    s11: Tuple[complex, ...]
    s21: Tuple[complex, ...]
    s12: Tuple[complex, ...]
    s22: Tuple[complex, ...]
    reference: float = 50.0


def _complex(a: float, b: float, data_format: str) -> complex:
    if data_format == "RI":
        return complex(a, b)
    magnitude = a if data_format == "MA" else 10.0 ** (a / 20.0)
    return cmath.rect(magnitude, math.radians(b))


def read_s2p(path: Union[str, "os.PathLike[str]"]) -> TwoPortData:
    """Reads a two-port Touchstone file (``# <unit> S <RI|MA|DB> R <ohm>``,
    ``!`` comments, nine numbers per point, a point possibly spread over
    several lines).

    Raises:
        OSError: the file cannot be read.
        ValueError: it is not a two-port S-parameter file in that syntax.
    """
    unit, data_format, reference = 1e9, "MA", 50.0
    seen_options = False
    numbers: List[float] = []
    with open(path, encoding="ascii", errors="replace") as stream:
        for line_number, raw in enumerate(stream, 1):
            line = raw.split("!", 1)[0].strip()
            if not line:
                continue
            if line.startswith("#"):
                if not seen_options:  # only the first option line counts
                    seen_options = True
                    unit, data_format, reference = _options(line, f"{path}: line {line_number}")
                continue
            try:
                numbers.extend(float(token) for token in line.split())
            except ValueError:
                raise ValueError(f"{path}: line {line_number}: not a number") from None
    if not numbers or len(numbers) % 9:
        raise ValueError(f"{path}: expected nine numbers per point, found {len(numbers)} "
                         "numbers in all")
    points = [numbers[i:i + 9] for i in range(0, len(numbers), 9)]
    columns = [
        tuple(_complex(p[k], p[k + 1], data_format) for p in points) for k in (1, 3, 5, 7)
    ]
    return TwoPortData(
        frequencies=tuple(p[0] * unit for p in points),
        s11=columns[0],
        s21=columns[1],
        s12=columns[2],
        s22=columns[3],
        reference=reference,
    )


def _options(line: str, where: str) -> Tuple[float, str, float]:
    unit, data_format, reference = 1e9, "MA", 50.0
    tokens = line[1:].upper().split()
    i = 0
    while i < len(tokens):
        token = tokens[i]
        if token in _FREQUENCY_UNITS:
            unit = _FREQUENCY_UNITS[token]
        elif token in ("RI", "MA", "DB"):
            data_format = token
        elif token == "R" and i + 1 < len(tokens):
            reference = float(tokens[i + 1])
            i += 1
        elif token != "S":
            raise ValueError(f"{where}: only S-parameter files are supported "
                             f"(option {token!r})")
        i += 1
    return unit, data_format, reference
