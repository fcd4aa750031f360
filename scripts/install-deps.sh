#!/usr/bin/env bash
# Installs everything the build, the tests and the lab need, from Debian packages.
# Run as root on Debian 12.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config dpkg-dev
    clang-14 libclang-rt-14-dev
    libgtest-dev
    qt6-base-dev qt6-svg-dev libgl-dev libxcb1-dev
    zlib1g-dev libelf-dev libdw-dev
    libcapstone-dev
    fonts-wqy-zenhei
    ieee-data
    iproute2 procps nftables curl
    prometheus prometheus-node-exporter
    xvfb x11-utils xdotool imagemagick gdb
    weston qt6-wayland
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
