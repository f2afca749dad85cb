#!/usr/bin/env bash
# Checks that includes between the folders of src/ only point down the floors, and that no
# header includes itself round a loop. Prints each offending include; exits 1 if there is any.
#   core  <-  nwread, repair, nwcwrite, musicxmlwrite  <-  convert  <-  app
# The inspection tools (nwtext, nwcdump) sit beside convert and use only the reader. The window
# model (app/window) includes no toolkit header; its views (app/gui, app/win32) sit above it.
set -euo pipefail
cd "$(dirname "$0")/../src"

# The folders each folder may include from (besides itself).
declare -A allowed=(
    [core]=""
    [nwread]="core"
    [repair]="core"
    [nwcwrite]="core"
    [musicxmlwrite]="core"
    [convert]="core nwread repair nwcwrite musicxmlwrite"
    [nwtext]="core nwread"
    [nwcdump]="core"
    [app/batch]="core convert"
    [app/cli]="core convert app/batch nwtext nwcdump"
    [app/window]="core convert app/batch"
    [app/gui]="core convert app/batch app/window"
    [app/win32]="core convert app/batch app/window"
)

folderOf() {
    case $1 in
    app/*) echo "$1" | cut -d/ -f1-2 ;;
    *) echo "${1%%/*}" ;;
    esac
}

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
while IFS= read -r file; do
    from=$(folderOf "$file")
    if [[ ! -v allowed[$from] ]]; then
        echo "$file: folder $from has no place among the floors"
        status=1
        continue
    fi
    while IFS= read -r target; do
        [[ -e $target ]] || continue # a system or third-party header
        echo "$file $target" >>"$edges"
        to=$(folderOf "$target")
        [[ $to == "$from" ]] && continue
        if [[ " ${allowed[$from]} " != *" $to "* ]]; then
            echo "$file includes $target: $from may not include from $to"
            status=1
        fi
    done < <(sed -n 's/^#include "\(.*\)".*/\1/p' "$file")
done < <(find . -name '*.hpp' -o -name '*.cpp' | sed 's|^\./||' | sort)

# The window model draws nothing itself: no toolkit header (Qt, Win32, GTK) in app/window.
toolkit='^#include <(Q[A-Za-z]*|Qt[A-Za-z]*/.*|windows\.h|winuser\.h|commctrl\.h|commdlg\.h|richedit\.h|shellapi\.h|shlobj\.h|gtk/.*)>'
while IFS= read -r line; do
    echo "$line: the window model may not include a toolkit header"
    status=1
done < <(grep -EHin "$toolkit" app/window/*.hpp app/window/*.cpp 2>/dev/null || true)

# tsort reports a loop in the include graph of the files.
if ! tsort "$edges" >/dev/null 2>"$edges.loops"; then
    cat "$edges.loops"
    status=1
fi
rm -f "$edges.loops"
[[ $status == 0 ]] && echo "layers: every include points down; no include loops"
exit $status
