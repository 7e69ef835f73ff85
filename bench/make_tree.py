#!/usr/bin/python3
"""Builds a benchmark tree from fixed seeds: the same files, bytes and dates every time.

Usage: make_tree.py ROOT [FILES] [MEGABYTES] [--seed N] [--small]
       (default 20000 files, 600 MB, seed 20261210)
A third of the files is incompressible, a third text (sizes on a long-tailed spread that
together make up the total), a third small files of 1 to 20 KB, half text, half noise.
With --small every file is a small one and MEGABYTES is not used.
"""
import argparse
import os
import random

parser = argparse.ArgumentParser()
parser.add_argument("root")
parser.add_argument("files", nargs="?", type=int, default=20000)
parser.add_argument("megabytes", nargs="?", type=float, default=600)
parser.add_argument("--seed", type=int, default=20261210)
parser.add_argument("--small", action="store_true")
args = parser.parse_args()
count = args.files
rng = random.Random(args.seed)
words = ["sauvegarde", "archive", "journal", "fichier", "dossier", "serveur", "données", "rapport",
         "facture", "client", "lundi", "mardi", "projet", "version", "copie", "poste", "réseau"]
pool = " ".join(rng.choice(words) + ("\n" if rng.random() < 0.1 else "") for _ in range(400000)).encode()
noise = random.Random(7).randbytes(8 << 20)

kinds = [2 if args.small else i % 3 for i in range(count)]  # 0 noise, 1 text, 2 small
small = [rng.randint(1024, 20480) for _ in range(count)]
spread = [int(rng.lognormvariate(9.5, 1.4)) + 1 for _ in range(count)]
small_total = sum(small[i] for i in range(count) if kinds[i] == 2)
large_total = sum(spread[i] for i in range(count) if kinds[i] != 2)
scale = max(0.0, args.megabytes * 1_000_000 - small_total) / max(1, large_total)
when = 1_700_000_000


def chunk(source, size, offset):
    reps = (offset + size) // len(source) + 1
    return (source * reps)[offset:offset + size] if reps > 1 else source[offset:offset + size]


for i in range(count):
    kind = kinds[i]
    size = small[i] if kind == 2 else max(1, int(spread[i] * scale))
    folder = os.path.join(args.root, "d%02d" % (i % 40), "s%03d" % (i % 400))
    os.makedirs(folder, exist_ok=True)
    text = kind == 1 or (kind == 2 and i % 2 == 0)
    if text:
        data = chunk(pool, size, rng.randrange(len(pool)))
    else:
        # Noise from a fixed block, shifted and salted so that no two files repeat each other.
        salt = rng.randbytes(16)
        data = (salt + chunk(noise, size, rng.randrange(len(noise))))[:size]
    path = os.path.join(folder, "f%06d.%s" % (i, "txt" if text else "bin"))
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (when + i, when + i))
