#!/usr/bin/env python3
"""Damages some scores of a corpus in place, so that a comparison of two builds covers the
messages too: every third file is cut short at a random length or has a few bytes changed.

usage: damage_corpus.py DIR [--seed S]
"""
import argparse
import os
import random


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dir")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    paths = sorted(os.path.join(d, f) for d, _, files in os.walk(args.dir) for f in files
                   if f.endswith(".nw"))
    for i, path in enumerate(paths):
        if i % 3 != 2:
            continue
        with open(path, "rb") as f:
            data = bytearray(f.read())
        if rng.random() < 0.4:
            data = data[:rng.randrange(len(data))]
        else:
            for _ in range(rng.randint(1, 8)):
                data[rng.randrange(len(data))] = rng.randrange(256)
        with open(path, "wb") as f:
            f.write(bytes(data))


if __name__ == "__main__":
    main()
