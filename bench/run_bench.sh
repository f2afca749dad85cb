#!/usr/bin/env bash
# Times `quillmark convert` against `cp -r` of the same tree, and reports peak memory.
# usage: bench/run_bench.sh [path/to/quillmark]   (use a Release build)
# Corpora are generated in a temporary directory and removed at the end: TMPDIR=/dev/shm for a
# run on tmpfs. QM_ARGS adds options to the convert command (QM_ARGS="--jobs 1").
set -euo pipefail

bin=$(realpath "${1:-build/quillmark}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-bench-XXXXXX")
cleanup() {
    mountpoint -q "$work/ram" 2>/dev/null && umount "$work/ram"
    rm -rf "$work"
}
trap cleanup EXIT
runs=${RUNS:-5}

# Runs a command, sets ELAPSED (seconds), CPU (processor seconds, user and system, all
# threads), USER_TIME and SYSTEM_TIME (its two parts) and PEAK (peak resident memory, KB).
measure() {
    sync
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M %U %S' -o "$work/peak" "$@" >/dev/null
    end=$(date +%s%N)
    ELAPSED=$(awk -v d=$((end - start)) 'BEGIN { printf "%.3f", d / 1e9 }')
    read -r PEAK USER_TIME SYSTEM_TIME < <(tail -n 1 "$work/peak")
    CPU=$(awk -v u="$USER_TIME" -v s="$SYSTEM_TIME" 'BEGIN { printf "%.2f", u + s }')
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

# Best of $runs for quillmark convert of a fresh copy of corpus $1, made in directory $2, with
# the options after them. Sets BEST (seconds), BEST_CPU (processor seconds), BEST_SPLIT (user
# and system seconds of that best run) and BEST_PEAK (KB, the largest seen).
convert_best() {
    local corpus=$1 place=$2 i
    shift 2
    BEST=999999 BEST_CPU=999999 BEST_SPLIT="" BEST_PEAK=0
    for ((i = 0; i < runs; i++)); do
        cp -r "$corpus" "$place/copy"
        rm -rf "$work/logs" && mkdir "$work/logs"
        measure "$bin" convert "$place/copy" --log-dir "$work/logs" --quiet "$@"
        BEST=$(awk -v a="$BEST" -v b="$ELAPSED" 'BEGIN { print (b < a ? b : a) }')
        if awk -v a="$BEST_CPU" -v b="$CPU" 'BEGIN { exit !(b < a) }'; then
            BEST_CPU=$CPU BEST_SPLIT="user $USER_TIME, system $SYSTEM_TIME"
        fi
        ((PEAK > BEST_PEAK)) && BEST_PEAK=$PEAK
        rm -rf "$place/copy"
    done
}

# Both format lists on corpus $1 in directory $2, side by side, named $3. The processor time
# is split into user and system time: most of what the MusicXML file adds to the system time
# is the kernel creating and filling a file ten times the size of the NWC file.
compare_formats() {
    local nwc_time nwc_cpu nwc_split
    convert_best "$1" "$2" --format nwc
    nwc_time=$BEST nwc_cpu=$BEST_CPU nwc_split=$BEST_SPLIT
    convert_best "$1" "$2" --format nwc,musicxml
    echo "  $3: --format nwc ${nwc_time} s (processor ${nwc_cpu} s: ${nwc_split})," \
         "--format nwc,musicxml ${BEST} s (processor ${BEST_CPU} s: ${BEST_SPLIT}):" \
         "ratio $(ratio "$BEST" "$nwc_time") wall, $(ratio "$BEST_CPU" "$nwc_cpu") processor," \
         "peak ${BEST_PEAK} KB"
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
compare_formats "$work/tree" "$work" "on $(stat -f -c %T "$work")"
# In memory only processor time counts; mounting needs root, /dev/shm is the fallback.
mkdir "$work/ram"
if mount -t tmpfs -o size=1g tmpfs "$work/ram" 2>/dev/null; then
    compare_formats "$work/tree" "$work/ram" "on tmpfs"
elif [[ -d /dev/shm && -w /dev/shm ]]; then
    ram=$(mktemp -d /dev/shm/qm-bench-XXXXXX)
    compare_formats "$work/tree" "$ram" "on /dev/shm"
    rm -rf "$ram"
fi
rm -rf "$work/tree"

for files in 1000 10000; do
    python3 "$here/gen_corpus.py" "$work/flat" --files "$files" --seed 2
    cp -r "$work/flat" "$work/warm" && rm -rf "$work/warm"
    compare "$work/flat"
    echo "one directory of $files files:"
    echo "  cp -r:     ${CP} s  $(per_file_ms "$CP" "$files") ms/file"
    echo "  quillmark: ${QM} s  $(per_file_ms "$QM" "$files") ms/file  ratio $(ratio "$QM" "$CP")  peak ${QM_PEAK} KB"
    saved_runs=$runs runs=1 # memory only: one run is enough
    convert_best "$work/flat" "$work" --format nwc,musicxml
    runs=$saved_runs
    echo "  --format nwc,musicxml: peak ${BEST_PEAK} KB"
    rm -rf "$work/flat"
done

# Memory at the format's limits: 16 copies of a 1.4 MB score that builds a model of about
# 100 MB, one run per line; peak resident memory should hardly depend on --jobs.
mkdir "$work/limits"
python3 "$here/gen_limits.py" "$work/limits/s0.nw"
for i in $(seq 1 15); do cp "$work/limits/s0.nw" "$work/limits/s$i.nw"; done
echo "16 copies of the limit score (gen_limits.py, worst layout):"
saved_runs=$runs runs=1
for formats in nwc nwc,musicxml; do
    line="  --format $formats: peak"
    for jobs in 1 8 64; do
        convert_best "$work/limits" "$work" --format "$formats" --jobs "$jobs"
        line+=" ${BEST_PEAK} KB at --jobs $jobs ($BEST s),"
    done
    echo "${line%,}"
done
runs=$saved_runs
rm -rf "$work/limits"
