#!/usr/bin/env python3
"""Times whole extraction processes side by side in interleaved rounds (the
order alternates), every side pinned to the same CPUs, and prints each side's
times and the min and median of the paired ratios project / peer: wall time,
and CPU time (user + system), which the machine's other load disturbs less.

With --ext4 IMAGE, every extraction goes to a fresh ext4 file system, a loop
file made anew (untimed) for each one, and a second figure times the
extraction followed by one sync of that file system, so that what the side
leaves to write back counts too (needs root).

With --replace, every extraction goes over an existing copy of the same
files, made untimed before it (by bsdtar, then synced), so that each side
replaces every file."""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import time


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def fresh_ext4(image, mount, size):
    if os.path.ismount(mount):
        subprocess.run(["umount", mount], check=True)
    if os.path.exists(image):
        os.remove(image)
    subprocess.run(["truncate", "-s", size, image], check=True)
    # Inode tables and journal made now, not by a background thread during the timed part.
    subprocess.run(["mkfs.ext4", "-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", image], check=True)
    os.makedirs(mount, exist_ok=True)
    subprocess.run(["mount", "-o", "loop", image, mount], check=True)


def timed(command, folder, ext4, existing):
    """(wall seconds, CPU seconds, wall seconds with the sync after it)"""
    if ext4:
        fresh_ext4(ext4["image"], ext4["mount"], ext4["size"])
        folder = os.path.join(ext4["mount"], "out")
    else:
        shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    if existing:
        subprocess.run(existing(folder), check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["sync", "-f", folder], check=True)
    cpu = children_cpu()
    start = time.perf_counter()
    subprocess.run(command(folder), check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    cpu = children_cpu() - cpu
    synced = wall
    if ext4:
        subprocess.run(["sync", "-f", folder], check=True)
        synced = time.perf_counter() - start
    return wall, cpu, synced


def summary(label, ours, theirs):
    ratios = [p / q for p, q in zip(ours, theirs) if q > 0]
    return f"{label}: min {min(ratios):.2f}x median {statistics.median(ratios):.2f}x"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("driver")
    parser.add_argument("archive")
    parser.add_argument("work")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--cpus", default="", help="taskset CPU list for every side")
    parser.add_argument("--ext4", default="", help="loop file image: extract to a fresh ext4 each time")
    parser.add_argument("--ext4-size", default="3G")
    parser.add_argument("--peers", default="bsdtar,unzip")
    parser.add_argument("--replace", action="store_true", help="extract over an existing copy")
    args = parser.parse_args()
    pin = ["taskset", "-c", args.cpus] if args.cpus else []
    ext4 = {"image": args.ext4, "mount": args.ext4 + ".mnt", "size": args.ext4_size} if args.ext4 else None
    commands = {
        "project": lambda out: pin + [args.driver, args.archive, out],
        "bsdtar": lambda out: pin + ["bsdtar", "-xf", args.archive, "-C", out],
        "unzip": lambda out: pin + ["unzip", "-qq", "-o", args.archive, "-d", out],
    }
    existing = (lambda out: ["bsdtar", "-xf", args.archive, "-C", out]) if args.replace else None
    peers = [p for p in args.peers.split(",") if p]
    sides = ["project"] + peers
    out = {name: f"{args.work}/{name}" for name in sides}
    times = {name: [] for name in sides}
    for r in range(args.rounds):
        order = sides if r % 2 == 0 else list(reversed(sides))
        for name in order:
            times[name].append(timed(commands[name], out[name], ext4, existing))
    for name in sides:
        walls = " ".join(f"{w:.2f}" for w, _, _ in times[name])
        cpus = " ".join(f"{c:.2f}" for _, c, _ in times[name])
        line = f"{name}: wall {walls} s; CPU {cpus} s"
        if ext4:
            line += "; with sync " + " ".join(f"{s:.2f}" for _, _, s in times[name]) + " s"
        print(line)
    for peer in peers:
        mine, theirs = times["project"], times[peer]
        parts = [summary("wall", [t[0] for t in mine], [t[0] for t in theirs]),
                 summary("CPU", [t[1] for t in mine], [t[1] for t in theirs])]
        if ext4:
            parts.append(summary("with sync", [t[2] for t in mine], [t[2] for t in theirs]))
            parts.append(summary("project alone / peer with sync", [t[0] for t in mine], [t[2] for t in theirs]))
        print(f"project/{peer}: " + "; ".join(parts))
    if ext4:
        if os.path.ismount(ext4["mount"]):
            subprocess.run(["umount", ext4["mount"]], check=True)
        os.remove(ext4["image"])
        os.rmdir(ext4["mount"])
    else:
        same = subprocess.run(["diff", "-rq", out["project"], out[peers[0]]], stdout=subprocess.PIPE, text=True)
        print(f"same files as {peers[0]}" if same.returncode == 0 else
              f"DIFFERENT from {peers[0]}:\n" + same.stdout[:2000])


if __name__ == "__main__":
    main()
