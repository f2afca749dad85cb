#!/usr/bin/env bash
# Packs the Release build into a Debian package and checks it as it would be installed: the
# files it holds, lintian's verdict, its desktop entry, man pages and changelog, the bash
# completion, and that the packaged program converts the examples and reports the package's
# version. Takes seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

rm -f "$build"/quillmark_*.deb
if ! log=$(cd "$build" && cpack -G DEB 2>&1); then echo "$log" >&2; exit 1; fi
deb=$(echo "$build"/quillmark_*.deb)
version=$(dpkg-deb -f "$deb" Version)
contents=$(dpkg-deb --contents "$deb")
for file in bin/quillmark bin/quillmark-gui share/quillmark/ReadMe.rtf \
            share/man/man1/quillmark.1.gz share/man/man1/quillmark-gui.1.gz \
            share/applications/quillmark.desktop share/icons/hicolor/scalable/apps/quillmark.svg \
            share/bash-completion/completions/quillmark \
            share/doc/quillmark/copyright share/doc/quillmark/changelog.gz \
            share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/quillmark.png; do
  grep -q " \./usr/$file\$" <<<"$contents" || { echo "package: no /usr/$file" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "package: no Qt dependency" >&2; exit 1; }
# Errors and warnings only: the informational tags are about the compiler's hardening flags.
said=$(lintian --fail-on error,warning "$deb" 2>&1) || { echo "lintian: $said" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/quillmark.desktop"
logged=$(gzip -dc "$root/usr/share/doc/quillmark/changelog.gz" | sed -n '1s/^quillmark (\([^)]*\)).*/\1/p')
[ "$logged" = "$version" ] || { echo "changelog: last entry $logged, package $version" >&2; exit 1; }
for page in quillmark quillmark-gui; do
  warnings=$(gzip -dc "$root/usr/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "man page $page: $warnings" >&2; exit 1; }
done

# The completion offers the subcommands and the formats.
completions=$(bash -c 'source "$1"
  complete_words() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _quillmark
                     echo "${COMPREPLY[*]}"; }
  complete_words quillmark con; complete_words quillmark convert x --format ""' \
  _ "$root/usr/share/bash-completion/completions/quillmark")
[ "$completions" = $'convert\nnwc musicxml nwc,musicxml' ] ||
  { echo "bash completion: $completions" >&2; exit 1; }

program=$root/usr/bin/quillmark
for name in quillmark quillmark-gui; do
  said=$("$root/usr/bin/$name" --version)
  [ "$said" = "$name $version" ] || { echo "$name --version: $said, package $version" >&2; exit 1; }
done
cp -r examples "$scratch/examples"
"$program" convert "$scratch/examples" --log-dir "$scratch" --quiet >/dev/null
inputs=$(find "$scratch/examples" -name '*.nw' | wc -l)
outputs=$(find "$scratch/examples" -name '*.nwc' | wc -l)
[ "$inputs" -gt 0 ] && [ "$inputs" -eq "$outputs" ] && [ -f "$scratch/Quillmark_0.log" ] ||
  { echo "packaged program: $outputs of $inputs examples converted" >&2; exit 1; }
echo "package: $(basename "$deb"), $inputs examples converted by the packaged program"
