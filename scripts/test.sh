#!/usr/bin/env bash
# Builds and runs every test: the normal build and its Debian package, the Windows build under
# Wine (with a check that it writes the same files and log, and its window, installer and
# portable zip checked as a Windows user gets them), the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short libFuzzer run of every fuzz target,
# and the threaded batch run under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=2
fuzz_seconds=${QUILLMARK_FUZZ_SECONDS:-60}

echo "== Layers and formatting"
scripts/check-layers.sh
find src tests fuzz bench \( -name '*.cpp' -o -name '*.hpp' \) -print0 |
  xargs -0 clang-format-14 --dry-run -Werror
echo "format: clean"

echo "== Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMARK_WERROR=ON >/dev/null
cmake --build build -j$jobs
ctest --test-dir build --output-on-failure -j$jobs | tee build/ctest.log

echo "== Debian package from the Release build"
scripts/check-package.sh build

echo "== Windows build (MinGW-w64) and tests under Wine"
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMARK_WERROR=ON \
      -DQUILLMARK_GUI=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake >/dev/null
# One prefix, started once (that takes seconds), and one Wine server for the whole step: a
# server that exits between two tests can refuse the next. Their output goes nowhere, so no
# pipe waits on them, and the server ends with the step, or with the script if it fails first.
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot --init >/dev/null 2>&1
cmake --build build-windows -j$jobs
# Wine now and then fails to start a program at all (exit 1, no output; about one start in 300
# here): a test that fails is run once more, so only a test that fails twice fails the step.
ctest --test-dir build-windows --output-on-failure -j$jobs --repeat until-pass:2 \
  | tee build-windows/ctest.log
scripts/windows-identity.sh build build-windows
# The portable zip and the installer, then the window through its controls, the installer's
# install, upgrade and uninstall, and the installed programs (on a display of its own).
cmake --build build-windows --target package >/dev/null
(cd build-windows && ls quillmark-*-windows-x64.zip quillmark-*-windows-x64.msi)
scripts/windows-window.sh build build-windows build-windows/windows-window.png
wineserver -k >/dev/null 2>&1 || true

echo "== Sanitizer build (ASan+UBSan) and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_WERROR=ON \
      -DQUILLMARK_SANITIZE=ON >/dev/null
cmake --build build-asan -j$jobs
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j$jobs | tee build-asan/ctest.log

echo "== Fuzzing: each target ${fuzz_seconds}s, every library instrumented"
mkdir -p build-fuzz
scripts/fuzz.sh --check "$fuzz_seconds" | tee build-fuzz/check.log
fuzz_targets=$(grep -c '^fuzz .* edges' build-fuzz/check.log)

echo "== ThreadSanitizer build: the batch and worker tests, and a --jobs 8 run"
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQUILLMARK_TSAN=ON -DQUILLMARK_GUI=OFF >/dev/null
cmake --build build-tsan -j$jobs --target quillmark quillmark_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
ctest --test-dir build-tsan --output-on-failure -j$jobs | tee build-tsan/ctest.log
rm -rf build-tsan/corpus build-tsan/logs && mkdir -p build-tsan/logs
python3 bench/gen_corpus.py build-tsan/corpus --files 300 --dirs 6 --seed 3
build-tsan/quillmark convert build-tsan/corpus --log-dir build-tsan/logs --jobs 8 \
  --format nwc,musicxml --quiet
created=$(find build-tsan/corpus -name '*.nwc' -o -name '*.musicxml' | wc -l)
[ "$created" -eq 600 ] || { echo "tsan: $created of 600 outputs written" >&2; exit 1; }
echo "tsan: 300 files converted to both formats with --jobs 8, no race reported"
unset TSAN_OPTIONS

# One closing line for the whole run: every test of the four builds, the Windows identity and
# window checks, each fuzz target and the ThreadSanitizer conversion.
ran() { sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$1"; }
total=$(( $(ran build/ctest.log) + $(ran build-windows/ctest.log) + $(ran build-asan/ctest.log) \
        + $(ran build-tsan/ctest.log) + 2 + fuzz_targets + 1 ))
skipped=$(cat build/ctest.log build-windows/ctest.log build-asan/ctest.log build-tsan/ctest.log \
          | grep -c '\*\*\*Skipped' || true)
echo "all: $((total - skipped)) passed, 0 failed, $skipped skipped"
