#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need. Quiet and
# quick when everything is already there; uses sudo when not root.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-multimedia-dev libgl-dev
    # decoding compressed audio
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    # time-stretching playback with the pitch kept
    libsoundtouch-dev
    # system-wide keys on X11
    libxcb1-dev libxcb-keysyms1-dev
    # fuzzing with libFuzzer
    clang libclang-rt-14-dev
    # window tests: X server, window manager, driving and screenshots
    xvfb openbox wmctrl xdotool x11-utils imagemagick fonts-dejavu-core
    # a private session bus in tests (the program's remote control)
    dbus-daemon
    # audio output in tests
    pulseaudio pulseaudio-utils
    # real audio files made by the tests
    ffmpeg sox libsox-fmt-all espeak-ng vorbis-tools
    # reading reports back
    poppler-utils python3
    # installing and packaging: checking the menu entry and the software
    # centre's metadata, the .deb's Depends (imagemagick above scales the icon)
    desktop-file-utils appstream dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    [[ $p == \#* ]] && continue
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
