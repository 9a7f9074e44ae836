"""Command line: ``python -m qvzfix plot FILE.s2p -o out.png [--kind db|smith]``."""

from __future__ import annotations

import argparse
import sys
from pathlib import Path
from typing import List, Optional

from .plotting import KINDS, plot

__all__ = ["main"]


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="python -m qvzfix",
        description="Tools for the qvzfix matching-network plug-in.",
    )
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    draw = commands.add_parser(
        "plot",
        help="draw a two-port Touchstone file",
        description="Draw |S11| and |S21| in dB against frequency (db) or a Smith chart "
        "of S11 and S22 (smith) of a two-port Touchstone file.",
    )
    draw.add_argument("file", type=Path, metavar="FILE.s2p", help="the Touchstone file")
    draw.add_argument("-o", "--out", type=Path, metavar="OUT",
                      help="picture to write; its suffix picks the format "
                      "(default: FILE with .png)")
    draw.add_argument("-k", "--kind", choices=KINDS, default="db",
                      help="what to draw (default: db)")
    return parser


def main(argv: Optional[List[str]] = None) -> int:
    """Runs the command line; returns the exit status (0 success, 1 failure,
    2 bad usage)."""
    arguments = _parser().parse_args(argv)
    out = arguments.out or arguments.file.with_suffix(".png")
    try:
        plot(arguments.file, kind=arguments.kind, out=out)
    except (ImportError, OSError, ValueError) as error:
        print(f"qvzfix plot: {error}", file=sys.stderr)
        return 1
    print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
