#!/usr/bin/env bash
# Pictures of the main window on the screens it must fit (1024x768, 1280x800, 1920x1080), each
# drawn twice by tools/screenshot: on the offscreen platform and under a headless Wayland
# compositor (weston), whose client-side window frame takes room the offscreen one does not.
# Writes PREFIX<width>x<height>-offscreen.png and ...-wayland.png; PREFIX is docs/screen-
# unless given.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix="${1:-docs/screen-}"
sizes=(1024x768 1280x800 1920x1080)

# weston is wanted only here, not by the build or the tests.
scripts/setup.sh --also weston screenshot
tool=build/tools/screenshot/screenshot

runtime="$(mktemp -d)"
chmod 700 "$runtime"
compositor=""
stopCompositor() {
    if [ -n "$compositor" ]; then
        kill "$compositor" 2>/dev/null || true
        wait "$compositor" 2>/dev/null || true
        compositor=""
    fi
}
trap 'stopCompositor; rm -rf "$runtime"' EXIT

for size in "${sizes[@]}"; do
    QT_QPA_PLATFORM=offscreen "$tool" --screen "$size" "$prefix$size-offscreen.png"
    echo "Wrote $prefix$size-offscreen.png"

    socket="hubrix-screenshots-$size"
    XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --width="${size%x*}" \
        --height="${size#*x}" --socket="$socket" --idle-time=0 >"$runtime/weston-$size.log" 2>&1 &
    compositor=$!
    for _ in $(seq 100); do
        [ -S "$runtime/$socket" ] && break
        kill -0 "$compositor" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -S "$runtime/$socket" ]; then
        echo "weston did not start; its log:" >&2
        cat "$runtime/weston-$size.log" >&2
        exit 1
    fi
    XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland \
        "$tool" "$prefix$size-wayland.png"
    echo "Wrote $prefix$size-wayland.png"
    stopCompositor
done
