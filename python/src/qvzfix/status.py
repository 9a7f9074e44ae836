"""The plug-in's status codes: their names, their texts and how to read them.

Every call of the plug-in returns a 32-bit status in the VISA convention: 0
for success, negative for a failure. A failure is either a VISA status (the
``0xBFFFxxxx`` range) or an entry of the analyzer's error queue: a negative
SCPI error number comes back as it is, a positive one as ``0x80000000 | n``.
Names, texts and rules are those of the C header ``qvzfix_status.h``.
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
    "is_visa",
    "scpi_number",
    "status_name",
    "status_text",
]


def _signed(bits: int) -> int:
    return bits - (1 << 32) if bits & 0x80000000 else bits


class StatusInfo(NamedTuple):
    """One named status: its value (a signed 32-bit int), its VISA name and
    its text (without the name)."""

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
               "no session: QVZ_close without QVZ_init, or the connection was never opened"),
    StatusInfo(VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND",
               "the analyzer was not found at that address, refused the connection, "
               "or the resource class is not served"),
    StatusInfo(VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME",
               "the resource name is malformed"),
    StatusInfo(VI_ERROR_TMO, "VI_ERROR_TMO",
               "timeout expired before the operation completed"),
    StatusInfo(VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR",
               "the session does not support that attribute"),
    StatusInfo(VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE",
               "the session does not support that attribute value"),
    StatusInfo(VI_ERROR_ALLOC, "VI_ERROR_ALLOC",
               "out of memory, or the analyzer's sweep or reply is too large"),
    StatusInfo(VI_ERROR_IO, "VI_ERROR_IO",
               "I/O error, or this thread has no session (call QVZ_init first)"),
    StatusInfo(VI_ERROR_INV_FMT, "VI_ERROR_INV_FMT",
               "the analyzer's reply is not in the expected format"),
    StatusInfo(VI_ERROR_NSUP_FMT, "VI_ERROR_NSUP_FMT",
               "a format conversion is not supported"),
    StatusInfo(VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER",
               "the installed VISA library does not support the operation"),
    StatusInfo(VI_ERROR_USER_BUF, "VI_ERROR_USER_BUF",
               "an output pointer or buffer is null or too small"),
    StatusInfo(VI_ERROR_INV_PARAMETER, "VI_ERROR_INV_PARAMETER",
               "a parameter is out of range (port not 1 to 4, control character in a "
               "file name)"),
    StatusInfo(VI_ERROR_INV_LENGTH, "VI_ERROR_INV_LENGTH",
               "the Touchstone file name (path, prefix, port) is too long"),
    StatusInfo(VI_ERROR_FILE_ACCESS, "VI_ERROR_FILE_ACCESS",
               "the Touchstone file cannot be created in that directory"),
    StatusInfo(VI_ERROR_FILE_IO, "VI_ERROR_FILE_IO",
               "writing the Touchstone file failed"),
    StatusInfo(VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST",
               "the connection to the analyzer was lost"),
)

#: Every named status, by value.
STATUSES: Dict[int, StatusInfo] = {info.value: info for info in _TABLE}


def is_visa(status: int) -> bool:
    """True for a VISA status: an error ``0xBFFFxxxx`` or a completion code
    ``0x3FFFxxxx``."""
    high = status & 0xFFFF0000
    return high in (0xBFFF0000, 0x3FFF0000)


def scpi_number(status: int) -> Optional[int]:
    """The analyzer error number a status carries, or None when it carries none.

    A failure that is not a VISA status is an analyzer error-queue entry: a
    SCPI number from -65535 to -1 is the status itself; any other had bit 31
    set on a positive number n (``0x80000000 | n``). ``-2**31``, which has no
    positive origin, stands for itself.
    """
    if status >= 0 or is_visa(status):
        return None
    if status >= -65535 or status == -(2**31):
        return status
    return status & 0x7FFFFFFF


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
    """A fixed English text for ``status``, the same as the C header's
    ``qvz_status_text``: ``"VI_ERROR_TMO: timeout expired before the operation
    completed"``, ``"analyzer error -222"``, ``"VISA error 0xBFFF0099"``."""
    info = STATUSES.get(status)
    if info is not None:
        return f"{info.name}: {info.text}"
    number = scpi_number(status)
    if number is not None:
        return f"analyzer error {number}"
    kind = "VISA error" if status < 0 else "VISA completion code"
    return f"{kind} 0x{status & 0xFFFFFFFF:X}"
