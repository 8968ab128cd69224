#!/usr/bin/env python3
"""Writes the extraction benchmark's corpora, one folder each, under FOLDER:
text (English prose: the system's Debian changelogs), binary (x86 programs:
wine's Windows DLLs and programs), stored (random bytes, which jlha stores),
small (2,400 files of 256 bytes to 20 KB cut from the others) and base64
(random bytes in base64 lines), and text1 and binary1, the bytes of text and
binary as one member each (members are what extraction spreads over cores).
About 31 MB each, small 11 MB. Generated parts are the same on every run; the
system's files depend on what is installed.

Usage: bench/make_corpus.py FOLDER [KIND...]"""
import base64
import gzip
import math
import random
import sys
from pathlib import Path

MB = 1 << 20
KINDS = ("text", "binary", "stored", "small", "base64", "text1", "binary1")
PROGRAMS = Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")


def english(size):
    """Debian changelogs, whole, in path order, up to size bytes."""
    out, length = [], 0
    for path in sorted(Path("/usr/share/doc").glob("*/changelog*.gz")):
        try:
            data = gzip.decompress(path.read_bytes())
        except (OSError, EOFError):
            continue
        out.append(data)
        length += len(data)
        if length >= size:
            break
    if length < size:
        sys.exit("make_corpus: the changelogs in /usr/share/doc hold only %d bytes" % length)
    return b"".join(out)[:size]


def programs(size):
    """Wine's x86-64 Windows programs and libraries, whole, by name, up to size bytes."""
    chosen, length = [], 0
    for path in sorted(PROGRAMS.glob("*")):
        if path.suffix not in (".dll", ".exe") or length >= size:
            continue
        chosen.append(path)
        length += path.stat().st_size
    if length < size:
        sys.exit("make_corpus: %s holds only %d bytes of programs (bash scripts/install-deps)" % (PROGRAMS, length))
    return chosen


def write_pieces(folder, stem, suffix, data, piece):
    for number, start in enumerate(range(0, len(data), piece)):
        (folder / ("%s%d%s" % (stem, number, suffix))).write_bytes(data[start:start + piece])


def make(folder, kind):
    rng = random.Random("morlu-bench-" + kind)
    folder.mkdir(parents=True)
    if kind == "text":
        write_pieces(folder, "changes", ".txt", english(30 * MB), 4 * MB)
    elif kind == "binary":
        for path in programs(30 * MB):
            (folder / path.name).write_bytes(path.read_bytes())
    elif kind == "text1":
        (folder / "changes.txt").write_bytes(english(30 * MB))
    elif kind == "binary1":
        (folder / "programs.bin").write_bytes(b"".join(path.read_bytes() for path in programs(30 * MB)))
    elif kind == "stored":
        write_pieces(folder, "noise", ".dat", rng.randbytes(30 * MB), 5 * MB)
    elif kind == "base64":
        lines = base64.encodebytes(rng.randbytes(30 * MB * 3 // 4 * 76 // 78)).replace(b"\n", b"\r\n")
        write_pieces(folder, "encoded", ".txt", lines, 8 * MB)
    else:
        # Sizes spread evenly on a log scale; contents cut from prose,
        # programs and random bytes, about half, two fifths and one tenth.
        prose = english(4 * MB)
        code = b"".join(path.read_bytes() for path in programs(4 * MB))
        for number in range(2400):
            size = int(math.exp(rng.uniform(math.log(256), math.log(20000))))
            kind_of = rng.random()
            if kind_of < 0.5:
                start = rng.randrange(len(prose) - size)
                data, suffix = prose[start:start + size], ".txt"
            elif kind_of < 0.9:
                start = rng.randrange(len(code) - size)
                data, suffix = code[start:start + size], ".bin"
            else:
                data, suffix = rng.randbytes(size), ".dat"
            (folder / ("f%04d%s" % (number, suffix))).write_bytes(data)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    root = Path(sys.argv[1])
    for kind in sys.argv[2:] or KINDS:
        if kind not in KINDS:
            sys.exit("make_corpus: no corpus %r (%s)" % (kind, ", ".join(KINDS)))
        make(root / kind, kind)


if __name__ == "__main__":
    main()
