#!/usr/bin/env bash
# Compares `--format nwc,musicxml` with the same run whose MusicXML writer costs nothing: a
# build with -DQUILLMARK_WRITER_FLOOR=ON, where QUILLMARK_WRITER_FLOOR=1 makes the writer hand
# back about as many bytes as it would write (its size estimate scaled to this corpus) without
# building them. Everything else is the real run: reading, the NWC writer, both files created,
# written and named. The three runs (nwc, nwc,musicxml, the floor) take turns, ROUNDS times, each
# on a fresh copy of 5,000 generated files on tmpfs; the ratios are those of the same round.
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
for ((i = 0; i < rounds; i++)); do
    run nwc nwc -u QUILLMARK_WRITER_FLOOR
    run both nwc,musicxml -u QUILLMARK_WRITER_FLOOR
    run floor nwc,musicxml QUILLMARK_WRITER_FLOOR=1
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
for label in ("nwc", "both"):
    ratios = lambda k: st.median(a[k] / b[k] for a, b in zip(runs[label], floor))
    best = min(x[0] for x in runs[label]) / min(x[0] for x in floor)
    print(f"{label:5} : floor  wall {ratios(0):.2f} (median of the rounds), {best:.2f} (best); "
          f"processor {ratios(1):.2f}")
PY
