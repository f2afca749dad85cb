#!/usr/bin/env python3
"""Writes an NW score at the format's limits: 255 staves of 255 records, each stave a new-stave
record and bars of four crotchets. The layout decides the cost:

  worst: a 128-stave first system followed by 127 one-stave systems, which the system pass
         fills up with staves of rests to 128 staves each (16,256 staves in all);
  flat:  255 one-stave systems.

With --faults every seventh note is a dotted hemidemisemiquaver, too short to be dotted, so
each measure of its bar reports an error.

usage: gen_limits.py OUT.nw [--layout worst|flat] [--faults]
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_corpus import Stave, note, record  # noqa: E402

STAVES = 255
RECORDS = 255


def build(layout, faults=False):
    first_system = 128 if layout == "worst" else 1
    staves = []
    for number in range(1, STAVES + 1):
        stave = Stave(number, 1000 + 100 * number)
        # join=1 keeps the next stave in this system; only the first system has more than one
        stave.join = 1 if number < first_system else 0
        stave.add(0, 0, 10, stave.y, {8: 0})
        x = 40
        while len(stave.records) < RECORDS:
            if len(stave.records) % 5 == 0:
                stave.add(4, 0, x, stave.y, {8: 0})
            elif faults and len(stave.records) % 7 == 0:
                note(stave, x, (x // 20) % 9 - 4, 7, extra={10: 1})
            else:
                note(stave, x, (x // 20) % 9 - 4)
            x += 20
        staves.append(stave)
    out = bytearray(record({0: STAVES, 8: 200}))
    for stave in staves:
        out += record({0: ("pos", stave.y), 7: len(stave.records), 12: stave.join})
    for stave in staves:
        for r in stave.records:
            out += r
    return bytes(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--layout", choices=["worst", "flat"], default="worst")
    parser.add_argument("--faults", action="store_true")
    args = parser.parse_args()
    with open(args.out, "wb") as f:
        f.write(build(args.layout, args.faults))


if __name__ == "__main__":
    main()
