#!/usr/bin/env bash
# The demo's inside: runs in the lab's finder namespace (see scripts/demo.sh).
# Starts simulated devices on both segments, whose MAC addresses carry makers
# registered in Debian's IEEE registry, searches once with device-finder-cli,
# then starts the tool. Without a display it runs under Xvfb (on DEMO_DISPLAY
# when set, else on the first free display), presses "搜索设备" once and saves
# screenshots: SHOT-rest.png before anything happens, SHOT-hover.png with the
# mouse over the button, SHOT-wait.png during the search, and SHOT.png after it.
set -euo pipefail
build=$1
screenshot=$2

sims=()
runtime=$(mktemp -d)
cleanup() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    [[ -n ${xvfb:-} ]] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT
# Qt wants a private runtime folder; a root shell under sudo has none.
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$runtime}

# The first assignment of a maker whose name matches $1, as "805EC0".
maker_prefix() {
    awk -F, -v want="$1" '$1 == "MA-L" && tolower($3) ~ want { print $2; exit }' \
        /usr/share/ieee-data/oui.csv
}

# A device namespace's interface gets the MAC PREFIX:00:00:$3 of maker $2, so
# the tooltip, copy, CSV and the CLI show a maker for its devices.
give_maker() {
    local prefix
    prefix=$(maker_prefix "$2")
    [[ -n $prefix ]] || return 0
    ip -n "$1" link set dev eth0 address "${prefix:0:2}:${prefix:2:2}:${prefix:4:2}:00:00:$3"
}
give_maker "$LAB_NS_DEV_A" yealink 21
give_maker "$LAB_NS_DEV_B" grandstream 31

# One simulator per device: NAMESPACE ADDRESS REPLY (UTF-8, converted to GBK).
device() {
    "$LAB_SCRIPT" add-addresses "$1" eth0 "$2" 1
    ip netns exec "$1" "$DEVICE_SIM" --devices 1 --first-ip "$2" --reply-text "$3" \
        --jitter 200 >/dev/null 2>&1 &
    sims+=($!)
}
device "$LAB_NS_DEV_A" 198.51.100.21 '型号: IP话机 X3\n固件版本: 2.1.7\n位置: 前台'
device "$LAB_NS_DEV_A" 198.51.100.22 '型号: IP话机 X5\n固件版本: 2.2.0\n位置: 会议室'
device "$LAB_NS_DEV_A" 198.51.100.23 '型号: 门口机 D1\n固件版本: 1.0.4'
device "$LAB_NS_DEV_B" 203.0.113.31 '型号: 对讲分机 M2\n固件版本: 3.0.1\n位置: 二楼'
device "$LAB_NS_DEV_B" 203.0.113.32 '型号: 对讲分机 M2\n固件版本: 3.0.1\n位置: 三楼'
sleep 0.3

echo "== device-finder-cli search --adapter all --wait 1500 =="
"$build/src/cli/device-finder-cli" search --adapter all --wait 1500

if [[ -n ${DISPLAY:-} && -z ${DEMO_SCREENSHOT_ONLY:-} ]]; then
    "$build/src/app/device-finder"
    exit 0
fi

if [[ -n ${DEMO_DISPLAY:-} ]]; then
    export DISPLAY=$DEMO_DISPLAY
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
else
    # Xvfb picks a free display itself and writes its number once it serves.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$runtime/display" \
        >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [[ -s $runtime/display ]] && break; sleep 0.1; done
    export DISPLAY=:$(head -n 1 "$runtime/display")
fi
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$build/src/app/device-finder" &
finder=$!
window=$(xdotool search --sync --name '设备查找' | head -1)
sleep 0.5
base=${screenshot%.png}
import -window "$window" "$base-rest.png"
# "搜索设备" sits at 10,4 in the bottom panel, which starts at 562.
xdotool mousemove --window "$window" 90 582
sleep 0.5
import -window "$window" "$base-hover.png"
xdotool click 1
sleep 2
import -window "$window" "$base-wait.png"
sleep 3
import -window "$window" "$screenshot"
kill "$finder"
wait "$finder" 2>/dev/null || true
echo "screenshots saved (display $DISPLAY):"
printf '  %s\n' "$base-rest.png" "$base-hover.png" "$base-wait.png" "$screenshot"
