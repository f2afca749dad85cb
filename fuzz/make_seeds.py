#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, one directory per target.

convert:     the examples, files at the format's limits and small generated scores
nwtext:      the examples' text sources and the text form of some of the files above
nwcdump:     the NWC files the converter writes for the convert seeds
batch-names: directory listings with case variants, taken names and control characters

usage: make_seeds.py OUT --quillmark BIN [--scores N]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import gen_corpus  # noqa: E402

record = gen_corpus.record
SMALL_SCORE = 8192  # bytes; larger inputs slow every execution down


def header(staves, version=200):
    return record({0: staves, 8: version})


def stave_header(count, y=1000, fields=None):
    data = {0: ("pos", y), 7: count}
    data.update(fields or {})
    return record(data)


def element(stave, number, type_, sub, y=1000, fields=None):
    data = {0: stave, 1: number, 2: ("pos", 10 * number), 4: ("pos", y), 6: sub, 7: type_}
    data.update(fields or {})
    return record(data)


def trailer(part, text):
    return record({1: part, 9: len(text), 10: text[:12]})


def full_stave():
    """One stave of 255 records, the most a stave header can announce."""
    out = header(1) + stave_header(255)
    out += element(1, 1, 0, 0, fields={8: 0})
    for e in range(2, 256):
        if e % 5 == 0:
            out += element(1, e, 4, 0)
        else:
            out += element(1, e, 5, 25, fields={8: 3, 9: (e % 9 - 4) & 0xFF})
    return out


def many_staves(count, version=200):
    """count staves of a few records each, joined into systems of three."""
    out = header(count, version)
    for k in range(count):
        out += stave_header(4, 1000 + 100 * k, {12: 1 if k % 3 != 2 else 0})
    for k in range(1, count + 1):
        y = 1000 + 100 * (k - 1)
        out += element(k, 1, 0, 0, y, {8: k % 2})
        out += element(k, 2, 5, 25, y, {8: 3, 9: 2})
        out += element(k, 3, 5, 39, y, {8: 3})
        out += element(k, 4, 4, 0, y)
    return out


def long_trailer():
    """Header and footer texts past 255 characters, and a record the trailer refuses."""
    out = header(1) + stave_header(1) + element(1, 1, 0, 0)
    for i in range(25):
        out += trailer(1 + i % 2, b"page text %02d" % i)
    return out + record({0: 1, 1: 3})


def long_text():
    """A text record whose length byte reaches past the record."""
    return (header(1) + stave_header(2) + element(1, 1, 0, 0) +
            element(1, 2, 9, 0, 960, {8: 1, 9: 255, 10: b"cresc. molto"}))


def limit_files():
    yield "full-stave.nw", full_stave()
    yield "empty-staves.nw", header(255) + b"".join(stave_header(0) for _ in range(255))
    yield "nine-staves.nw", many_staves(9)
    yield "staves-v170.nw", many_staves(6, version=170)
    yield "long-trailer.nw", long_trailer()
    yield "long-text.nw", long_text()
    yield "no-staves.nw", header(0)
    yield "short.nw", header(1)[:10]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def convert_seeds(out, scores):
    for name in sorted(os.listdir(os.path.join(ROOT, "examples"))):
        if name.endswith(".nw"):
            shutil.copy(os.path.join(ROOT, "examples", name), os.path.join(out, name))
    for name, data in limit_files():
        write(os.path.join(out, name), data)
    rng = random.Random(11)
    kept = 0
    while kept < scores:
        data = gen_corpus.build_score(rng)
        if len(data) <= SMALL_SCORE:
            write(os.path.join(out, "score%03d.nw" % kept), data)
            kept += 1


def nwtext_seeds(out, convert_dir, quillmark):
    for name in sorted(os.listdir(os.path.join(ROOT, "examples"))):
        if name.endswith(".nwt"):
            shutil.copy(os.path.join(ROOT, "examples", name), os.path.join(out, name))
    names = sorted(n for n in os.listdir(convert_dir) if not n.startswith("score"))
    names += sorted(n for n in os.listdir(convert_dir) if n.startswith("score"))[:20]
    for name in names:
        text = subprocess.run([quillmark, "nw", "dump", os.path.join(convert_dir, name)],
                              check=True, capture_output=True).stdout
        write(os.path.join(out, name + "t"), text)


def nwcdump_seeds(out, convert_dir, quillmark):
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "scores")
        shutil.copytree(convert_dir, source)
        subprocess.run([quillmark, "convert", source, "--log-dir", work, "--quiet"], check=True,
                       capture_output=True)
        for name in sorted(os.listdir(source)):
            if name.endswith(".nwc"):
                shutil.copy(os.path.join(source, name), os.path.join(out, name))


BATCH_NAMES = [
    b"a.nw/a.nwc/b.NW",
    b"Song.nw/song.NWC/SONG_0.nwc/song_1.Nwc",
    b"x.nw.bak/x.nwz/a.nw.nw/a.nwc.nw/.nw/nw",
    b"A.nw/a.nw/a.NW/A.NW/a_0.nwc",
    b"tab\t.nw/line\nbreak.nw/cr\r\n   Error 1: forged.nw/\x1b[31mred.nw",
    b"caf\xc3\xa9.nw/\xff\xfe.nw/CAF\xc3\xa9.nwc",
    b"l" * 251 + b".nw/" + b"L" * 251 + b".nwc",
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--quillmark", required=True, help="the quillmark program")
    parser.add_argument("--scores", type=int, default=200, help="generated scores")
    args = parser.parse_args()
    dirs = {t: os.path.join(args.out, t) for t in ("convert", "nwtext", "nwcdump", "batch-names")}
    for d in dirs.values():
        os.makedirs(d, exist_ok=True)
    convert_seeds(dirs["convert"], args.scores)
    nwtext_seeds(dirs["nwtext"], dirs["convert"], args.quillmark)
    nwcdump_seeds(dirs["nwcdump"], dirs["convert"], args.quillmark)
    for i, names in enumerate(BATCH_NAMES):
        write(os.path.join(dirs["batch-names"], "names%d" % i), names)


if __name__ == "__main__":
    main()
