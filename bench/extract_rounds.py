#!/usr/bin/env python3
"""Times whole extraction processes side by side in interleaved rounds (the
order alternates) and prints each side's times and the min and median of the
paired ratios project / peer."""
import argparse
import os
import shutil
import statistics
import subprocess
import time


def timed(command, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("driver")
    parser.add_argument("archive")
    parser.add_argument("work")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    out = {name: f"{args.work}/{name}" for name in ("project", "bsdtar", "unzip")}
    commands = {
        "project": lambda: [args.driver, args.archive, out["project"]],
        "bsdtar": lambda: ["bsdtar", "-xf", args.archive, "-C", out["bsdtar"]],
        "unzip": lambda: ["unzip", "-qq", "-o", args.archive, "-d", out["unzip"]],
    }
    times = {name: [] for name in commands}
    for r in range(args.rounds):
        order = list(commands) if r % 2 == 0 else list(reversed(commands))
        for name in order:
            times[name].append(timed(commands[name](), out[name]))
    for name, values in times.items():
        print(f"{name}: " + " ".join(f"{v:.2f}" for v in values) + " s")
    for peer in ("bsdtar", "unzip"):
        ratios = [p / q for p, q in zip(times["project"], times[peer])]
        print(f"project/{peer}: min {min(ratios):.2f}x median {statistics.median(ratios):.2f}x")
    same = subprocess.run(["diff", "-rq", out["project"], out["bsdtar"]], stdout=subprocess.PIPE, text=True)
    print("same files as bsdtar" if same.returncode == 0 else "DIFFERENT from bsdtar:\n" + same.stdout[:2000])


if __name__ == "__main__":
    main()
