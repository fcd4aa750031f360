#!/usr/bin/env bash
# A search without a VoIP network: builds the tool, its CLI and the
# simulator, then a private network lab (network namespaces; nothing leaves
# this machine) with simulated devices on two segments, searches once with
# the CLI and starts the tool inside it. Without a display it runs under Xvfb
# (a free display, or DEMO_DISPLAY), performs one search and saves four
# screenshots, printing their paths.
# Run as root:  bash scripts/demo.sh [SCREENSHOT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
screenshot=$(realpath -m "${1:-build/demo-search.png}")

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target device-finder device-finder-cli device-sim
export DEVICE_SIM=$PWD/build/release/tools/device-sim/device-sim
exec tests/lab/lab.sh run -- bash scripts/demo-in-lab.sh "$PWD/build/release" "$screenshot"
