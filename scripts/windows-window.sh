#!/usr/bin/env bash
# The Windows programs as a Windows user gets them, under Wine on a virtual X server of its own:
# the window driven through its controls from the portable zip and from the installation, the
# installer's install, upgrade and uninstall (all silent), the installed quillmark.exe against
# the Linux build, and the DLLs the programs import.
# usage: scripts/windows-window.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR [SCREENSHOT.png]
# The Windows build's package target must have been built. Wine's prefix is the caller's
# WINEPREFIX, else one under the Windows build directory; a Wine session running in it is
# ended first (this one draws on its own display).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath "$1")
windows=$(realpath "$2")
screenshot=${3:+$(realpath -m "$3")}
export WINEPREFIX=${WINEPREFIX:-$windows/wineprefix} WINEDEBUG=${WINEDEBUG:--all}
version=$(sed -n 's/^project(Quillmark VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=quillmark-$version-windows-x64
work=$windows/window-check
installed="$WINEPREFIX/drive_c/Program Files/Quillmark"
fail() { echo "windows-window: $*" >&2; exit 1; }
[ -f "$windows/$name.zip" ] && [ -f "$windows/$name.msi" ] ||
  fail "no $name.zip and .msi: build the package target first"
rm -rf "$work"
mkdir -p "$work"
win() { winepath -w "$1"; }
quietly() { "$@" 2>/dev/null; } # Wine's own notes on stderr
reg_query() { quietly wine reg query "$@" | tr -d '\r'; }

# STEP 1: both programs import only Windows' own DLLs; the window is a windowed program.
system_dlls=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleacc.dll
              shell32.dll shlwapi.dll user32.dll "
for exe in quillmark.exe quillmark-gui.exe; do
  while read -r dll; do
    [[ $system_dlls == *" ${dll,,}"[[:space:]]* ]] || fail "$exe imports $dll"
  done < <(x86_64-w64-mingw32-objdump -p "$windows/$exe" | sed -n 's/^\s*DLL Name: //p')
done
# Each carries its version and its manifest: long paths for both, and for the window the
# common controls' visual styles and per-monitor DPI awareness.
for exe in quillmark.exe quillmark-gui.exe; do
  strings -el "$windows/$exe" | grep -A1 -x FileVersion | grep -x "$version" >/dev/null ||
    fail "$exe carries no version $version"
  manifest=$(strings "$windows/$exe" | grep -o 'longPathAware\|PerMonitorV2\|Common-Controls' |
             sort -u | paste -sd' ')
  expected=longPathAware
  [ "$exe" = quillmark-gui.exe ] && expected="Common-Controls PerMonitorV2 longPathAware"
  [ "$manifest" = "$expected" ] || fail "$exe's manifest declares: $manifest"
done
subsystem=$(x86_64-w64-mingw32-objdump -p "$windows/quillmark-gui.exe" | sed -n 's/^Subsystem\s*//p')
[[ $subsystem == *"(Windows GUI)" ]] || fail "quillmark-gui.exe is not a windowed program"

# STEP 2: an X server and a Wine desktop on it, which draws the windows' frames. The desktop is
# chosen when a session starts: the setting is made, then the session started again.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
cleanup() {
  chattr -i "$installed" 2>/dev/null || true
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
wineserver -k >/dev/null 2>&1 || true
wineserver -w
quietly wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Quillmark /f >/dev/null
quietly wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Quillmark /d 640x720 /f >/dev/null
wineserver -k
wineserver -w

# Scores to convert: the examples and a copy of one a level down.
scores() {
  mkdir -p "$1/sub"
  cp examples/*.nw "$1/"
  cp examples/twinkle.nw "$1/sub/"
}
# The driver's figures against the log's summary and the files on disk.
check_run() { # OUT LOG_DIR SCORES EXTENSIONS...
  local out=$1 log=$2/Quillmark_0.log dir=$3 extension
  shift 3
  sed -i 's/\r$//' "$out" # a Windows program's line ends
  grep -qx 'help=[0-9]* characters' "$out" || fail "Help: $(cat "$out")"
  [ "$(sed -n 's/^listed=//p' "$out")" -eq "$(find "$dir" -maxdepth 1 -name '*.nw' | wc -l)" ] ||
    fail "the file list does not show the source's scores: $(cat "$out")"
  local files errors warnings
  files=$(sed -n 's/^files=//p' "$out")
  errors=$(sed -n 's/^errors=//p' "$out")
  warnings=$(sed -n 's/^warnings=//p' "$out")
  grep -q "^\*\*\* $files files were created\. \*\*\*" "$log" ||
    fail "the window shows $files files created; the log says: $(grep '^\*\*\*' "$log")"
  grep -q "^\*\*\* Finished Updates with $errors errors and $warnings warnings \*\*\*" "$log" ||
    fail "the window shows $errors errors, $warnings warnings; the log says otherwise"
  local inputs written=0
  inputs=$(find "$dir" -name '*.nw' | wc -l)
  for extension in "$@"; do
    local count
    count=$(find "$dir" -name "*.$extension" | wc -l)
    [ "$count" -eq "$inputs" ] || fail "$count .$extension files for $inputs scores"
    written=$((written + count))
  done
  [ "$files" -eq "$inputs" ] || [ "$files" -eq "$written" ] ||
    fail "the window counts $files files; $written were written for $inputs scores"
}
config_lines() { tr -d '\r' <"$1" | paste -sd'|'; }

# STEP 3: the portable copy, unpacked from the zip and started in its own folder: the window
# converts the chosen folder, and keeps its configuration beside itself.
(cd "$work" && unzip -q "$windows/$name.zip")
portable=$work/$name
scores "$work/scores"
mkdir -p "$work/logs"
hold=()
[ -n "$screenshot" ] && hold=(--hold "$(win "$work")\\shot")
(
  wine "$windows/quillmark_window_driver.exe" "$(win "$portable/quillmark-gui.exe")" \
    "$(win "$portable")" "$(win "$work/scores")" "$(win "$work/logs")" "${hold[@]}" \
    >"$work/portable.out" 2>"$work/portable.err" ||
    echo "failed: $(grep window-driver "$work/portable.err")" >>"$work/portable.out"
) &
driver=$!
if [ -n "$screenshot" ]; then
  for _ in $(seq 600); do [ -s "$work/shot.ready" ] && break; sleep 0.1; done
  [ -s "$work/shot.ready" ] || { wait "$driver" || true; fail "no run to picture: $(cat "$work/portable.out")"; }
  sleep 0.5 # the last repaint
  xdotool mousemove 1000 760 # no tooltip in the picture
  import -display "$DISPLAY" -window root -crop "$(cat "$work/shot.ready")" +repage "$screenshot"
  touch "$work/shot"
fi
wait "$driver"
grep -q '^failed' "$work/portable.out" && fail "the portable window: $(cat "$work/portable.out")"
check_run "$work/portable.out" "$work/logs" "$work/scores" nwc
expected="$(win "$work/logs")|$(win "$work/scores")|0"
[ "$(config_lines "$portable/Quillmark.cfg")" = "$expected" ] ||
  fail "the portable copy's configuration: $(config_lines "$portable/Quillmark.cfg" || true)"
echo "windows-window: the portable window converted $(find "$work/scores" -name '*.nwc' | wc -l) scores; counts, log and configuration agree"

# Escape during a run of 300 scores stops it after the files in hand: the log says where, and
# the count box counts the files on disk.
python3 bench/gen_corpus.py "$work/many" --files 300 --dirs 6 --seed 5 >/dev/null
mkdir -p "$work/logs-stopped"
wine "$windows/quillmark_window_driver.exe" "$(win "$portable/quillmark-gui.exe")" \
  "$(win "$portable")" "$(win "$work/many")" "$(win "$work/logs-stopped")" --stop \
  >"$work/stopped.out" 2>"$work/stopped.err" ||
  fail "the stopped run: $(grep window-driver "$work/stopped.err")"
sed -i 's/\r$//' "$work/stopped.out"
stopped_files=$(find "$work/many" -name '*.nwc' | wc -l)
tail -n 1 "$work/logs-stopped/Quillmark_0.log" | tr -d '\r' |
  grep -x '\*\*\* Run interrupted after [0-9]* files \*\*\*' >/dev/null ||
  fail "the stopped run's log does not end as interrupted"
[ "$stopped_files" -lt 300 ] && grep -qx "files=$stopped_files" "$work/stopped.out" ||
  fail "Escape: $stopped_files of 300 converted; the window says $(grep files= "$work/stopped.out")"
echo "windows-window: Escape stopped the run after $stopped_files of 300 scores; the log says so"

# STEP 4: the installer, silent: the files item by item, the Start-menu entries, the command's
# App Paths entry.
quietly wine msiexec /i "$(win "$windows/$name.msi")" /qn
[ "$(cd "$installed" && ls | paste -sd' ')" = \
  "README.txt ReadMe.rtf THIRD-PARTY-NOTICES.txt quillmark-gui.exe quillmark.exe" ] ||
  fail "installed: $(ls "$installed" | paste -sd' ')"
for file in quillmark.exe quillmark-gui.exe ReadMe.rtf; do
  cmp -s "$installed/$file" "$portable/$file" || fail "the installed $file is not the zip's"
done
start_menu() { find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/*' -name 'Quillmark*.lnk'; }
[ "$(start_menu | wc -l)" -eq 2 ] || fail "Start-menu entries: $(start_menu)"
app_path='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\quillmark.exe'
reg_query "$app_path" | grep 'Program Files\\Quillmark\\quillmark.exe' >/dev/null ||
  fail "no App Paths entry for quillmark.exe"

# STEP 5: the installed quillmark.exe writes what the Linux build writes, byte for byte.
mkdir -p "$work/identity/linux" "$work/identity/windows" "$work/identity/logs-linux" \
         "$work/identity/logs-windows"
cp examples/*.nw "$work/identity/linux/"
cp examples/*.nw "$work/identity/windows/"
"$linux/quillmark" convert "$work/identity/linux" --log-dir "$work/identity/logs-linux" \
  --format nwc,musicxml --quiet
# The paths are given as they begin with "/" (on the current drive, Z: here): a path, not an
# option.
quietly wine "C:\\Program Files\\Quillmark\\quillmark.exe" convert "$work/identity/windows" \
  --log-dir "$work/identity/logs-windows" --format nwc,musicxml --quiet
diff -r "$work/identity/linux" "$work/identity/windows" >&2 ||
  fail "the installed quillmark.exe and the Linux build wrote different files"
[ "$(find "$work/identity/windows" -name '*.nwc' -o -name '*.musicxml' | wc -l)" -eq \
  $((2 * $(ls examples/*.nw | wc -l))) ] || fail "the installed quillmark.exe wrote too few files"

# STEP 6: the installed window, started in the installation folder as its Start-menu entry
# starts it, where the user may not write: the configuration goes to %APPDATA%\Quillmark.
# (Wine lets root write anywhere; the immutable flag stops even root.)
chattr +i "$installed" || fail "cannot make the installation folder unwritable (chattr +i)"
touch "$installed/probe" 2>/dev/null && fail "the installation folder is still writable"
scores "$work/scores-installed"
mkdir -p "$work/logs-installed"
wine "$windows/quillmark_window_driver.exe" 'C:\Program Files\Quillmark\quillmark-gui.exe' \
  'C:\Program Files\Quillmark' "$(win "$work/scores-installed")" \
  "$(win "$work/logs-installed")" --musicxml >"$work/installed.out" 2>"$work/installed.err" ||
  fail "the installed window: $(grep window-driver "$work/installed.err")"
chattr -i "$installed"
check_run "$work/installed.out" "$work/logs-installed" "$work/scores-installed" nwc musicxml
appdata=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/Quillmark/Quillmark.cfg' | head -1)
[ -n "$appdata" ] || fail "the installed window kept no configuration in %APPDATA%\\Quillmark"
[ ! -e "$installed/Quillmark.cfg" ] || fail "the installed window wrote into Program Files"
[ "$(config_lines "$appdata")" = \
  "$(win "$work/logs-installed")|$(win "$work/scores-installed")|1" ] ||
  fail "the configuration in %APPDATA%: $(config_lines "$appdata")"
echo "windows-window: the installed window converted to both formats; its configuration is in %APPDATA%\\Quillmark"

# STEP 7: a newer version replaces this one in place; uninstalling it leaves the user's
# configuration, logs and scores alone.
IFS=. read -r major minor patch <<<"$version"
newer=$major.$minor.$((patch + 1))
cp "$windows/packaging/windows/quillmark.ico" "$work/"
(cd "$work" && wixl --arch x64 -D Version="$newer" -D Files="$name" -D Icon=quillmark.ico \
  -o "$work/newer.msi" "$OLDPWD/packaging/windows/quillmark.wxs")
quietly wine msiexec /i "$(win "$work/newer.msi")" /qn
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
products=$(reg_query "$uninstall_key" /s | grep -c 'DisplayName\s*REG_SZ\s*Quillmark$' || true)
[ "$products" -eq 1 ] || fail "$products Quillmark products installed after the upgrade"
reg_query "$uninstall_key" /s | grep "DisplayVersion\s*REG_SZ\s*$newer" >/dev/null ||
  fail "the upgrade did not install version $newer"
[ -x "$installed/quillmark-gui.exe" ] || fail "the upgrade removed the window"
quietly wine msiexec /x "$(win "$work/newer.msi")" /qn
[ ! -e "$installed" ] || [ -z "$(ls -A "$installed")" ] ||
  fail "left after uninstalling: $(ls "$installed")"
[ "$(start_menu | wc -l)" -eq 0 ] || fail "Start-menu entries left: $(start_menu)"
reg_query "$app_path" >/dev/null && fail "the App Paths entry was left"
[ -f "$appdata" ] && [ -f "$work/logs-installed/Quillmark_0.log" ] &&
  [ -f "$work/scores-installed/duet.nwc" ] || fail "uninstalling removed the user's files"
echo "windows-window: installed, upgraded to $newer and uninstalled silently; the user's files stay"
