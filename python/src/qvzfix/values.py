"""Component values of a port's matching network, in SI units."""

from __future__ import annotations

from dataclasses import dataclass

__all__ = ["RLCG", "L1R1L2R2", "C1G1C2G2"]

# Field names follow the circuit symbols of the C API (R, L, C, G, ...), which
# is what the engineers who use these values write on their schematics.


@dataclass(frozen=True)
class RLCG:
    """Values of the L-C topologies (Circuit 0 to 4).

    Attributes:
        R: loss resistance in series with the inductor L, in ohm.
        L: inductance, in henry.
        C: capacitance, in farad.
        G: loss conductance across the capacitor C, in siemens.
    """

    R: float  # noqa: N815
    L: float  # noqa: N815
    C: float  # noqa: N815
    G: float  # noqa: N815


@dataclass(frozen=True)
class L1R1L2R2:
    """Values of the L-L topologies (SERIES_L_SHUNT_L, SHUNT_L_SERIES_L).

    Attributes:
        L1: inductance of the series inductor, in henry.
        R1: loss resistance in series with L1, in ohm.
        L2: inductance of the shunt inductor, in henry.
        R2: loss resistance in series with L2, in ohm.
    """

    L1: float  # noqa: N815
    R1: float  # noqa: N815
    L2: float  # noqa: N815
    R2: float  # noqa: N815


@dataclass(frozen=True)
class C1G1C2G2:
    """Values of the C-C topologies (SERIES_C_SHUNT_C, SHUNT_C_SERIES_C).

    Attributes:
        C1: capacitance of the series capacitor, in farad.
        G1: loss conductance across C1, in siemens.
        C2: capacitance of the shunt capacitor, in farad.
        G2: loss conductance across C2, in siemens.
    """

    C1: float  # noqa: N815
    G1: float  # noqa: N815
    C2: float  # noqa: N815
    G2: float  # noqa: N815
