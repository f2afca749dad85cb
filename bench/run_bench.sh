#!/usr/bin/env bash
# Times `quillmark convert` against `cp -r` of the same tree, and reports peak memory.
# usage: bench/run_bench.sh [path/to/quillmark]   (use a Release build)
# Corpora are generated in a temporary directory and removed at the end: TMPDIR=/dev/shm for a
# run on tmpfs. QM_ARGS adds options to the convert command (QM_ARGS="--jobs 1").
set -euo pipefail

bin=$(realpath "${1:-build/quillmark}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-5}

# Runs a command, sets ELAPSED (seconds) and PEAK (peak resident memory, KB).
measure() {
    sync
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/peak" "$@" >/dev/null
    end=$(date +%s%N)
    ELAPSED=$(awk -v d=$((end - start)) 'BEGIN { printf "%.3f", d / 1e9 }')
    PEAK=$(tail -n 1 "$work/peak")
}

# Best of $runs for cp -r and for quillmark convert on a fresh copy of corpus $1.
# Sets CP, QM (seconds) and QM_PEAK (KB, the largest seen).
compare() {
    local corpus=$1 i
    CP=999999 QM=999999 QM_PEAK=0
    for ((i = 0; i < runs; i++)); do
        measure cp -r "$corpus" "$work/copy"
        CP=$(awk -v a="$CP" -v b="$ELAPSED" 'BEGIN { print (b < a ? b : a) }')
        rm -rf "$work/logs" && mkdir "$work/logs"
        # shellcheck disable=SC2086 # QM_ARGS holds separate words
        measure "$bin" convert "$work/copy" --log-dir "$work/logs" --quiet ${QM_ARGS:-}
        QM=$(awk -v a="$QM" -v b="$ELAPSED" 'BEGIN { print (b < a ? b : a) }')
        ((PEAK > QM_PEAK)) && QM_PEAK=$PEAK
        rm -rf "$work/copy"
    done
}

# Best of $runs for quillmark convert of a fresh copy of corpus $1 with the options after it.
# Sets BEST (seconds) and BEST_PEAK (KB, the largest seen).
convert_best() {
    local corpus=$1 i
    shift
    BEST=999999 BEST_PEAK=0
    for ((i = 0; i < runs; i++)); do
        cp -r "$corpus" "$work/copy"
        rm -rf "$work/logs" && mkdir "$work/logs"
        measure "$bin" convert "$work/copy" --log-dir "$work/logs" --quiet "$@"
        BEST=$(awk -v a="$BEST" -v b="$ELAPSED" 'BEGIN { print (b < a ? b : a) }')
        ((PEAK > BEST_PEAK)) && BEST_PEAK=$PEAK
        rm -rf "$work/copy"
    done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
per_file_ms() { awk -v t="$1" -v n="$2" 'BEGIN { printf "%.3f", 1000 * t / n }'; }

echo "quillmark: $bin"
echo "machine: $(nproc) cores, $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "work directory: $work ($(stat -f -c %T "$work")), options: ${QM_ARGS:-none}"

python3 "$here/gen_corpus.py" "$work/tree" --files 5000 --dirs 50 --seed 1
echo "corpus: 5000 files in 50 directories, $(du -sh "$work/tree" | cut -f1)"
cp -r "$work/tree" "$work/warm" && rm -rf "$work/warm" # page cache warm for both
compare "$work/tree"
echo "  cp -r:     ${CP} s"
echo "  quillmark: ${QM} s  ratio $(ratio "$QM" "$CP")  peak ${QM_PEAK} KB"
convert_best "$work/tree" --format nwc
nwc_only=$BEST
convert_best "$work/tree" --format nwc,musicxml
echo "  --format nwc,musicxml: ${BEST} s  against nwc alone ${nwc_only} s:" \
     "ratio $(ratio "$BEST" "$nwc_only")  peak ${BEST_PEAK} KB"
rm -rf "$work/tree"

for files in 1000 10000; do
    python3 "$here/gen_corpus.py" "$work/flat" --files "$files" --seed 2
    cp -r "$work/flat" "$work/warm" && rm -rf "$work/warm"
    compare "$work/flat"
    echo "one directory of $files files:"
    echo "  cp -r:     ${CP} s  $(per_file_ms "$CP" "$files") ms/file"
    echo "  quillmark: ${QM} s  $(per_file_ms "$QM" "$files") ms/file  ratio $(ratio "$QM" "$CP")  peak ${QM_PEAK} KB"
    rm -rf "$work/flat"
done
