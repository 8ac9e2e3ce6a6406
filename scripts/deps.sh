#!/usr/bin/env bash
# Installs the Debian packages Quillmark needs to build, test and run (only those missing).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libsqlite3-dev          # the tool and the ACT! stand-in
    qt6-svg-dev                          # the window icon and the icon files, from one SVG
    rst2pdf                              # the user manual (about 2 MB, 15 s to install)
    clang libclang-rt-14-dev             # fuzz targets (libFuzzer)
    libsimpleini-dev                     # INI benchmark baseline
    xvfb xauth imagemagick               # screenshots of the real windows
    openbox xdotool                      # a window frame and keys for the screenshots
    icewm                                # ... a frame with only the buttons a window asks for
    fonts-liberation fonts-dejavu-core   # fonts for rendering without a desktop, embedded in the manual
    poppler-utils                        # pdftoppm, to look at the manual's pages
    g++-mingw-w64-x86-64-win32           # the Windows programs: COM client for ACT!, fake ACT! server
    wine wine64                          # ... and their tests, run under Wine
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -q
    $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
