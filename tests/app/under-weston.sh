#!/bin/sh
# Runs a command with Qt on a headless weston of its own, through the Wayland
# platform plug-in and without an X display; weston ends with it.
set -eu
runtime="$LAB_DIR/wayland"
mkdir -p -m 0700 "$runtime"
export XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=wayland-lab QT_QPA_PLATFORM=wayland
unset DISPLAY
weston --backend=headless-backend.so --no-config --idle-time=0 --socket="$WAYLAND_DISPLAY" \
    >"$runtime/weston.log" 2>&1 &
weston=$!
trap 'kill $weston; wait $weston || true' EXIT
for _ in $(seq 200); do [ -S "$runtime/$WAYLAND_DISPLAY" ] && break; sleep 0.05; done
status=0
"$@" || status=$?
exit $status
