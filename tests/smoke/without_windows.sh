#!/usr/bin/env bash
# The build without the windows (QOB_BUILD_GUI=OFF): Qt was never looked for, no program links it,
# and quiremail started without arguments says that this build has no windows (exit 2) instead of
# failing some other way.
# Usage: without_windows.sh BUILD_FOLDER QUIREMAIL QOB
set -uo pipefail
BUILD=$1 QUIREMAIL=$2 QOB=$3
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

if grep -E '^Qt6[A-Za-z]*_DIR:' "$BUILD/CMakeCache.txt"; then
    fail "the build without windows looked for Qt"
fi
for program in "$QUIREMAIL" "$QOB"; do
    if ldd "$program" | grep -i 'libQt'; then
        fail "$program links Qt"
    fi
done
OUT=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$QUIREMAIL" 2>&1)
CODE=$?
((CODE == 2)) || fail "quiremail without arguments exited with $CODE, not 2: $OUT"
[[ "$OUT" == *"this build has no windows"* ]] || fail "quiremail did not say the build has no windows: $OUT"
# With a display as well: the missing windows, not the display, are the reason.
OUT=$(DISPLAY=:0 "$QUIREMAIL" 2>&1)
CODE=$?
((CODE == 2)) && [[ "$OUT" == *"this build has no windows"* ]] ||
    fail "with DISPLAY set quiremail answered ($CODE): $OUT"
exit $status
