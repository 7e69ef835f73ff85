#!/usr/bin/env python3
"""Writes a tree of files for the benchmarks from a fixed seed: a third
incompressible bytes, a third text, a third small files of 1 to 20 KB, 100
files a folder. With --small every file is a small one (noise or text)."""
import argparse
import os
import random

WORDS = ("sauvegarde journal fichier dossier archive serveur envoi taille reprise "
         "incident semaine lundi mardi mercredi jeudi vendredi samedi dimanche").split()


def text(rng, size):
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 12))) + f" {rng.randint(0, 99999)}\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--small", action="store_true")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    for i in range(args.files):
        folder = os.path.join(args.root, f"d{i // 10000:02d}", f"e{i // 100 % 100:02d}")
        if i % 100 == 0:
            os.makedirs(folder, exist_ok=True)
        kind = i % 3
        small = args.small or kind == 2
        size = rng.randint(1024, 20 * 1024) if small else rng.randint(10 * 1024, 70 * 1024)
        noise = kind == 0 or (args.small and kind == 2 and i % 2 == 0)
        data = rng.randbytes(size) if noise else text(rng, size)
        with open(os.path.join(folder, f"f{i:06d}.{'bin' if noise else 'txt'}"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
