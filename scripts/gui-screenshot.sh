#!/usr/bin/env bash
# Retakes docs/gui.png: the window after a run over a small demo tree, on a virtual X screen
# with a window manager. By hand only; needs xvfb, openbox, xdotool, x11-apps and netpbm.
#   scripts/gui-screenshot.sh [OUT.png] [SCALE]     (default docs/gui.png at scale 1)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$repo/docs/gui.png}")
scale=${2:-1}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$out" "$scale"
fi

demo=/tmp/quillmark-demo
rm -rf "$demo"
mkdir -p "$demo/Scores/Hymns" "$demo/Scores/Duets" "$demo/Logs"
cp "$repo"/examples/twinkle.nw "$repo"/examples/two-systems.nw "$demo/Scores/"
cp "$repo"/examples/duet.nw "$demo/Scores/Duets/"
cp "$repo"/examples/twinkle.nw "$demo/Scores/Hymns/evening.nw"
printf '%s\n%s\n' "$demo/Logs" "$demo/Scores" > "$demo/Quillmark.cfg"

openbox >/dev/null 2>&1 &
wm=$!
sleep 1
cd "$demo"
QT_SCALE_FACTOR=$scale "$repo/build/quillmark-gui" >/dev/null 2>&1 &
gui=$!
window=$(xdotool search --sync --name "Quillmark 75 Converter" | head -1)
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
sleep 1
xdotool key --window "$window" alt+g
sleep 2
xwd -id "$window" -silent | xwdtopnm 2>/dev/null | pnmtopng > "$out"
kill "$gui" "$wm"
echo "$out"
