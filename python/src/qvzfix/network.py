"""scikit-rf networks of the plug-in's Touchstone files, when scikit-rf is installed."""

from __future__ import annotations

import os
from pathlib import Path
from typing import Any, Union

__all__ = ["read_network", "SKRF_MISSING"]

#: What a user is told when scikit-rf is needed but missing.
SKRF_MISSING = (
    "Port.network() needs scikit-rf, which is not installed: "
    "install it with 'pip install scikit-rf' (it is not packaged by Debian), "
    "or read the file with qvzfix.read_s2p()"
)


def read_network(path: Union[str, "os.PathLike[str]"]) -> Any:
    """Reads the Touchstone file at ``path`` into a ``skrf.Network``.

    Raises:
        ImportError: scikit-rf is not installed.
        FileNotFoundError: there is no file at ``path`` (apply the port first).
    """
    try:
        import skrf
    except ImportError as error:
        raise ImportError(SKRF_MISSING, name="skrf") from error
    file = Path(path)
    if not file.is_file():
        raise FileNotFoundError(f"no Touchstone file at {file}; apply the port first")
    return skrf.Network(str(file))
