"""The plug-in's enumerations, with the C header's names less their QVZ_ prefix."""

from __future__ import annotations

from enum import IntEnum

__all__ = ["Circuit", "Smoothing", "Action"]


class Circuit(IntEnum):
    """Topology of a port's matching network, named from port 1 to port 2.

    The L-C topologies (0 to 3) take their values from ``Port.rlcg``, the
    L-L ones (7, 8) from ``Port.l1r1l2r2``, the C-C ones (5, 6) from
    ``Port.c1g1c2g2``; SHUNT_L_SHUNT_C (4) uses L, R, C and G of ``rlcg``.
    """

    SERIES_L_SHUNT_C = 0
    SHUNT_C_SERIES_L = 1
    SHUNT_L_SERIES_C = 2
    SERIES_C_SHUNT_L = 3
    SHUNT_L_SHUNT_C = 4
    SERIES_C_SHUNT_C = 5
    SHUNT_C_SERIES_C = 6
    SERIES_L_SHUNT_L = 7
    SHUNT_L_SERIES_L = 8


class Smoothing(IntEnum):
    """How component values are rounded where they are read back and used:
    to the E6, E12 or E24 preferred-number series, or to three significant
    digits (SMOOTH, the default)."""

    E6 = 0
    E12 = 1
    E24 = 2
    SMOOTH = 3


class Action(IntEnum):
    """What applying does with the port's network on the analyzer: load it as
    the port's matching circuit (EMBEDDING), as its de-embedding network
    (DEEMBEDDING), or switch both off for the port (NONE, the default)."""

    EMBEDDING = 0
    DEEMBEDDING = 1
    NONE = 2
