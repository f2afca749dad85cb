#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libcli11-dev nlohmann-json3-dev
          qt6-base-dev libxml2-dev libxml2-utils xvfb xauth time python3 dpkg-dev desktop-file-utils
          groff-base clang-format-14 g++-mingw-w64-x86-64-posix wine wine64 googletest zip)
packages+=(lintian) # the Debian package's check
# The Windows packages (the installer by wixl, the icon by ImageMagick) and their checks
packages+=(wixl unzip imagemagick xdotool e2fsprogs)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
