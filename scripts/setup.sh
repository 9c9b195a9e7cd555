#!/usr/bin/env bash
# Installs every Debian package Kivaro needs to build, run and test.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libegl-dev libegl-mesa0 libx11-dev
    qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    libassimp-dev libopenal-dev libxml2-dev libstb-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libode-dev libbullet-dev
    xvfb xauth libgl1-mesa-dri mesa-utils
    ffmpeg
    fonts-noto-cjk locales
    dpkg-dev fakeroot file lintian
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "setup: all packages present"
fi
