#!/usr/bin/env bash
# Checks that quillmark.exe (run under Wine) and the Linux build convert the same tree into
# byte-identical .nwc and .musicxml files and log the same message lines: the examples, 300
# generated scores and damaged copies of some of them (so that errors are logged too).
# usage: scripts/windows-identity.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
# Wine's prefix is the caller's WINEPREFIX, else one under the Windows build directory.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX=${WINEPREFIX:-$(realpath "$2")/wineprefix} WINEDEBUG=${WINEDEBUG:--all}
linux_bin=$(realpath "$1/quillmark")
windows_bin=$(realpath "$2/quillmark.exe")
work=$(realpath "$2")/identity
rm -rf "$work"
mkdir -p "$work/corpus/examples" "$work/logs-linux" "$work/logs-windows"

# STEP 1: one tree of inputs: the examples, the generated scores, every seventh one cut short
# or with a byte changed.
cp examples/*.nw "$work/corpus/examples/"
python3 bench/gen_corpus.py "$work/corpus/generated" --files 300 --dirs 6 --seed 13 >/dev/null
python3 - "$work/corpus/generated" <<'EOF'
import os, sys
paths = sorted(os.path.join(d, f) for d, _, fs in os.walk(sys.argv[1]) for f in fs)
for i, path in enumerate(paths[::7]):
    data = bytearray(open(path, "rb").read())
    if i % 2 == 0:
        data = data[: len(data) * 2 // 3]
    else:
        data[len(data) // 2] ^= 0x5A
    open(path[:-3] + "_damaged.nw", "wb").write(bytes(data))
EOF
cp -r "$work/corpus" "$work/linux"
cp -r "$work/corpus" "$work/windows"

# STEP 2: convert each copy with its own program.
"$linux_bin" convert "$work/linux" --log-dir "$work/logs-linux" --format nwc,musicxml \
    --quiet >/dev/null
wine "$windows_bin" convert "$(winepath -w "$work/windows")" \
    --log-dir "$(winepath -w "$work/logs-windows")" --format nwc,musicxml --quiet >/dev/null

# STEP 3: the trees must be identical, inputs and outputs, byte for byte.
diff -r "$work/linux" "$work/windows"
outputs=$(find "$work/linux" -name '*.nwc' | wc -l)
documents=$(find "$work/linux" -name '*.musicxml' | wc -l)
inputs=$(find "$work/corpus" -name '*.nw' | wc -l)
if [ "$outputs" -ne "$inputs" ] || [ "$documents" -ne "$inputs" ]; then
    echo "windows-identity: $inputs inputs but $outputs .nwc and $documents .musicxml" >&2
    exit 1
fi

# STEP 4: the logs must say the same once the headings name the files relative to the tree.
python3 - "$work" <<'EOF'
import re, sys
work = sys.argv[1]
def lines(platform):
    text = open(f"{work}/logs-{platform}/Quillmark_0.log", "rb").read().decode("utf-8")
    out = []
    for line in text.split("\r\n"):
        m = re.match(r"file:\\\\\\.*[/\\]identity[/\\]" + platform + r"[/\\](.*)$", line)
        out.append("file: " + m.group(1).replace("\\", "/") if m else line)
    return out
linux, windows = lines("linux"), lines("windows")
if linux != windows:
    for a, b in zip(linux, windows):
        if a != b:
            sys.exit(f"windows-identity: logs differ first at\n  linux:   {a!r}\n  windows: {b!r}")
    sys.exit(f"windows-identity: logs differ in length: {len(linux)} and {len(windows)} lines")
messages = sum(1 for l in linux if l.startswith(("   Error ", "   Warning ")))
if messages == 0:
    sys.exit("windows-identity: the damaged scores should have been reported")
print(f"windows-identity: {len(linux)} log lines ({messages} messages) identical")
EOF
echo "windows-identity: $outputs .nwc and $documents .musicxml files identical"
