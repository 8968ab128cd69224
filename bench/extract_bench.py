#!/usr/bin/env python3
"""Times `morlu-pack extract` and `morlu-pack test` against lhasa, 7z and
bsdtar on the jlha archive (`jlha c1o5q`) of each corpus of
bench/make_corpus.py, checks that every extraction wrote its corpus byte for
byte, and prints one table: corpus x tool, wall and CPU time, MB/s, and the
ratio to the fastest peer.

The extractions write into a RAM folder (/dev/shm) unless --out names
another: on a disk, a folder's file creations right after the previous run's
deletions cost ext4 a search for inodes that are not freshly freed, which
swamps the small files' times and varies from run to run.

Usage: bench/extract_bench.py [--runs N] [--pack PATH] [--out DIR] [CORPUS...]
(from anywhere; builds and uses build/native/morlu-pack unless --pack names another)"""
import argparse
import filecmp
import os
import resource
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))
import make_corpus  # noqa: E402

WORK = ROOT / "build" / "bench"
CORPORA = WORK / "corpora"
PACK = ROOT / "build" / "native" / "morlu-pack"
# Goals: at least this many times as fast as the fastest peer, by wall-clock time.
GOALS = {"text": 3.0, "text1": 3.0}
DEFAULT_GOAL = 2.0

# Debian's "lha" may be jlha through the alternatives system: lhasa is called by its own name.
# (name, command for archive and output folder, writes files)
TOOLS = [
    ("morlu-pack extract", lambda archive, out: [str(PACK), "extract", str(archive), "-C", str(out)], True),
    ("morlu-pack test", lambda archive, out: [str(PACK), "test", str(archive)], False),
    ("lhasa x", lambda archive, out: ["lhasa", "xqw=" + str(out), str(archive)], True),
    ("7z x", lambda archive, out: ["7z", "x", "-y", "-o" + str(out), str(archive)], True),
    ("bsdtar xf", lambda archive, out: ["bsdtar", "xf", str(archive), "-C", str(out)], True),
]
OURS = [name for name, _, _ in TOOLS if name.startswith("morlu-pack")]
PEERS = [name for name, _, _ in TOOLS if not name.startswith("morlu-pack")]


def prepare(kind):
    """The corpus folder and its archive, made once; returns the files and the archive."""
    folder = CORPORA / kind
    done = CORPORA / (kind + ".done")
    archive = CORPORA / (kind + ".lzh")
    if not done.exists():
        shutil.rmtree(folder, ignore_errors=True)
        archive.unlink(missing_ok=True)
        make_corpus.make(folder, kind)
        done.touch()
    files = sorted(p for p in folder.iterdir())
    if not archive.exists():
        subprocess.run(["jlha", "c1o5q", str(archive)] + [p.name for p in files], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return files, archive


def same_output(out, files):
    written = sorted(p.name for p in out.iterdir())
    if written != [p.name for p in files]:
        return False
    return all(filecmp.cmp(p, out / p.name, shallow=False) for p in files)


def run_once(name, command, writes, archive, files, out):
    """One timed run into a fresh folder, its output checked: wall and CPU seconds."""
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = subprocess.run(command(archive, out), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        sys.exit("%s failed on %s with exit code %d" % (name, archive.name, result.returncode))
    if writes and not same_output(out, files):
        sys.exit("%s did not write %s byte for byte" % (name, archive.name))
    shutil.rmtree(out)
    return wall, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="runs per tool and corpus; the best counts (default 5)")
    parser.add_argument("--pack", type=Path, help="the morlu-pack to time (default: build it in build/native)")
    parser.add_argument("--out", type=Path, help="where the tools extract (default: a folder in /dev/shm, else "
                                                  "build/bench/out)")
    parser.add_argument("corpora", nargs="*", default=list(make_corpus.KINDS), help="corpora to time (default: all)")
    arguments = parser.parse_args()
    global PACK
    if arguments.pack:
        PACK = arguments.pack.resolve()
    else:
        subprocess.run(["cmake", "--build", "--preset", "native", "--target", "morlu-pack"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)

    out = arguments.out
    if out is None:
        out = Path("/dev/shm/morlu-bench-%d" % os.getpid()) if Path("/dev/shm").is_dir() else WORK / "out"
    out = out.resolve()

    print("== extraction into %s: %d cores, best of %d runs, every output checked byte for byte; ratio = fastest "
          "peer's time / this tool's" % (out, os.cpu_count(), arguments.runs))
    print("%-7s %-19s %7s %8s %8s %8s %8s %8s %8s" % ("corpus", "tool", "files", "MB", "wall s", "cpu s", "MB/s",
                                                      "wall x", "cpu x"))
    verdicts = []
    for kind in arguments.corpora:
        files, archive = prepare(kind)
        total = sum(p.stat().st_size for p in files)
        # Rounds of all tools in turn, so that the load of a shared machine
        # falls on every tool alike; the best run of each counts.
        walls = {name: [] for name, _, _ in TOOLS}
        cpus = {name: [] for name, _, _ in TOOLS}
        for _ in range(arguments.runs):
            for name, command, writes in TOOLS:
                wall, cpu = run_once(name, command, writes, archive, files, out)
                walls[name].append(wall)
                cpus[name].append(cpu)
        wall = {name: min(times) for name, times in walls.items()}
        cpu = {name: min(times) for name, times in cpus.items()}
        fastest_wall = min(wall[name] for name in PEERS)
        fastest_cpu = min(cpu[name] for name in PEERS)
        for name, _, _ in TOOLS:
            print("%-7s %-19s %7d %8.1f %8.3f %8.3f %8.1f %7.2fx %7.2fx"
                  % (kind, name, len(files), total / 1e6, wall[name], cpu[name], total / 1e6 / wall[name],
                     fastest_wall / wall[name], fastest_cpu / cpu[name]))
        goal = GOALS.get(kind, DEFAULT_GOAL)
        ratio = fastest_wall / wall[OURS[0]]
        verdicts.append("%s %.2fx (goal %.0fx: %s)" % (kind, ratio, goal, "met" if ratio >= goal else "MISSED"))
    print("extract against the fastest peer, wall: " + "; ".join(verdicts))


if __name__ == "__main__":
    main()
