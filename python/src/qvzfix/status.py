"""The plug-in's status codes: their names, their texts and how to read them.

Every call of the plug-in returns a 32-bit status in the VISA convention: 0
for success, negative for a failure. A failure is either a VISA status (the
``0xBFFF....`` range) or an entry of the analyzer's error queue: a negative
SCPI error number comes back as it is, a positive one as ``0x80000000 | n``.
"""

from __future__ import annotations

from typing import Dict, NamedTuple, Optional

__all__ = [
    "StatusInfo",
    "STATUSES",
    "VI_SUCCESS",
    "VI_ERROR_INV_OBJECT",
    "VI_ERROR_RSRC_NFOUND",
    "VI_ERROR_INV_RSRC_NAME",
    "VI_ERROR_TMO",
    "VI_ERROR_NSUP_ATTR",
    "VI_ERROR_NSUP_ATTR_STATE",
    "VI_ERROR_ALLOC",
    "VI_ERROR_IO",
    "VI_ERROR_INV_FMT",
    "VI_ERROR_NSUP_FMT",
    "VI_ERROR_NSUP_OPER",
    "VI_ERROR_USER_BUF",
    "VI_ERROR_INV_PARAMETER",
    "VI_ERROR_INV_LENGTH",
    "VI_ERROR_FILE_ACCESS",
    "VI_ERROR_FILE_IO",
    "VI_ERROR_CONN_LOST",
    "ANALYZER_ERROR_BIT",
    "scpi_number",
    "status_name",
    "status_text",
]


def _signed(bits: int) -> int:
    return bits - (1 << 32) if bits & 0x80000000 else bits


class StatusInfo(NamedTuple):
    """One named status: its value (a signed 32-bit int), name and text."""

    value: int
    name: str
    text: str


VI_SUCCESS = 0
VI_ERROR_INV_OBJECT = _signed(0xBFFF000E)
VI_ERROR_RSRC_NFOUND = _signed(0xBFFF0011)
VI_ERROR_INV_RSRC_NAME = _signed(0xBFFF0012)
VI_ERROR_TMO = _signed(0xBFFF0015)
VI_ERROR_NSUP_ATTR = _signed(0xBFFF001D)
VI_ERROR_NSUP_ATTR_STATE = _signed(0xBFFF001E)
VI_ERROR_ALLOC = _signed(0xBFFF003C)
VI_ERROR_IO = _signed(0xBFFF003E)
VI_ERROR_INV_FMT = _signed(0xBFFF003F)
VI_ERROR_NSUP_FMT = _signed(0xBFFF0041)
VI_ERROR_NSUP_OPER = _signed(0xBFFF0067)
VI_ERROR_USER_BUF = _signed(0xBFFF0071)
VI_ERROR_INV_PARAMETER = _signed(0xBFFF0078)
VI_ERROR_INV_LENGTH = _signed(0xBFFF0083)
VI_ERROR_FILE_ACCESS = _signed(0xBFFF00A1)
VI_ERROR_FILE_IO = _signed(0xBFFF00A2)
VI_ERROR_CONN_LOST = _signed(0xBFFF00A6)

#: Bit 31, set on a positive analyzer error number to make it a failure.
ANALYZER_ERROR_BIT = 0x80000000

_TABLE = (
    StatusInfo(VI_SUCCESS, "VI_SUCCESS", "operation completed successfully"),
    StatusInfo(VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT",
               "the session or object reference is invalid"),
    StatusInfo(VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND",
               "insufficient location information or the resource is not present"),
    StatusInfo(VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME",
               "invalid resource reference specified; parsing error"),
    StatusInfo(VI_ERROR_TMO, "VI_ERROR_TMO",
               "timeout expired before the operation completed"),
    StatusInfo(VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR",
               "the attribute is not supported by this session"),
    StatusInfo(VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE",
               "the attribute state is not supported by this session"),
    StatusInfo(VI_ERROR_ALLOC, "VI_ERROR_ALLOC",
               "insufficient system resources to perform the allocation"),
    StatusInfo(VI_ERROR_IO, "VI_ERROR_IO",
               "could not perform the operation because of an I/O error"),
    StatusInfo(VI_ERROR_INV_FMT, "VI_ERROR_INV_FMT",
               "a format specifier in the format string is invalid"),
    StatusInfo(VI_ERROR_NSUP_FMT, "VI_ERROR_NSUP_FMT",
               "a format specifier in the format string is not supported"),
    StatusInfo(VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER",
               "the session does not support this operation"),
    StatusInfo(VI_ERROR_USER_BUF, "VI_ERROR_USER_BUF",
               "a specified user buffer is not valid or cannot be accessed"),
    StatusInfo(VI_ERROR_INV_PARAMETER, "VI_ERROR_INV_PARAMETER",
               "the value of a parameter is invalid"),
    StatusInfo(VI_ERROR_INV_LENGTH, "VI_ERROR_INV_LENGTH",
               "invalid length specified"),
    StatusInfo(VI_ERROR_FILE_ACCESS, "VI_ERROR_FILE_ACCESS",
               "an error occurred while trying to open the specified file"),
    StatusInfo(VI_ERROR_FILE_IO, "VI_ERROR_FILE_IO",
               "an error occurred while accessing the specified file"),
    StatusInfo(VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST",
               "the connection for the session has been lost"),
)

#: Every named status, by value.
STATUSES: Dict[int, StatusInfo] = {info.value: info for info in _TABLE}


def scpi_number(status: int) -> Optional[int]:
    """The analyzer error number a status carries, or None for a VISA status.

    A positive error number n comes back as ``0x80000000 | n``; a negative
    SCPI number (``-1`` to ``-0x7FFFFFFF``) comes back unchanged. Statuses in
    the VISA error range ``0xBFFF0000`` to ``0xBFFFFFFF`` are VISA's, as are 0
    and positive completion codes.
    """
    if status >= 0:
        return None
    bits = status & 0xFFFFFFFF
    if bits & 0xFFFF0000 == 0xBFFF0000:
        return None
    if status >= -0x40000000:
        return status  # a negative SCPI number, passed on as it is
    return bits & 0x7FFFFFFF


def status_name(status: int) -> str:
    """The status's symbolic name: ``VI_ERROR_TMO``, ``ANALYZER_ERROR`` for an
    analyzer error-queue entry, or its hexadecimal value when unnamed."""
    info = STATUSES.get(status)
    if info is not None:
        return info.name
    if scpi_number(status) is not None:
        return "ANALYZER_ERROR"
    return f"0x{status & 0xFFFFFFFF:08X}"


def status_text(status: int) -> str:
    """A fixed English text for ``status``, prefixed with its name, such as
    ``"VI_ERROR_TMO: timeout expired before the operation completed"`` or
    ``"analyzer error -222"``."""
    info = STATUSES.get(status)
    if info is not None:
        return f"{info.name}: {info.text}"
    number = scpi_number(status)
    if number is not None:
        return f"analyzer error {number}"
    return f"unknown status 0x{status & 0xFFFFFFFF:08X}"
