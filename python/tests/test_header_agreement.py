"""The Python tables agree with the C headers: statuses, their texts, the enumerations."""

from __future__ import annotations

import re
import shutil
import subprocess
from pathlib import Path

import pytest

import qvzfix
from qvzfix import Action, Circuit, Smoothing, status

INCLUDE = Path(__file__).resolve().parents[2] / "plugin" / "include"
STATUS_HEADER = INCLUDE / "qvzfix_status.h"

# Named statuses, and the ones the rules spell out: analyzer numbers at the
# edges of each range, unnamed VISA errors and completion codes.
PROBES = sorted(set(status.STATUSES) | {
    -1, -222, -65535, -65536, -(2**31), 1 - 2**31, 42 - 2**31, 65536 - 2**31,
    status._signed(0xBFFF0099), status._signed(0xBFFE0000), 0x3FFF0082, 1, 2**31 - 1,
})


def header_constants() -> dict:
    text = STATUS_HEADER.read_text()
    constants = {}
    for name, value in re.findall(r"#define QVZ_(VI_\w+)\s+(.+)", text):
        bits = re.search(r"QVZ_STATUS_FROM_BITS\((0x[0-9A-Fa-f]+)\)", value)
        constants[name] = status._signed(int(bits.group(1), 16)) if bits else int(value)
    return constants


def test_every_named_status_agrees_with_the_header():
    constants = header_constants()
    assert len(constants) >= 18
    assert {info.name: info.value for info in status.STATUSES.values()} == constants
    for name, value in constants.items():
        assert getattr(status, name) == value


@pytest.fixture(scope="module")
def c_texts(tmp_path_factory) -> dict:
    """What the header's inline functions say for each probe, compiled as C."""
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        pytest.fail("a C compiler is needed to check the status header", pytrace=False)
    directory = tmp_path_factory.mktemp("status_header")
    values = ", ".join(f"(int32_t){value & 0xFFFFFFFF}u" for value in PROBES)
    source = directory / "texts.c"
    source.write_text(f"""
#include <stdio.h>
#include "qvzfix_status.h"
int main(void) {{
    static const int32_t probes[] = {{{values}}};
    for (size_t i = 0; i < sizeof probes / sizeof probes[0]; ++i) {{
        printf("%ld|%ld|%s\\n", (long)probes[i],
               (long)qvz_analyzer_error_number(probes[i]), qvz_status_text(probes[i]));
    }}
    return 0;
}}
""")
    program = directory / "texts"
    subprocess.run([compiler, "-std=c11", "-Wall", "-Werror", f"-I{INCLUDE}", str(source),
                    "-o", str(program)], check=True, timeout=120)
    lines = subprocess.run([str(program)], check=True, capture_output=True, text=True,
                           timeout=60).stdout.splitlines()
    texts = {}
    for line in lines:
        value, number, text = line.split("|", 2)
        texts[int(value)] = (int(number), text)
    return texts


@pytest.mark.parametrize("value", PROBES, ids=lambda v: f"0x{v & 0xFFFFFFFF:08X}")
def test_texts_and_analyzer_numbers_agree_with_the_header(c_texts, value):
    number, text = c_texts[value]
    assert status.status_text(value) == text
    assert (status.scpi_number(value) or 0) == number
    if value < 0:
        error = qvzfix.errors.error_for_status(value)
        assert error.text == text
        assert isinstance(error, qvzfix.AnalyzerError) == (number != 0)


@pytest.mark.parametrize("enum, typedef", [
    (Circuit, "CircuitType"), (Smoothing, "SmoothingMode"), (Action, "ActionMode")])
def test_enumerations_agree_with_the_header(enum, typedef):
    header = (INCLUDE / "qvzfix.h").read_text()
    body = re.search(r"typedef enum %s \{(.*?)\}" % typedef, header, re.S).group(1)
    declared = {name: int(value) for name, value in re.findall(r"QVZ_(\w+) = (\d+)", body)}
    assert {member.name: member.value for member in enum} == declared
