#!/usr/bin/env bash
# Installs the Debian packages the station, its server, tools and tests need.
# Non-interactive and idempotent: installs only what is missing, and runs
# `apt-get update` once, only when something has to be installed.
set -euo pipefail

PACKAGES=(
    g++ cmake ninja-build pkg-config
    qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins libqt5svg5-dev
    libqt5sql5-sqlite
    libsqlcipher-dev sqlcipher libssl-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
    ffmpeg xvfb xauth fonts-dejavu-core
    clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    echo "bootstrap: installing ${missing[*]}"
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
else
    echo "bootstrap: all packages present"
fi
