#!/usr/bin/env python3
"""Measures profsync against the cheapest program that reads the same bytes.

    python3 bench/bench.py [--runs 5] [--games 1000,100000,1000000] [--program build/profsync]

Builds the native release, writes deterministic profile lists, and runs
`profsync /e` on each with standard input at its end and no registry editor on
PATH, next to `tr -s ' \\t' ' ' < kyro.txt > out` on the same list. Prints one
table: median wall time, input MB/s, peak resident memory, instructions per
input byte (callgrind), and profsync's time over tr's. It only reports.
"""

import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TYPES = ["OpenGL", "Direct3D", "Glide"]
VALUES = ['"TextureBias"="{}"', '"VSync"="{}"', '"FSAA"="{}"', '"Dither"="{}"', '"ZBufferDepth"="{}"']


def write_list(path, games):
    """Five lines a game, indented, with blank lines between games, as real lists have them."""
    rng = random.Random(games)
    with open(path, "w", newline="\n") as f:
        f.write("Date: 12.03.2006\n\n")
        for n in range(games):
            indent = "    " if rng.random() < 0.7 else "\t"
            f.write(f"Name: Game number {n}  Deluxe\n")
            f.write(f"{indent}Typ: {rng.choice(TYPES)}\n")
            f.write(f"{indent}Exe:   game{n}.exe\n")
            for value in rng.sample(VALUES, 2):
                f.write(indent + value.format(rng.randint(0, 24)) + "\n")
            if rng.random() < 0.8:
                f.write("\n")


def run_once(command, cwd, env, stdin_path, stdout_path):
    with open(stdin_path, "rb") as stdin, open(stdout_path, "wb") as stdout:
        start = time.perf_counter()
        done = subprocess.run(command, cwd=cwd, env=env, stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{command[0]} failed in {cwd}")
    return wall


def peak_rss(command, cwd, env, stdin_path, stdout_path):
    """Peak resident memory in KiB. Measured through GNU time: a child forked
    from Python would count Python's own pages, which stay in the high-water
    mark across exec."""
    if not os.path.exists("/usr/bin/time"):
        return float("nan")
    report = os.path.join(cwd, "rss.txt")
    run_once(["/usr/bin/time", "-f", "%M", "-o", report, *command], cwd, env, stdin_path, stdout_path)
    with open(report) as f:
        kib = int(f.read().split()[-1])
    os.remove(report)
    return kib


def instructions(command, cwd, env, stdin_path, stdout_path):
    """Instructions executed, as callgrind counts them (the same for every run)."""
    if not shutil.which("valgrind"):
        return None
    out = os.path.join(cwd, "callgrind.out")
    with open(stdin_path, "rb") as stdin, open(stdout_path, "wb") as stdout:
        done = subprocess.run([shutil.which("valgrind"), "--tool=callgrind", f"--callgrind-out-file={out}", *command],
                              cwd=cwd, env=env, stdin=stdin, stdout=stdout, stderr=subprocess.PIPE)
    os.remove(out)
    match = re.search(rb"Collected : (\d+)", done.stderr)
    return int(match.group(1)) if match else None


def measure(label, command, cwd, env, stdin_path, stdout_path, size, runs):
    wall = statistics.median(run_once(command, cwd, env, stdin_path, stdout_path) for _ in range(runs))
    rss = peak_rss(command, cwd, env, stdin_path, stdout_path)
    count = instructions(command, cwd, env, stdin_path, stdout_path)
    return {
        "label": label,
        "wall": wall,
        "mbps": size / wall / 1e6,
        "rss": rss / 1024,
        "ipb": count / size if count else float("nan"),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--games", default="1000,100000,1000000")
    parser.add_argument("--program", default=os.path.join(ROOT, "build", "profsync"))
    options = parser.parse_args()

    if options.program == os.path.join(ROOT, "build", "profsync"):
        subprocess.run(["cmake", "--preset", "native"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "native", "--target", "profsync"], cwd=ROOT,
                       check=True, stdout=subprocess.DEVNULL)
    program = os.path.abspath(options.program)

    work = os.path.join(ROOT, "build", "bench")
    os.makedirs(work, exist_ok=True)
    empty_bin = os.path.join(work, "bin")  # PATH without any regedit.exe
    os.makedirs(empty_bin, exist_ok=True)
    env = dict(os.environ, PATH=empty_bin, WINEPREFIX=os.path.join(ROOT, "example", "wine"))
    no_input = os.devnull

    rows = []
    for games in (int(g) for g in options.games.split(",")):
        folder = os.path.join(work, f"games-{games}")
        os.makedirs(folder, exist_ok=True)
        listing = os.path.join(folder, "kyro.txt")
        if not os.path.exists(listing):
            write_list(listing, games)
        size = os.path.getsize(listing)
        ours = measure("profsync /e", [program, "/e"], folder, env, no_input,
                       os.path.join(folder, "console.txt"), size, options.runs)
        theirs = measure("tr -s", [shutil.which("tr"), "-s", " \t", " "], folder, env, listing,
                         os.path.join(folder, "out"), size, options.runs)
        rows.append((games, size, ours, theirs))

    print(f"{'games':>9} {'input MB':>9} | {'program':<11} {'median s':>9} {'MB/s':>7} {'peak RSS MiB':>12} "
          f"{'instr/byte':>10} | {'vs tr':>5}")
    for games, size, ours, theirs in rows:
        for r in (ours, theirs):
            ratio = f"{ours['wall'] / theirs['wall']:5.2f}" if r is ours else ""
            print(f"{games:>9} {size / 1e6:>9.1f} | {r['label']:<11} {r['wall']:>9.4f} {r['mbps']:>7.0f} "
                  f"{r['rss']:>12.2f} {r['ipb']:>10.1f} | {ratio:>5}")
    print(f"\n{os.uname().machine}, {os.cpu_count()} cores, median of {options.runs} runs; "
          "instructions counted by callgrind")


if __name__ == "__main__":
    main()
