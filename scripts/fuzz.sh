#!/usr/bin/env bash
# Fuzzes the converter and its tools with libFuzzer, every library instrumented (ASan+UBSan).
#
#   scripts/fuzz.sh --check SECONDS   CI: each target SECONDS on a fresh corpus; fails on any
#                                     finding or when a target's edge coverage is below its floor
#   scripts/fuzz.sh HOURS [TARGET...] the long run before a release: all targets (or those named)
#                                     side by side for HOURS, the corpus kept in
#                                     $QUILLMARK_FUZZ_CORPUS (default ~/.cache/quillmark/fuzz);
#                                     QUILLMARK_FUZZ_WORKERS=N runs N processes per target on
#                                     its one corpus (default 1)
#                                     QUILLMARK_FUZZ_MAX_LEN=BYTES caps the inputs (shorter ones
#                                     run several times faster; default per target below)
#
# The long run keeps no allocation stacks and leaves fresh memory unfilled, which makes it about
# a tenth to a quarter faster; replaying a finding with the target itself reports it in full.
#
# Targets: convert, nwtext, nwcdump, batch-names. Findings land in the work directory's
# artifacts/ as <target>-crash-*, -leak-*, -timeout-* or -oom-* files; replay one with
# build-fuzz/quillmark_fuzz_<target> FILE, then add it to fuzz/regressions/<target>/.
# QUILLMARK_FUZZ_BUILD names the build directory (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

# target  max_len  floor (edges reached in 60 s here, less a margin; a build whose libraries
#                         carry no coverage instrumentation reaches a few dozen at most)
#                  timeout (seconds for one input: 255 staves of a few records can make a
#                  megabyte of NWC, which the instrumented build takes seconds to write and dump)
targets=(
  "convert     16384 2800 60"
  "nwtext      32768 480  10"
  "nwcdump     16384 400  10"
  "batch-names 4096  100  10"
)
# The build directory; a long run may use its own so that rebuilding meanwhile cannot disturb it.
out=${QUILLMARK_FUZZ_BUILD:-build-fuzz}
asan_options=detect_leaks=1

usage() {
  echo "usage: scripts/fuzz.sh --check SECONDS | scripts/fuzz.sh HOURS [TARGET...]" >&2
  exit 2
}

build() {
  CC=clang CXX=clang++ cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLMARK_SANITIZE=ON -DQUILLMARK_FUZZ=ON -DQUILLMARK_TESTS=OFF -DQUILLMARK_GUI=OFF \
    >/dev/null
  cmake --build "$out" -j"${QUILLMARK_JOBS:-2}" --target quillmark_fuzz_targets quillmark
  rm -rf "$out/seeds"
  fuzz/make_seeds.py "$out/seeds" --quillmark "$out/quillmark"
}

# run TARGET SECONDS WORKDIR [LOG]: runs one target, its log in WORKDIR/LOG (default TARGET.log).
run() {
  local target=$1 seconds=$2 work=$3 log=${4:-$1.log} max_len timeout
  max_len=$(printf '%s\n' "${targets[@]}" | awk -v t="$target" '$1 == t { print $2 }')
  max_len=${QUILLMARK_FUZZ_MAX_LEN:-$max_len}
  timeout=$(printf '%s\n' "${targets[@]}" | awk -v t="$target" '$1 == t { print $4 }')
  mkdir -p "$work/corpus/$target" "$work/artifacts"
  ASAN_OPTIONS=$asan_options \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$out/quillmark_fuzz_${target//-/_}" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1 -dict="fuzz/$target.dict" \
    -artifact_prefix="$work/artifacts/$target-" "$work/corpus/$target" \
    "$out/seeds/$target" >"$work/$log" 2>&1
}

# Edge coverage and executions of a finished run, from libFuzzer's closing lines.
edges() { grep -o 'cov: [0-9]*' "$1" | tail -n 1 | cut -d' ' -f2; }
executions() { sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -n 1; }

check() {
  local seconds=$1 work=$out/check failed=0 target max_len floor status cov
  rm -rf "$work"
  for line in "${targets[@]}"; do
    read -r target max_len floor _ <<<"$line"
    status=0
    run "$target" "$seconds" "$work" || status=$?
    cov=$(edges "$work/$target.log")
    echo "fuzz $target: ${cov:-0} edges (floor $floor), $(executions "$work/$target.log") runs"
    if [ "$status" -ne 0 ]; then
      echo "fuzz $target: FAILED, libFuzzer exit status $status:" >&2
      grep -E 'ERROR|invariant broken|SUMMARY|Test unit written' "$work/$target.log" >&2 || true
      failed=1
    elif [ "${cov:-0}" -lt "$floor" ]; then
      echo "fuzz $target: FAILED, edge coverage ${cov:-0} below the floor $floor" >&2
      failed=1
    fi
  done
  return "$failed"
}

long_run() {
  local hours=$1 seconds work pids=() target status=0 worker workers=${QUILLMARK_FUZZ_WORKERS:-1}
  local runs cov most
  shift
  asan_options=$asan_options:malloc_context_size=0:max_malloc_fill_size=0
  seconds=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
  work=${QUILLMARK_FUZZ_CORPUS:-$HOME/.cache/quillmark/fuzz}
  [ $# -gt 0 ] || set -- $(printf '%s\n' "${targets[@]}" | awk '{ print $1 }')
  echo "fuzzing $* for ${seconds}s; corpus and logs in $work"
  mkdir -p "$work/artifacts"
  touch "$work/artifacts/.started" # findings of this run are the files newer than this
  for target in "$@"; do
    for ((worker = 1; worker <= workers; worker++)); do
      run "$target" "$seconds" "$work" "$target.$worker.log" &
      pids+=($!)
    done
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  for target in "$@"; do
    runs=0 most=0
    for ((worker = 1; worker <= workers; worker++)); do
      cov=$(executions "$work/$target.$worker.log")
      runs=$((runs + ${cov:-0}))
      cov=$(edges "$work/$target.$worker.log")
      [ "${cov:-0}" -gt "$most" ] && most=$cov
    done
    # slow-unit files are libFuzzer's notes on slow inputs, not findings
    echo "$target: $runs executions, $most edges, $(find "$work/artifacts" -newer \
      "$work/artifacts/.started" \( -name "$target-crash-*" -o -name "$target-leak-*" -o \
      -name "$target-timeout-*" -o -name "$target-oom-*" \) | wc -l) findings"
  done
  return "$status"
}

[ $# -ge 1 ] || usage
if [ "$1" = "--check" ]; then
  [ $# -eq 2 ] || usage
  build
  check "$2"
else
  build
  long_run "$@"
fi
