#!/usr/bin/env python3
"""Decoding alone, in memory: the engine (bench/lh5_decode_bench.cpp, one
thread, output counted and CRC-checked, nothing written) at the packer's flags
and at the installer's (-Os and its single engine state), beside whole runs of
`morlu-pack test`, `7z t` and `bsdtar -xOf` (to /dev/null) on the jlha archive
of each corpus of bench/make_corpus.py. MB/s of output; the engine's figure is
its own timing of the decode, the others' that of the whole process. Rounds
of all rows in turn (a shared machine's load falls on all alike); the median
counts, the best beside it.

With --stub-exe, also the shipping stub's own engine (build/win32's
lh5_decode_bench.exe: i686, -Os -march=i486) under the i686 chroot's wine and
qemu: an emulated figure, for comparing builds with each other only.

Usage: bench/decode_bench.py [--runs N] [--stub-exe EXE] [CORPUS...]"""
import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))
import extract_bench  # noqa: E402
import make_corpus  # noqa: E402

BUILD = ROOT / "build" / "native"
ENGINES = [("engine, packer flags", BUILD / "bench" / "lh5_decode_bench"),
           ("engine, stub flags", BUILD / "bench" / "lh5_decode_bench_stub_flags")]
PEERS = [("7z t", lambda archive: ["7z", "t", str(archive)]),
         ("bsdtar -xOf", lambda archive: ["bsdtar", "-xOf", str(archive)])]
OURS_WHOLE = [("morlu-pack test", lambda archive: [str(BUILD / "morlu-pack"), "test", str(archive)])]


def engine_mbps(program, archive, runs, wrapper=()):
    """The engine's best of runs decodes in one process, in MB/s, and the bytes it made."""
    result = subprocess.run(list(wrapper) + [str(program), str(archive), str(runs)], capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("%s failed on %s: %s" % (program.name, archive.name, result.stderr.strip()))
    fields = result.stdout.split()
    return float(fields[fields.index("best") + 1]), int(fields[fields.index("bytes") + 1])


def whole_run_mbps(name, command, archive, size):
    start = time.perf_counter()
    result = subprocess.run(command(archive), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit("%s failed on %s with exit code %d" % (name, archive.name, result.returncode))
    return size / 1e6 / wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7, help="rounds (default 7); the engine decodes 3 times a round")
    parser.add_argument("--stub-exe", type=Path, help="the win32 build's lh5_decode_bench.exe, run under the i686 "
                                                       "chroot's wine (scripts/i686-wine)")
    parser.add_argument("corpora", nargs="*", default=list(make_corpus.KINDS), help="corpora (default: all)")
    arguments = parser.parse_args()
    subprocess.run(["cmake", "--build", "--preset", "native", "--target", "lh5_decode_bench",
                    "lh5_decode_bench_stub_flags", "morlu-pack"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)

    engines = list(ENGINES)
    wrappers = {}
    if arguments.stub_exe:
        engines.append(("stub i686 (emulated)", arguments.stub_exe.resolve()))
        wrappers["stub i686 (emulated)"] = [str(ROOT / "scripts" / "i686-wine"), "run", "wine"]

    print("== decoding in memory: MB/s of output, median of %d rounds (best beside it); the engine rows time the "
          "decode on one thread, the others the whole process (morlu-pack test on %d cores); ratio = this row's "
          "median / the faster peer's" % (arguments.runs, os.cpu_count()))
    print("%-8s %-22s %8s %9s %9s %8s" % ("corpus", "row", "MB", "MB/s", "best", "x peer"))
    for kind in arguments.corpora:
        files, archive = extract_bench.prepare(kind)
        size = sum(p.stat().st_size for p in files)
        rows = [name for name, _ in engines] + [name for name, _ in OURS_WHOLE + PEERS]
        figures = {name: [] for name in rows}
        for _ in range(arguments.runs):
            for name, program in engines:
                mbps, made = engine_mbps(program, archive, 3, wrappers.get(name, ()))
                if made != size:
                    sys.exit("%s made %d bytes of %s, not %d" % (name, made, archive.name, size))
                figures[name].append(mbps)
            for name, command in OURS_WHOLE + PEERS:
                figures[name].append(whole_run_mbps(name, command, archive, size))
        peer = max(statistics.median(figures[name]) for name, _ in PEERS)
        for name in rows:
            median = statistics.median(figures[name])
            print("%-8s %-22s %8.1f %9.1f %9.1f %7.2fx" % (kind, name, size / 1e6, median, max(figures[name]),
                                                          median / peer))


if __name__ == "__main__":
    main()
