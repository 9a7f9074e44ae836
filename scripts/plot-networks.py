#!/usr/bin/python3
"""Plots |S11| and |S21| of the worked examples in docs/networks.md, one
figure per topology class, from the Touchstone files the library itself
writes: starts qvzsim on a free port, applies each topology through
libqvzfix (ctypes) and reads back the file of each apply.

    /usr/bin/python3 scripts/plot-networks.py [--build-dir build/package]

Builds qvzfix and qvzsim with the "package" preset when the build directory
lacks them. Needs Debian's python3-matplotlib. Writes docs/images/*.png.
"""
import argparse
import ctypes
import math
import os
import re
import subprocess
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The worked examples: near-lossless values (docs/networks.md).
LC = dict(R=0.1, L=10e-9, C=2.2e-12, G=10e-6)
CC = dict(C1=2.2e-12, G1=10e-6, C2=3.3e-12, G2=10e-6)
LL = dict(L1=10e-9, R1=0.1, L2=6.8e-9, R2=0.1)

NAMES = ["Series L - Shunt C", "Shunt C - Series L", "Shunt L - Series C",
         "Series C - Shunt L", "Shunt L - Shunt C", "Series C - Shunt C",
         "Shunt C - Series C", "Series L - Shunt L", "Shunt L - Series L"]
CLASSES = [
    ("lc", "L-C topologies 0 to 4: R = 0.1 ohm, L = 10 nH, C = 2.2 pF, G = 10 uS", range(0, 5)),
    ("cc", "C-C topologies 5 and 6: C1 = 2.2 pF, G1 = 10 uS (series), C2 = 3.3 pF, G2 = 10 uS (shunt)",
     range(5, 7)),
    ("ll", "L-L topologies 7 and 8: L1 = 10 nH, R1 = 0.1 ohm (series), L2 = 6.8 nH, R2 = 0.1 ohm (shunt)",
     range(7, 9)),
]
MIRRORS = (1, 3, 6, 8)
SWEEP = ["--start", "10e6", "--stop", "3e9", "--points", "599"]


def build(build_dir):
    lib = os.path.join(build_dir, "plugin", "libqvzfix.so")
    sim = os.path.join(build_dir, "emulator", "qvzsim")
    if not (os.path.exists(lib) and os.path.exists(sim)):
        subprocess.run(["cmake", "--preset", "package"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "package", "--target", "qvzfix", "qvzsim"],
                       cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return lib, sim


def start_emulator(sim):
    proc = subprocess.Popen([sim, "--port", "0", "--quiet"] + SWEEP, stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    match = re.match(r"qvzsim listening on 127\.0\.0\.1:(\d+)$", line.strip())
    if not match:
        proc.kill()
        sys.exit("qvzsim did not start: " + line)
    return proc, int(match.group(1))


def load_library(path):
    lib = ctypes.CDLL(path)
    for name in ("QVZ_init", "QVZ_SetS2PFilePath", "QVZ_SetS2PFilePrefix"):
        getattr(lib, name).argtypes = [ctypes.c_char_p]
    for name in ("QVZ_SetActivePort", "QVZ_SetCircuit", "QVZ_SetAction"):
        getattr(lib, name).argtypes = [ctypes.c_int32]
    for name in ("QVZ_SetRLCGValues", "QVZ_SetL1R1L2R2Values", "QVZ_SetC1G1C2G2Values"):
        getattr(lib, name).argtypes = [ctypes.c_double] * 4
    for name in ("QVZ_init", "QVZ_close", "QVZ_SetS2PFilePath", "QVZ_SetS2PFilePrefix",
                 "QVZ_SetActivePort", "QVZ_SetCircuit", "QVZ_SetAction", "QVZ_SetRLCGValues",
                 "QVZ_SetL1R1L2R2Values", "QVZ_SetC1G1C2G2Values", "QVZ_ApplyChanges"):
        getattr(lib, name).restype = ctypes.c_int32
    return lib


def check(status, call):
    if status != 0:
        sys.exit("%s failed with status 0x%08X" % (call, status & 0xFFFFFFFF))


def read_s2p(path):
    """Frequencies and the complex S11, S21 of a two-port RI file."""
    freqs, s11, s21 = [], [], []
    with open(path) as f:
        for line in f:
            if line.startswith("#"):
                assert line.split()[2:5] == ["S", "RI", "R"], line
            if not line.strip() or line[0] in "!#":
                continue
            v = [float(x) for x in line.split()]
            freqs.append(v[0])
            s11.append(complex(v[1], v[2]))
            s21.append(complex(v[3], v[4]))
    return freqs, s11, s21


def db(values):
    return [20 * math.log10(max(abs(v), 1e-12)) for v in values]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "package"))
    parser.add_argument("--out-dir", default=os.path.join(ROOT, "docs", "images"))
    args = parser.parse_args()
    lib_path, sim = build(os.path.abspath(args.build_dir))
    lib = load_library(lib_path)
    proc, port = start_emulator(sim)
    try:
        with tempfile.TemporaryDirectory() as tmp:
            check(lib.QVZ_init(("TCPIP0::127.0.0.1::%d::SOCKET" % port).encode()), "QVZ_init")
            check(lib.QVZ_SetActivePort(1), "QVZ_SetActivePort")
            check(lib.QVZ_SetS2PFilePath(tmp.encode()), "QVZ_SetS2PFilePath")
            check(lib.QVZ_SetAction(2), "QVZ_SetAction")  # None: the file is written all the same
            check(lib.QVZ_SetRLCGValues(LC["R"], LC["L"], LC["C"], LC["G"]), "QVZ_SetRLCGValues")
            check(lib.QVZ_SetC1G1C2G2Values(CC["C1"], CC["G1"], CC["C2"], CC["G2"]), "QVZ_SetC1G1C2G2Values")
            check(lib.QVZ_SetL1R1L2R2Values(LL["L1"], LL["R1"], LL["L2"], LL["R2"]), "QVZ_SetL1R1L2R2Values")
            results = {}
            for topology in range(9):
                check(lib.QVZ_SetS2PFilePrefix(("Topology%d_" % topology).encode()), "QVZ_SetS2PFilePrefix")
                check(lib.QVZ_SetCircuit(topology), "QVZ_SetCircuit")
                check(lib.QVZ_ApplyChanges(), "QVZ_ApplyChanges")
                results[topology] = read_s2p(os.path.join(tmp, "Topology%d_Port1.s2p" % topology))
            check(lib.QVZ_close(), "QVZ_close")
    finally:
        proc.terminate()
        proc.wait()

    os.makedirs(args.out_dir, exist_ok=True)
    for key, title, topologies in CLASSES:
        fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(8, 6.5))
        for topology in topologies:
            freqs, s11, s21 = results[topology]
            ghz = [f / 1e9 for f in freqs]
            label = "%d: %s" % (topology, NAMES[topology])
            # A mirrored pair (0/1, 2/3, 5/6, 7/8) of near-lossless networks
            # has the same magnitudes: the second is drawn dashed on top.
            style = dict(linestyle="--", linewidth=1.5) if topology in MIRRORS else dict(linewidth=3, alpha=0.7)
            top.plot(ghz, db(s21), label=label, **style)
            bottom.plot(ghz, db(s11), label=label, **style)
        top.set_ylabel("|S21| (dB)")
        bottom.set_ylabel("|S11| (dB)")
        bottom.set_xlabel("frequency (GHz)")
        top.set_ylim(-40, 1)
        bottom.set_ylim(-40, 1)
        for axis in (top, bottom):
            axis.grid(True, alpha=0.4)
            axis.legend(fontsize=8, loc="lower left")
        fig.suptitle(title, fontsize=9)
        fig.tight_layout()
        out = os.path.join(args.out_dir, "networks_%s.png" % key)
        fig.savefig(out, dpi=90)
        plt.close(fig)
        print(out)


if __name__ == "__main__":
    main()
