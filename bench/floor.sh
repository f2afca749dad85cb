#!/usr/bin/env bash
# Compares `--format nwc,musicxml` with the same run whose MusicXML writer costs nothing: a
# build with -DQUILLMARK_WRITER_FLOOR=ON, where QUILLMARK_WRITER_FLOOR=1 makes the writer hand
# back about as many bytes as it would write (its size estimate scaled to this corpus) without
# building them. Everything else is the real run: reading, the NWC writer, both files created,
# written and named. The three runs (nwc, nwc,musicxml, the floor) take turns, ROUNDS times, each
# on a fresh copy of 5,000 generated files on tmpfs, in an order that turns from round to round
# so that none always follows another; the ratios are those of the same round, given as their
# median and, in brackets, the middle half of them (a set's ratios spread by some 0.05 either way).
# usage: bench/floor.sh FLOOR_BUILD_DIR [ROUNDS]   (default 15)
set -euo pipefail

bin=$(realpath "$1/quillmark")
rounds=${2:-15}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/dev/shm}/qm-floor-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 "$here/gen_corpus.py" "$work/corpus" --files 5000 --dirs 50 --seed 1 >/dev/null
# One run: its label, the formats, then the change of environment it runs under. Prints the
# label, wall nanoseconds, user and system seconds (all threads) and the MusicXML bytes written.
run() {
    local label=$1 format=$2
    shift 2
    rm -rf "$work/copy" "$work/logs" && cp -r "$work/corpus" "$work/copy" && mkdir "$work/logs"
    sync
    local start end
    start=$(date +%s%N)
    env "$@" /usr/bin/time -f '%U %S' -o "$work/time" "$bin" convert "$work/copy" \
        --log-dir "$work/logs" --quiet --format "$format" >/dev/null
    end=$(date +%s%N)
    local bytes
    bytes=$(find "$work/copy" -name '*.musicxml' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
    echo "$label $((end - start)) $(cat "$work/time") $bytes"
}
runs=("nwc nwc -u QUILLMARK_WRITER_FLOOR" "both nwc,musicxml -u QUILLMARK_WRITER_FLOOR"
      "floor nwc,musicxml QUILLMARK_WRITER_FLOOR=1")
for ((i = 0; i < rounds; i++)); do
    for ((k = 0; k < 3; k++)); do
        # shellcheck disable=SC2086 # each entry is the label, the formats and env's arguments
        run ${runs[(i + k) % 3]}
    done
done >"$work/rounds"
python3 - "$work/rounds" <<'PY'
import statistics as st, sys
runs = {}
for line in open(sys.argv[1]):
    label, ns, user, system, size = line.split()
    runs.setdefault(label, []).append((int(ns) / 1e9, float(user) + float(system), int(size)))
for label, r in runs.items():
    wall = [x[0] for x in r]
    print(f"{label:5}: wall best {min(wall):.3f} s, median {st.median(wall):.3f} s; "
          f"processor median {st.median([x[1] for x in r]):.2f} s; MusicXML {r[0][2]:,} bytes")
floor = runs["floor"]
def spread(label, k):
    ratios = sorted(a[k] / b[k] for a, b in zip(runs[label], floor))
    quarter = len(ratios) // 4
    return f"{st.median(ratios):.2f} ({ratios[quarter]:.2f}-{ratios[-1 - quarter]:.2f})"
for label in ("nwc", "both"):
    best = min(x[0] for x in runs[label]) / min(x[0] for x in floor)
    print(f"{label:5} : floor  wall {spread(label, 0)} (rounds), {best:.2f} (best); "
          f"processor {spread(label, 1)}")
PY
