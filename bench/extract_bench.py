#!/usr/bin/env python3
"""Times `morlu-pack extract` against lhasa, 7z and bsdtar on one jlha archive
of the benchmark corpus, checks that every tool wrote the corpus byte for byte,
and prints each tool's time and our speed against the fastest peer.

Usage: bench/extract_bench.py [--runs N] [--pack PATH]
(from anywhere; builds and uses build/native/morlu-pack unless --pack names another)"""
import argparse
import filecmp
import resource
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "bench"
CORPUS = WORK / "corpus"
ARCHIVE = WORK / "corpus.lzh"
PACK = ROOT / "build" / "native" / "morlu-pack"

# Debian's "lha" may be jlha through the alternatives system: lhasa is called by its own name.
TOOLS = [
    ("morlu-pack extract", lambda out: [str(PACK), "extract", str(ARCHIVE), "-C", str(out)]),
    ("lhasa x", lambda out: ["lhasa", "xqw=" + str(out), str(ARCHIVE)]),
    ("7z x", lambda out: ["7z", "x", "-y", "-o" + str(out), str(ARCHIVE)]),
    ("bsdtar xf", lambda out: ["bsdtar", "xf", str(ARCHIVE), "-C", str(out)]),
]


def prepare(build_pack):
    if build_pack:
        subprocess.run(["cmake", "--build", "--preset", "native", "--target", "morlu-pack"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
    if not (CORPUS / ".done").exists():
        shutil.rmtree(CORPUS, ignore_errors=True)
        subprocess.run([sys.executable, str(ROOT / "bench" / "make_corpus.py"), str(CORPUS)], check=True)
        (CORPUS / ".done").touch()
    if not ARCHIVE.exists() or ARCHIVE.stat().st_mtime < (CORPUS / ".done").stat().st_mtime:
        ARCHIVE.unlink(missing_ok=True)
        names = sorted(p.name for p in CORPUS.iterdir() if not p.name.startswith("."))
        subprocess.run(["jlha", "a1o5q", str(ARCHIVE)] + names, cwd=CORPUS, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return sorted(p for p in CORPUS.iterdir() if not p.name.startswith("."))


def same_output(out, files):
    written = sorted(p.name for p in out.iterdir())
    if written != [p.name for p in files]:
        return False
    return all(filecmp.cmp(p, out / p.name, shallow=False) for p in files)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="runs per tool; the best counts (default 5)")
    parser.add_argument("--pack", type=Path, help="the morlu-pack to time (default: build it in build/native)")
    arguments = parser.parse_args()
    runs = arguments.runs
    global PACK
    if arguments.pack:
        PACK = arguments.pack.resolve()

    files = prepare(arguments.pack is None)
    total = sum(p.stat().st_size for p in files)
    print("corpus: %d files, %.1f MB; archive %.1f MB (jlha, -lh5-, level 1)"
          % (len(files), total / 1e6, ARCHIVE.stat().st_size / 1e6))

    # Rounds of all tools in turn, so that the load of a shared machine falls
    # on every tool alike; the best round of each counts. CPU time (user and
    # system, children) is shown beside the wall-clock time.
    walls = {name: [] for name, _ in TOOLS}
    cpus = {name: [] for name, _ in TOOLS}
    for _ in range(runs):
        for name, command in TOOLS:
            out = WORK / ("out-" + name.split()[0])
            shutil.rmtree(out, ignore_errors=True)
            out.mkdir(parents=True)
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            start = time.perf_counter()
            result = subprocess.run(command(out), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            walls[name].append(time.perf_counter() - start)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpus[name].append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
            if result.returncode != 0:
                sys.exit("%s failed with exit code %d" % (name, result.returncode))
    for name, _ in TOOLS:
        out = WORK / ("out-" + name.split()[0])
        if not same_output(out, files):
            sys.exit("%s did not write the corpus byte for byte" % name)
        shutil.rmtree(out)

    print("%-20s %9s %9s %9s %9s" % ("tool", "wall s", "MB/s", "cpu s", "MB/s"))
    for name, _ in TOOLS:
        wall, cpu = min(walls[name]), min(cpus[name])
        print("%-20s %9.3f %9.1f %9.3f %9.1f" % (name, wall, total / 1e6 / wall, cpu, total / 1e6 / cpu))
    ours = TOOLS[0][0]
    peers = [name for name, _ in TOOLS[1:]]
    fastest = min(peers, key=lambda name: min(walls[name]))
    print("output identical for every tool")
    print("fastest peer: %s; morlu-pack extract is %.2fx as fast by wall-clock time, %.2fx by CPU time (goal: 2x)"
          % (fastest, min(walls[fastest]) / min(walls[ours]), min(cpus[fastest]) / min(cpus[ours])))


if __name__ == "__main__":
    main()
