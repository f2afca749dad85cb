#!/usr/bin/env python3
"""Writes a corpus of NW scores for the benchmark.

Each score has two or three systems of two to four staves; each stave opens with a clef, a key
and a time signature and holds bars of crotchets, beamed quavers, chords, tied and slurred notes,
rests, accidentals, a text or two, and bar lines; now and then a bar left empty, a chord whose
stems split it into two voices, or a rest beside a chord. A quarter of the scores open with a
pickup that the lowest stave leaves empty. Files are a few KB each.

usage: gen_corpus.py OUT --files N [--dirs D] [--seed S]
"""
import argparse
import os
import random
import struct

RECORD = 22


def pos16(value):
    return struct.pack("<H", value & 0xFFFF)


def record(fields):
    """A 22-byte record from {offset: byte} plus 16-bit positions {offset: ('pos', value)}."""
    out = bytearray(RECORD)
    for offset, value in fields.items():
        if isinstance(value, tuple):
            out[offset:offset + 2] = pos16(value[1])
        elif isinstance(value, bytes):
            out[offset:offset + len(value)] = value
        else:
            out[offset] = value & 0xFF
    return bytes(out)


class Stave:
    """The element records of one stave, numbered from 1 as the format requires."""

    def __init__(self, number, y):
        self.number = number
        self.y = y
        self.records = []

    def next_no(self):
        return len(self.records) + 1

    def add(self, type_, sub, x, y, fields=None):
        data = {0: self.number, 1: self.next_no(), 2: ("pos", x), 4: ("pos", y), 6: sub, 7: type_}
        data.update(fields or {})
        self.records.append(record(data))
        return len(self.records)

    def patch(self, element_no, offset, value):
        r = bytearray(self.records[element_no - 1])
        r[offset] = value
        self.records[element_no - 1] = bytes(r)


TEXTS = [b"Allegro", b"p", b"f", b"mf", b"cresc.", b"dim.", b"Andante", b"dolce", b"rit.",
         b"a tempo", b"D.C. al Fine", b"pp"]


def note(stave, x, position, duration=3, stem=0, extra=None):
    fields = {8: duration, 9: position & 0xFF, 11: stem}
    fields.update(extra or {})
    return stave.add(5, 25, x, stave.y - 4 * position, fields)


def bar_kind(rng):
    """Mostly the plain bars; split stems, rests beside chords and empty bars now and then."""
    r = rng.randrange(16)
    if r < 12:
        return r // 2
    return {12: 7, 13: 7, 14: 8, 15: 6}[r]


def fill_bar(stave, rng, x, last):
    """One 4/4 bar; returns the x after it. A system's last bar is never empty: the converter
    would take it for a short bar that runs on into the next system."""
    choice = bar_kind(rng)
    if choice == 6 and last:
        choice = 5
    if choice == 0:  # four crotchets, the first a chord
        p = rng.randint(-4, 6)
        note(stave, x, p)
        note(stave, x, p + 2)
        for i in range(1, 4):
            note(stave, x + 30 * i, rng.randint(-4, 6))
    elif choice == 1:  # beamed quavers in pairs
        for pair in range(4):
            first = note(stave, x + 30 * pair, rng.randint(-3, 5), 4)
            second = note(stave, x + 30 * pair + 15, rng.randint(-3, 5), 4, extra={12: first})
            stave.patch(first, 13, second)
    elif choice == 2:  # a tied minim pair across the middle, then a minim
        p = rng.randint(-2, 5)
        first = note(stave, x, p)
        second = note(stave, x + 30, p, extra={17: first})
        stave.patch(first, 18, second)
        note(stave, x + 60, rng.randint(-2, 5), 2)
    elif choice == 3:  # slurred crotchets drawn with slur points
        for i in range(4):
            note(stave, x + 30 * i, rng.randint(-3, 5))
        start = stave.next_no()
        stave.add(12, 0, x, stave.y - 30, {9: start + 1})
        stave.add(12, 0, x + 45, stave.y - 36, {9: start + 2})
        stave.add(12, 0, x + 90, stave.y - 30, {9: 0})
    elif choice == 4:  # minim rest, accidental and crotchets
        stave.add(5, 39, x, stave.y, {8: 2})
        p = rng.randint(-2, 5)
        stave.add(7, 0, x + 50, stave.y - 4 * p, {8: p & 0xFF, 9: rng.choice([1, 0xFF])})
        note(stave, x + 60, p)
        note(stave, x + 90, rng.randint(-2, 5))
    elif choice == 5:  # a semibreve with a text above it
        text = rng.choice(TEXTS)[:12]
        stave.add(9, 0, x, stave.y - 40, {8: rng.choice([1, 3, 4]), 9: len(text), 10: text})
        note(stave, x, rng.randint(-3, 5), 1)
    elif choice == 6:  # an empty bar
        pass
    elif choice == 7:  # chords split by their stems: up-stem minims over down-stem crotchets
        for half in range(2):
            p = rng.randint(-3, 2)
            note(stave, x + 60 * half, p + 4, 2, stem=0)
            note(stave, x + 60 * half + 1, p, 3, stem=1)
            note(stave, x + 60 * half + 30, p - rng.randint(0, 2), 3, stem=1)
    else:  # a crotchet rest beside an up-stem chord, then crotchet and minim
        p = rng.randint(-1, 4)
        note(stave, x, p)
        note(stave, x + 1, p + 2)
        stave.add(5, 39, x + 2, stave.y + 16, {8: 3, 9: -4 & 0xFF, 11: 1})
        note(stave, x + 30, rng.randint(-1, 5))
        note(stave, x + 60, rng.randint(-1, 5), 2)
    bar_x = x + 120
    stave.add(4, 0, bar_x, stave.y, {8: 0})
    return bar_x + 10


def build_score(rng):
    systems = rng.randint(2, 3)
    per_system = rng.randint(2, 4)
    bars = rng.randint(4, 9)
    key = rng.randrange(5)
    pickup = rng.random() < 0.25
    staves = []
    for s in range(systems):
        for k in range(per_system):
            number = len(staves) + 1
            stave = Stave(number, 1000 + 400 * s + 100 * k)
            stave.join = 1 if k < per_system - 1 else 0
            stave.add(0, 0, 10, stave.y, {8: k % 2})  # new stave with its clef
            stave.add(1, 0, 30, stave.y, {8: key})
            stave.add(2, 12, 50, stave.y - 8)  # 4
            stave.add(2, 12, 50, stave.y + 8)  # 4
            x = 80
            if pickup and s == 0:  # a crotchet upbeat, left empty in the lowest stave
                if k < per_system - 1:
                    note(stave, x, rng.randint(-2, 4))
                stave.add(4, 0, x + 30, stave.y, {8: 0})
                x += 40
            for bar in range(bars):
                x = fill_bar(stave, rng, x, last=bar == bars - 1)
            staves.append(stave)
    out = bytearray(record({0: len(staves), 8: 200}))
    for stave in staves:
        out += record({0: ("pos", stave.y), 7: len(stave.records), 12: stave.join})
    for stave in staves:
        for r in stave.records:
            out += r
    title = b"Sonata No. " + str(rng.randrange(1, 40)).encode()
    for i in range(0, len(title), 12):
        piece = title[i:i + 12]
        out += record({1: 1, 9: len(piece), 10: piece})
    return bytes(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--files", type=int, required=True)
    parser.add_argument("--dirs", type=int, default=1)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(args.out, exist_ok=True)
    width = len(str(max(args.dirs, args.files)))
    for i in range(args.files):
        d = i % args.dirs
        folder = args.out if args.dirs == 1 else os.path.join(args.out, f"set{d:0{width}d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"score{i:0{width}d}.nw"), "wb") as f:
            f.write(build_score(rng))


if __name__ == "__main__":
    main()
