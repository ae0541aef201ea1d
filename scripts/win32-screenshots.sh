#!/usr/bin/env bash
# Pictures of the Windows build's windows under Wine, into docs/screenshots/windows/ (and at 200 %
# into its 200/): the window smoke test's run (tests/win32/window_smoke.sh) on the demo target
# system, photographed on the way.
# Usage: scripts/win32-screenshots.sh [WIN64_BUILD] [LINUX_BUILD] (make windows and make build first).
set -euo pipefail
cd "$(dirname "$0")/.."
win64=${1:-build-win64}
linux=${2:-build}
mkdir -p docs/screenshots/windows docs/screenshots/windows/200
SCREENSHOTS=$PWD/docs/screenshots/windows bash tests/win32/window_smoke.sh "$win64/quiremail.exe" "$linux/qob"
# Again at 200 % (Wine's LogPixels 192) on a screen large enough for it, into windows/200/.
LOGPIXELS=192 SMOKE_SCREEN=2560x2048x24 SCREENSHOTS=$PWD/docs/screenshots/windows/200 \
    bash tests/win32/window_smoke.sh "$win64/quiremail.exe" "$linux/qob"
