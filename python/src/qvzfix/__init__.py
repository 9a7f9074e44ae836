"""qvzfix: drive the qvzfix matching-network plug-in from Python.

A :class:`Session` connects to the analyzer through the plug-in; its
:meth:`Session.port` gives a :class:`Port` whose settings (circuit, smoothing,
action and component values) are read and set as properties, and whose
:meth:`Port.apply` writes the Touchstone file, has the analyzer embed or
de-embed it and returns the file's path. Failures raise :class:`Error` and its
subclasses. :func:`plot` draws a written file.

    import qvzfix
    with qvzfix.Session("TCPIP0::127.0.0.1::5025::SOCKET") as session:
        port = session.port(1)
        port.circuit = qvzfix.Circuit.SERIES_L_SHUNT_C
        port.rlcg = qvzfix.RLCG(R=0.1, L=10e-9, C=4e-12, G=1e-6)
        port.action = qvzfix.Action.EMBEDDING
        qvzfix.plot(port.apply(), out="port1.png")

The plug-in is found through ``QVZFIX_LIBRARY``, a copy shipped in the
package, or the system's standard names (see :func:`load_library`).
"""

from ._library import LibraryNotFoundError, candidates, load_library
from ._worker import SessionClosed
from .enums import Action, Circuit, Smoothing
from .errors import AnalyzerError, ConnectionFailed, Error, FileError, TimeoutExpired
from .network import read_network
from .plotting import plot
from .port import Port
from .session import PORTS, Session
from .status import status_name, status_text
from .touchstone import TwoPortData, read_s2p
from .values import RLCG, C1G1C2G2, L1R1L2R2

__version__ = "1.0.0"

__all__ = [
    "Action",
    "AnalyzerError",
    "C1G1C2G2",
    "Circuit",
    "ConnectionFailed",
    "Error",
    "FileError",
    "L1R1L2R2",
    "LibraryNotFoundError",
    "PORTS",
    "Port",
    "RLCG",
    "Session",
    "SessionClosed",
    "Smoothing",
    "TimeoutExpired",
    "TwoPortData",
    "candidates",
    "load_library",
    "plot",
    "read_network",
    "read_s2p",
    "status_name",
    "status_text",
]
