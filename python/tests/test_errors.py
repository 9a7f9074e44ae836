"""Each exception class raised by a real fault of the analyzer, the link or the disk."""

from __future__ import annotations

import pickle

import pytest

import qvzfix
from qvzfix import Action, status


def test_silent_analyzer_raises_timeout_and_the_next_apply_recovers(session, emulator):
    port = session.port(1)
    emulator.send('SYST:FAUL:SIL "SENS:SWE:POIN?"')
    with pytest.raises(qvzfix.TimeoutExpired) as raised:
        port.apply()
    error = raised.value
    assert isinstance(error, TimeoutError) and isinstance(error, qvzfix.Error)
    assert (error.status, error.name) == (status.VI_ERROR_TMO, "VI_ERROR_TMO")
    assert error.text == "VI_ERROR_TMO: timeout expired before the operation completed"
    assert error.function == "QVZ_ApplyChanges"
    assert port.apply().is_file()


def test_connection_closed_by_the_analyzer_raises_connection_failed(session, emulator):
    port = session.port(1)
    # Command 1 is the control connection's *OPC?, command 2 the plug-in's
    # first query, after whose answer the plug-in's connection is closed.
    emulator.send("SYST:FAUL:CLOS 2")
    with pytest.raises(qvzfix.ConnectionFailed) as raised:
        port.apply()
    assert isinstance(raised.value, ConnectionError)
    assert raised.value.status == status.VI_ERROR_CONN_LOST


def test_refused_connection_raises_connection_failed(library_path, unused_port):
    with pytest.raises(qvzfix.ConnectionFailed) as raised:
        qvzfix.Session(f"TCPIP0::127.0.0.1::{unused_port}::SOCKET")
    assert raised.value.name == "VI_ERROR_RSRC_NFOUND"
    assert raised.value.function == "QVZ_init"


@pytest.mark.parametrize("number, expected_status", [
    (42, 42 - 2**31),  # device-specific: bit 31 set
    (-222, -222),  # standard SCPI: passed on as it is
])
def test_analyzer_error_queue_entry_raises_analyzer_error(session, emulator, number,
                                                          expected_status):
    emulator.send(f"SYST:FAUL:ERR {number}")
    with pytest.raises(qvzfix.AnalyzerError) as raised:
        session.port(2).apply()
    assert (raised.value.scpi_number, raised.value.status) == (number, expected_status)
    assert raised.value.text == f"analyzer error {number}"


def test_missing_directory_raises_file_error_and_the_analyzer_is_not_told(session, emulator,
                                                                         touchstone_dir):
    port = session.port(1)
    port.action = Action.EMBEDDING
    session.path = touchstone_dir / "missing"
    with pytest.raises(qvzfix.FileError) as raised:
        port.apply()
    assert isinstance(raised.value, OSError)
    assert raised.value.name == "VI_ERROR_FILE_ACCESS"
    assert emulator.report()["P1.PMC"] == "OFF"
    assert not (touchstone_dir / "missing").exists()


def test_garbled_reply_raises_the_base_error(session, emulator):
    emulator.send('SYST:FAUL:GARB "SERV:CHAN:ACT?"')
    with pytest.raises(qvzfix.Error) as raised:
        session.port(1).apply()
    assert type(raised.value) is qvzfix.Error
    assert raised.value.name == "VI_ERROR_INV_FMT"


def test_failed_immediate_apply_keeps_the_new_value(session, emulator):
    port = session.port(3)
    session.apply_immediate = True
    emulator.send("SYST:FAUL:ERR 7")
    with pytest.raises(qvzfix.AnalyzerError):
        port.circuit = qvzfix.Circuit.SHUNT_L_SHUNT_C
    assert port.circuit == qvzfix.Circuit.SHUNT_L_SHUNT_C


@pytest.mark.parametrize("value", [status.VI_ERROR_TMO, status.VI_ERROR_CONN_LOST, -256,
                                   102 - 2**31, status.VI_ERROR_FILE_ACCESS, status.VI_ERROR_IO])
def test_errors_survive_pickling(value):
    error = qvzfix.errors.error_for_status(value, "QVZ_ApplyChanges")
    copy = pickle.loads(pickle.dumps(error))
    assert type(copy) is type(error)
    assert (copy.status, copy.name, copy.text, copy.function, str(copy)) == (
        error.status, error.name, error.text, error.function, str(error))
    assert getattr(copy, "scpi_number", None) == getattr(error, "scpi_number", None)
