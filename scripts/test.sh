#!/usr/bin/env bash
# Builds and runs every test: the normal build, the Windows build under Wine (with a check that
# it writes the same files and log), the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short libFuzzer run of the converter.
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
# One prefix for the whole step; its first start takes seconds, so it runs while the build does.
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMARK_WERROR=ON \
      -DQUILLMARK_GUI=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake >/dev/null
wineboot --init >/dev/null 2>&1 &
cmake --build build-windows -j$jobs
wait
ctest --test-dir build-windows --output-on-failure -j$jobs | tee build-windows/ctest.log
scripts/windows-identity.sh build build-windows
(cd build-windows && cpack -G ZIP >/dev/null && ls quillmark-*-windows-x64.zip)
wineserver -k || true

echo "== Sanitizer build (ASan+UBSan) and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMARK_WERROR=ON \
      -DQUILLMARK_SANITIZE=ON >/dev/null
cmake --build build-asan -j$jobs
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j$jobs | tee build-asan/ctest.log

echo "== Fuzzing the converter for ${fuzz_seconds}s"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQUILLMARK_SANITIZE=ON -DQUILLMARK_FUZZ=ON -DQUILLMARK_TESTS=OFF -DQUILLMARK_GUI=OFF >/dev/null
cmake --build build-fuzz -j$jobs --target quillmark_fuzz_convert
mkdir -p build-fuzz/corpus
./build-fuzz/quillmark_fuzz_convert -max_total_time="$fuzz_seconds" -max_len=8192 -timeout=10 \
  -print_final_stats=1 build-fuzz/corpus fuzz/seeds 2>&1 | tail -n 12
echo "fuzz: no crash in ${fuzz_seconds}s"

# One closing line for the whole run: every test of the three builds, the Windows identity
# check and the fuzz run.
total=$(( $(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build/ctest.log) \
        + $(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build-windows/ctest.log) \
        + $(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build-asan/ctest.log) + 2 ))
skipped=$(cat build/ctest.log build-windows/ctest.log build-asan/ctest.log \
          | grep -c '\*\*\*Skipped' || true)
echo "all: $((total - skipped)) passed, 0 failed, $skipped skipped"
