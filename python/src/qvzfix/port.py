"""One test port's matching-network settings."""

from __future__ import annotations

import ctypes
import dataclasses
from pathlib import Path
from typing import TYPE_CHECKING, Any, Callable, Iterable, Tuple, Type, TypeVar, Union

from .enums import Action, Circuit, Smoothing
from .errors import check
from .values import RLCG, C1G1C2G2, L1R1L2R2

if TYPE_CHECKING:
    from .session import Session

__all__ = ["Port"]

E = TypeVar("E", Circuit, Smoothing, Action)
V = TypeVar("V", RLCG, L1R1L2R2, C1G1C2G2)

_Values = Union[RLCG, L1R1L2R2, C1G1C2G2, Iterable[float]]


def _as_enum(cls: Type[E], value: int) -> Union[E, int]:
    # The plug-in stores any int32; an unnamed value is returned as it is.
    try:
        return cls(value)
    except ValueError:
        return value


def _as_int32(value: int, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    if not -(2**31) <= value < 2**31:
        raise ValueError(f"{what} {value} does not fit in 32 bits")
    return int(value)


def _four_floats(values: _Values, cls: Type[Any]) -> Tuple[float, float, float, float]:
    if isinstance(values, (RLCG, L1R1L2R2, C1G1C2G2)):
        if not isinstance(values, cls):
            raise TypeError(f"expected {cls.__name__}, not {type(values).__name__}")
        items = list(dataclasses.astuple(values))
    else:
        items = list(values)
    if len(items) != 4:
        raise ValueError(f"{cls.__name__} takes four values, not {len(items)}")
    a, b, c, d = (float(item) for item in items)
    return a, b, c, d


class Port:
    """The settings of one of the analyzer's test ports (1 to 4), obtained
    from :meth:`Session.port`.

    Reading a property asks the plug-in; setting one stores the value in the
    plug-in (and applies at once when the session's ``apply_immediate`` is
    on, raising the apply's error while keeping the new value). Component
    values are stored as given and read back rounded per :attr:`smoothing`,
    as they are used in the computed network.
    """

    def __init__(self, session: "Session", number: int) -> None:
        self._session = session
        self._number = number

    def __repr__(self) -> str:
        return f"<qvzfix.Port {self._number} of {self._session!r}>"

    @property
    def number(self) -> int:
        """The port's number, 1 to 4."""
        return self._number

    @property
    def session(self) -> "Session":
        """The session this port belongs to."""
        return self._session

    # Plumbing ----------------------------------------------------------------

    def _run(self, job: Callable[[ctypes.CDLL], Any]) -> Any:
        return self._session._on_port(self._number, job)

    def _get_int(self, function: str) -> int:
        def read(lib: ctypes.CDLL) -> int:
            value = ctypes.c_int32()
            check(getattr(lib, function)(ctypes.byref(value)), function)
            return value.value

        return int(self._run(read))

    def _set(self, function: str, *args: Any) -> None:
        self._run(lambda lib: check(getattr(lib, function)(*args), function))

    def _get_four(self, function: str, cls: Type[V]) -> V:
        def read(lib: ctypes.CDLL) -> V:
            values = [ctypes.c_double() for _ in range(4)]
            check(getattr(lib, function)(*(ctypes.byref(v) for v in values)), function)
            return cls(*(v.value for v in values))

        return self._run(read)  # type: ignore[no-any-return]

    # Enumerated settings -------------------------------------------------------

    @property
    def circuit(self) -> Union[Circuit, int]:
        """The network's topology (:class:`Circuit`; default SERIES_L_SHUNT_C)."""
        return _as_enum(Circuit, self._get_int("QVZ_GetCircuit"))

    @circuit.setter
    def circuit(self, value: Union[Circuit, int]) -> None:
        self._set("QVZ_SetCircuit", _as_int32(value, "circuit"))

    @property
    def smoothing(self) -> Union[Smoothing, int]:
        """How component values are rounded (:class:`Smoothing`; default SMOOTH)."""
        return _as_enum(Smoothing, self._get_int("QVZ_GetSmoothing"))

    @smoothing.setter
    def smoothing(self, value: Union[Smoothing, int]) -> None:
        self._set("QVZ_SetSmoothing", _as_int32(value, "smoothing"))

    @property
    def action(self) -> Union[Action, int]:
        """What applying does on the analyzer (:class:`Action`; default NONE)."""
        return _as_enum(Action, self._get_int("QVZ_GetAction"))

    @action.setter
    def action(self, value: Union[Action, int]) -> None:
        self._set("QVZ_SetAction", _as_int32(value, "action"))

    # Component values ----------------------------------------------------------

    @property
    def rlcg(self) -> RLCG:
        """R (ohm), L (H), C (F), G (S) of the L-C topologies, read back rounded.
        Set with an :class:`RLCG` or any four numbers in that order."""
        return self._get_four("QVZ_GetRLCGValues", RLCG)

    @rlcg.setter
    def rlcg(self, values: Union[RLCG, Iterable[float]]) -> None:
        self._set("QVZ_SetRLCGValues", *_four_floats(values, RLCG))

    @property
    def l1r1l2r2(self) -> L1R1L2R2:
        """L1 (H), R1 (ohm), L2 (H), R2 (ohm) of the L-L topologies, read back
        rounded. Set with an :class:`L1R1L2R2` or four numbers in that order."""
        return self._get_four("QVZ_GetL1R1L2R2Values", L1R1L2R2)

    @l1r1l2r2.setter
    def l1r1l2r2(self, values: Union[L1R1L2R2, Iterable[float]]) -> None:
        self._set("QVZ_SetL1R1L2R2Values", *_four_floats(values, L1R1L2R2))

    @property
    def c1g1c2g2(self) -> C1G1C2G2:
        """C1 (F), G1 (S), C2 (F), G2 (S) of the C-C topologies, read back
        rounded. Set with a :class:`C1G1C2G2` or four numbers in that order."""
        return self._get_four("QVZ_GetC1G1C2G2Values", C1G1C2G2)

    @c1g1c2g2.setter
    def c1g1c2g2(self, values: Union[C1G1C2G2, Iterable[float]]) -> None:
        self._set("QVZ_SetC1G1C2G2Values", *_four_floats(values, C1G1C2G2))

    # Actions -----------------------------------------------------------------

    def reset(self) -> None:
        """Restores this port's defaults (values, circuit SERIES_L_SHUNT_C,
        action NONE, smoothing SMOOTH); applies when ``apply_immediate`` is on."""
        self._set("QVZ_ResetValues")

    def apply(self) -> Path:
        """Computes the network at the analyzer's active sweep, writes the
        port's Touchstone file and tells the analyzer to embed or de-embed
        it (or switches both off for the port), as :attr:`action` says.

        Returns:
            The path of the Touchstone file written.

        Raises:
            FileError: the file could not be written (the analyzer was not
                told to load it).
            AnalyzerError: the analyzer reported an error afterwards.
            TimeoutExpired, ConnectionFailed, Error: the dialogue failed.
        """
        session = self._session

        def apply(lib: ctypes.CDLL) -> Path:
            check(lib.QVZ_ApplyChanges(), "QVZ_ApplyChanges")
            return session._file_of(lib, self._number)

        return self._run(apply)  # type: ignore[no-any-return]

    @property
    def file(self) -> Path:
        """Where :meth:`apply` writes this port's Touchstone file
        (``<path><prefix>Port<n>.s2p``), whether or not it exists yet."""
        session = self._session
        return self._run(lambda lib: session._file_of(lib, self._number))  # type: ignore

    def network(self) -> Any:
        """The port's written Touchstone file as a ``skrf.Network``.

        Raises:
            ImportError: scikit-rf is not installed.
            FileNotFoundError: the port has not been applied yet.
        """
        from .network import read_network

        return read_network(self.file)
