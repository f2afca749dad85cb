#!/usr/bin/env bash
# Builds Quillmark and converts the bundled examples (a copy of them, so the repository stays
# clean): the NWC files appear beside the copies and the log is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target quillmark
rm -rf build/examples-run && mkdir -p build/examples-run
cp -r examples/. build/examples-run/
./build/quillmark convert build/examples-run --log-dir build/examples-run
cat build/examples-run/Quillmark_0.log
