#!/usr/bin/env python3
"""Writes the benchmark corpus into a folder: text, program-like binaries and
random data, 40 MB in all, the same bytes on every run and machine."""
import random
import struct
import sys
from pathlib import Path

WORDS = ("the installer extracts members of an archive into a work folder and checks each CRC before it "
         "starts the inner program window shortcut release notes with Morlu version file data block code "
         "length distance literal table header method stored packed original size time date attribute "
         "level name extended folder path system registry setup progress step finish cancel retry").split()


def text(rng, size):
    out, length = [], 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
        line = line.capitalize() + rng.choice((".", ".", ",", ":", "!")) + "\r\n"
        if rng.random() < 0.05:
            line = "%d\t%08X\t%s\r\n" % (rng.randint(0, 99999), rng.getrandbits(32), line.strip())
        out.append(line)
        length += len(line)
    return "".join(out).encode("ascii")[:size]


def binary(rng, size):
    """Code-like bytes, little-endian tables, strings and zero padding."""
    out, length, address = [], 0, 0x401000
    opcodes = [bytes.fromhex(h) for h in ("8b45", "8945", "e8", "ff15", "c3", "55", "8bec", "83ec", "6a00",
                                          "50", "51", "52", "85c0", "74", "75", "eb", "0fb6", "33c0")]
    while length < size:
        kind = rng.random()
        if kind < 0.55:
            chunk = b"".join(rng.choice(opcodes) + bytes([rng.getrandbits(8)]) for _ in range(rng.randint(4, 40)))
        elif kind < 0.75:
            chunk = b"".join(struct.pack("<I", address + 4 * rng.randint(0, 255)) for _ in range(rng.randint(4, 64)))
            address += 0x40
        elif kind < 0.9:
            chunk = rng.choice(WORDS).encode() + b"\0"
        else:
            chunk = bytes(rng.randint(1, 512))
        out.append(chunk)
        length += len(chunk)
    return b"".join(out)[:size]


def noise(rng, size):
    return rng.getrandbits(8 * size).to_bytes(size, "little")


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    rng = random.Random(20240607)
    mb = 1 << 20
    files = [("manual%d.txt" % i, text, 4 * mb) for i in range(4)]
    files += [("program%d.bin" % i, binary, 4 * mb) for i in range(4)]
    files += [("noise%d.dat" % i, noise, 2 * mb) for i in range(3)]
    files += [("small%02d.txt" % i, text, 64 * 1024 + i * 777) for i in range(32)]
    for name, make, size in files:
        (folder / name).write_bytes(make(rng, size))


if __name__ == "__main__":
    main()
