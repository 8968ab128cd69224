#!/usr/bin/env python3
"""The installer's own extraction, under wine, against the native packer's and
a plain copy of the same product, for products of 20 MB and 200 MB (text,
programs and random bytes, a third each, from bench/make_corpus.py).

Each product is packed by build/native/morlu-pack around the x86-64 stub of
build/win64 (the same code as the shipping i686 one) with the demo inner
installer, which notes when it starts (DEZAZAZE.CFG: tickfile=1). Per run:
- the installer under wine (build/win64/install_probe.exe): launch to the
  progress window, launch to the inner installer's start; the payload part is
  the time between the two, almost all of it extraction; its %TEMP% is in RAM;
- the installer's peak private memory, RssAnon sampled every 5 ms;
- `morlu-pack extract` on one core (taskset: it runs as many threads as its
  affinity mask allows) of the same installer, and `cp -r` of the product
  folder, into RAM (/dev/shm).
The fastest of --runs counts; memory is the largest seen.

Usage: bench/install_bench [--runs N]   (the wrapper gives wine a display and its prefix)"""
import argparse
import os
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))
import make_corpus  # noqa: E402

MB = 1 << 20
WORK = ROOT / "build" / "bench" / "install"
RAM = Path("/dev/shm/morlu-install-bench")
PACK = ROOT / "build" / "native" / "morlu-pack"
WIN64 = ROOT / "build" / "win64"
SIZES = (20, 200)
# The payload part of an install, as a multiple of the native one-thread extraction.
GOAL = 1.5


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def product(size_mb):
    """The product folder and its installer, made once."""
    folder = WORK / ("product-%d" % size_mb)
    setup = WORK / ("setup-%d.exe" % size_mb)
    if not (WORK / ("product-%d.done" % size_mb)).exists():
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        third = size_mb * MB // 3
        (folder / "notes.txt").write_bytes(make_corpus.english(third))
        programs = b"".join(path.read_bytes() for path in make_corpus.programs(third))
        (folder / "programs.bin").write_bytes(programs[:third])
        (folder / "noise.dat").write_bytes(os.urandom(third))
        for name in ("DEZAZAZE.exe", "Morlu.exe", "Morlu.txt"):
            shutil.copy(WIN64 / "demo-product" / name, folder)
        (folder / "DEZAZAZE.CFG").write_bytes(b"tickfile=1\r\nresult=never\r\n")
        (WORK / ("product-%d.done" % size_mb)).touch()
    if not setup.exists() or setup.stat().st_mtime < (WIN64 / "setup-stub.exe").stat().st_mtime:
        subprocess.run([str(PACK), "build", "--quiet", "--stub", str(WIN64 / "setup-stub.exe"), "--version", "1.0",
                        "-o", str(setup), str(folder)], check=True)
    return folder, setup


def rss_anon_kib(name):
    """RssAnon of the process whose command line names `name`, or None."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if name.encode() not in Path("/proc", pid, "cmdline").read_bytes():
                continue
            for line in Path("/proc", pid, "status").read_text().splitlines():
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
        except OSError:
            continue
    return None


def install(setup):
    """(window ms, inner installer ms, peak RssAnon KiB) of one run under wine."""
    temp = RAM / "temp"
    shutil.rmtree(temp, ignore_errors=True)
    temp.mkdir(parents=True)
    peak = [0]
    done = threading.Event()

    def sample():
        while not done.is_set():
            kib = rss_anon_kib(setup.name)
            if kib is not None:
                peak[0] = max(peak[0], kib)
            time.sleep(0.005)

    sampler = threading.Thread(target=sample)
    sampler.start()
    env = dict(os.environ, LC_ALL="ja_JP.UTF-8", WINEDEBUG="-all")
    out = subprocess.run(["wine", str(WIN64 / "install_probe.exe"), windows_path(setup), windows_path(temp)],
                         env=env, capture_output=True, text=True)
    done.set()
    sampler.join()
    if out.returncode != 0:
        sys.exit("install_bench: the installer did not reach its inner installer: %s %s" % (out.stdout, out.stderr))
    window, inner = (int(x) for x in out.stdout.split())
    shutil.rmtree(temp, ignore_errors=True)
    return window, inner, peak[0]


def timed(command):
    began = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return (time.perf_counter() - began) * 1000


def native(setup, folder):
    """(morlu-pack extract on one core ms, cp -r ms)."""
    out = RAM / "out"
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    extract = timed(["taskset", "-c", "0", str(PACK), "extract", str(setup), "-C", str(out)])
    shutil.rmtree(out)
    copy = timed(["cp", "-r", str(folder), str(out)])
    shutil.rmtree(out)
    return extract, copy


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    for needed in (PACK, WIN64 / "setup-stub.exe", WIN64 / "install_probe.exe", WIN64 / "demo-product"):
        if not needed.exists():
            sys.exit("install_bench: %s is missing (scripts/build)" % needed)
    print("%-8s %-44s %9s %9s %7s" % ("product", "what", "ms", "MB/s", "x"))
    for size_mb in SIZES:
        folder, setup = product(size_mb)
        runs = [install(setup) for _ in range(args.runs)]
        natives = [native(setup, folder) for _ in range(args.runs)]
        window = min(r[0] for r in runs)
        inner = min(r[1] for r in runs)
        payload = min(r[1] - r[0] for r in runs)
        peak = max(r[2] for r in runs)
        extract = min(n[0] for n in natives)
        copy = min(n[1] for n in natives)
        rows = [("installer under wine: launch to window", window, None),
                ("installer under wine: launch to inner installer", inner, None),
                ("installer under wine: payload part", payload, payload / extract),
                ("morlu-pack extract, one core", extract, 1.0),
                ("cp -r", copy, copy / extract)]
        for what, ms, ratio in rows:
            rate = "%9.0f" % (size_mb * MB / 1e6 / (ms / 1000)) if ratio is not None else "%9s" % ""
            print("%-8s %-44s %9.0f %s %7s" % ("%d MB" % size_mb, what, ms, rate,
                                                "%.2fx" % ratio if ratio is not None else ""))
        print("%-8s %-44s %9s %9s %7s" % ("%d MB" % size_mb, "installer peak private memory (RssAnon)",
                                          "%.1f MB" % (peak / 1024), "", ""))
        print("%-8s goal: payload part within %.1fx of the native extraction: %s" %
              ("%d MB" % size_mb, GOAL, "met" if payload / extract <= GOAL else "NOT MET"))


if __name__ == "__main__":
    main()
