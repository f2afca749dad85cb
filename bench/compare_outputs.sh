#!/usr/bin/env bash
# Converts the same corpus with two builds and compares every output byte for byte and the logs
# line for line. The corpus: generated scores, a third of them damaged (cut short or with bytes
# changed, so the messages are compared too), the examples and the inputs of the converter's
# fuzzing regressions, and scores at the format's limits (the most expensive layout, with and
# without dotting errors).
# FORMATS is what each score is converted to, as `--format` takes it (default nwc,musicxml).
# usage: bench/compare_outputs.sh OLD_QUILLMARK NEW_QUILLMARK [FILES] [FORMATS]
#        (default 3000 files)
set -euo pipefail

old=$(realpath "$1")
new=$(realpath "$2")
files=${3:-3000}
formats=${4:-nwc,musicxml}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 "$here/gen_corpus.py" "$work/corpus" --files "$files" --dirs 30 --seed 7
python3 "$here/damage_corpus.py" "$work/corpus" --seed 7
mkdir -p "$work/corpus/examples" "$work/corpus/seeds"
cp "$here"/../examples/*.nw "$work/corpus/examples/"
# The inputs the converter's fuzzing once failed on (the seed corpora are generated, not kept).
shopt -s nullglob
for f in "$here"/../fuzz/regressions/convert/*; do
    name=$(basename "$f")
    cp "$f" "$work/corpus/seeds/${name%.nw}.nw"
done
shopt -u nullglob
mkdir -p "$work/corpus/limits"
python3 "$here/gen_limits.py" "$work/corpus/limits/worst.nw"
python3 "$here/gen_limits.py" "$work/corpus/limits/worst-faults.nw" --faults
python3 "$here/gen_limits.py" "$work/corpus/limits/flat-faults.nw" --layout flat --faults

# Both builds convert a copy at the same path, so the paths in the logs are the same.
run() {
    local bin=$1 name=$2
    rm -rf "$work/run" && cp -r "$work/corpus" "$work/run"
    mkdir -p "$work/logs-$name"
    "$bin" convert "$work/run" --format "$formats" --log-dir "$work/logs-$name" --quiet \
        >/dev/null 2>"$work/stderr-$name"
    mv "$work/run" "$work/out-$name"
}
run "$old" old
run "$new" new

inputs=$(find "$work/corpus" -name '*.nw' | wc -l)
outputs=$(find "$work/out-new" -name '*.nwc' -o -name '*.musicxml' | wc -l)
messages=$(grep -c '^   ' "$work"/logs-new/*.log || true)
echo "inputs: $inputs, outputs: $outputs, message lines in the log: $messages"
status=0
if diff -r -q "$work/out-old" "$work/out-new"; then
    echo "outputs: identical"
else
    echo "outputs: DIFFER"
    status=1
fi
# Workers report in the order they finish: compared as sets of lines.
if ! cmp -s <(sort "$work/stderr-old") <(sort "$work/stderr-new"); then
    echo "standard error: DIFFER"
    status=1
fi
if diff "$work"/logs-old/*.log "$work"/logs-new/*.log >"$work/log.diff"; then
    echo "logs: identical"
else
    echo "logs: DIFFER"
    head -n 20 "$work/log.diff"
    status=1
fi
exit $status
