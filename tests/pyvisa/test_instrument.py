"""qvzsim as any instrument, with pyvisa and the pyvisa-py backend as the
client: the IEEE 488.2 status commands and the *OPC / *ESR? loop, numbers
with unit suffixes and MINimum/MAXimum, the device and trace queries."""
import os
import pathlib
import re
import subprocess
import tempfile

import pytest

pyvisa = pytest.importorskip("pyvisa", reason="python3-pyvisa is not installed (scripts/test-browser.sh installs it)")
pytest.importorskip("pyvisa_py", reason="python3-pyvisa-py is not installed (scripts/test-browser.sh installs it)")

ROOT = pathlib.Path(__file__).resolve().parents[2]
QVZSIM = pathlib.Path(os.environ.get("QVZ_BUILD_DIR", ROOT / "build" / "dev")) / "emulator" / "qvzsim"


@pytest.fixture(scope="module")
def instrument():
    if not QVZSIM.exists():
        pytest.fail(f"{QVZSIM} is not built")
    process = subprocess.Popen([str(QVZSIM), "--port", "0", "--quiet", "--points", "11", "--start", "1e9",
                                "--stop", "3e9"], stdout=subprocess.PIPE, text=True)
    port = int(re.search(r":(\d+)$", process.stdout.readline().strip()).group(1))
    manager = pyvisa.ResourceManager("@py")
    session = manager.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET", read_termination="\n",
                                    write_termination="\n", timeout=3000)
    yield session
    session.close()
    manager.close()
    process.send_signal(2)
    process.wait(timeout=10)
    process.stdout.close()


@pytest.fixture(autouse=True)
def clear(instrument):
    instrument.write("*CLS")
    yield


def test_identifies_and_passes_its_self_test(instrument):
    assert instrument.query("*IDN?").startswith("Qaldorn,QVZSIM,")
    assert instrument.query("*TST?") == "0"
    assert instrument.query("SYST:VERS?") == "1999.0"


def test_opc_then_esr_loop_completes(instrument):
    instrument.write("SENS1:SWE:POIN 21;*OPC")
    for _ in range(50):
        if int(instrument.query("*ESR?")) & 1:
            break
    else:
        pytest.fail("*ESR? never reported operation complete")
    assert instrument.query("*ESR?") == "0"  # reading cleared it
    assert instrument.query("SENS1:SWE:POIN?") == "21"
    instrument.write("SENS1:SWE:POIN 11")


@pytest.mark.parametrize("bad, esr_bit", [
    ("NO:SUCH:HEADER", 32),            # command error
    ("SENS1:SWE:POIN 0", 16),          # execution error
    ("SYST:FAUL:ERR 101", 8),          # device-specific error
])
def test_errors_reach_the_status_byte_and_cls_clears_them(instrument, bad, esr_bit):
    instrument.write("*ESE 60;*SRE 32")
    instrument.write(bad)
    stb = int(instrument.query("*STB?"))
    assert stb & 4, "error queue bit"
    assert stb & 32, "event summary bit"
    assert stb & 64, "master summary: ESB is enabled in *SRE"
    assert int(instrument.query("*ESR?")) == esr_bit
    instrument.write(bad)
    instrument.write("*CLS")
    assert instrument.query("*STB?") == "0"
    assert instrument.query("SYST:ERR?") == '0,"No error"'
    assert instrument.query("*ESE?;*SRE?") == "60;32"  # the masks stay
    instrument.write("*ESE 0;*SRE 0;STAT:PRES")
    assert instrument.query("STAT:OPER?;STAT:QUES?") == "0;0"


@pytest.mark.parametrize("setting, query, reply", [
    ("SENS1:FREQ:STOP 5 GHz", "SENS1:FREQ:STOP?", "5000000000"),
    ("SENS1:FREQ:STAR 500 kHz", "SENS1:FREQ:STAR?", "500000"),
    ("SENS1:FREQ:STAR 1GHZ", "SENS1:FREQ:STAR?", "1000000000"),
    ("SENS1:FREQ:STOP 3e9", "SENS1:FREQ:STOP?", "3000000000"),
    ("SENS1:SWE:POIN MAX", "SENS1:SWE:POIN?", "200001"),
    ("SENS1:SWE:POIN MIN", "SENS1:SWE:POIN?", "1"),
    ("SENS1:SWE:POIN 11", "SENS1:SWE:POIN? MAX", "200001"),
])
def test_numbers_take_suffixes_and_bounds(instrument, setting, query, reply):
    instrument.write(setting)
    assert instrument.query(query) == reply
    assert instrument.query("SYST:ERR?") == '0,"No error"'


def test_a_device_file_is_what_the_trace_shows(instrument):
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "Dut.s1p")
        with open(path, "w") as out:
            out.write("# GHz S RI R 50\n1 0.5 0\n3 0 -0.5\n")
        instrument.write(f'SYST:DUT:PORT2:FIL "{path}"')
        assert instrument.query("SYST:DUT:PORT2:FIL?") == f'"{path}"'
        values = instrument.query_ascii_values("CALC1:DATA:PORT2:SDAT?")
        instrument.write('SYST:DUT:PORT2:FIL ""')
    assert len(values) == 2 * 11
    pairs = list(zip(values[0::2], values[1::2]))
    for k, (re_part, im_part) in enumerate(pairs):  # 1 to 3 GHz, linear in re and im
        assert re_part == pytest.approx(0.5 - 0.05 * k, abs=1e-12)
        assert im_part == pytest.approx(-0.05 * k, abs=1e-12)
    assert instrument.query("SYST:ERR?") == '0,"No error"'
