#!/usr/bin/env bash
# Pictures of every window into docs/screenshots/ (and at 200 % into docs/screenshots/2x/), on a demo
# target system: builds gui_screenshots and runs it under Xvfb, or on Qt's offscreen platform when
# xvfb-run is missing.
# Usage: scripts/screenshots.sh [build folder, default build]
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$REPO/build}
OUT=$REPO/docs/screenshots

cmake --build "$BUILD" --target gui_screenshots >/dev/null
PROGRAM=$(find "$BUILD" -name gui_screenshots -type f -perm -u+x | head -1)
[[ -n "$PROGRAM" ]] || { echo "gui_screenshots was not built in $BUILD (QOB_BUILD_GUI off?)" >&2; exit 1; }

# Qt's own look and fonts, not the desktop's of whoever runs this.
export QT_QPA_PLATFORMTHEME= XDG_CURRENT_DESKTOP=
unset WAYLAND_DISPLAY
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
# Nor the desktop's session bus: Qt asks it synchronously at start-up, and one that never answers
# holds every window back.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/no-bus"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
shoot() { # folder, then environment assignments
    local folder=$1
    shift
    rm -rf "$folder"
    mkdir -p "$folder"
    if command -v xvfb-run >/dev/null; then
        env "$@" QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 2560x2048x24' "$PROGRAM" "$folder"
    else
        env "$@" QT_QPA_PLATFORM=offscreen "$PROGRAM" "$folder"
    fi
}
shoot "$OUT/1x" QT_SCALE_FACTOR=1
shoot "$OUT/2x" QT_SCALE_FACTOR=2
# The README shows the 1x pictures from the top folder.
find "$OUT" -maxdepth 1 -name '*.png' -delete
mv "$OUT"/1x/*.png "$OUT"/
rmdir "$OUT/1x"
