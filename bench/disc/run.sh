#!/bin/bash
# Times writing an ISO image of one large file (qob disc image, through libburn's image-file drive)
# against cp of the same bytes. Both rows end with the data on disk (the image is flushed before it
# is renamed into place, so cp is followed by sync of its copy).
# Usage: bench/disc/run.sh [size in MiB, default 4096]
# Env: BUILD (build folder with qob, default <repo>/build), WORK (scratch folder, default a new /tmp folder).
set -euo pipefail
SIZE_MIB=${1:-4096}
REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$REPO/build}
WORK=${WORK:-$(mktemp -d /tmp/qobdiscbench.XXXXXX)}
QOB="$BUILD/qob"
[ -x "$QOB" ] || { echo "build qob first (cmake --build $BUILD --target qob)" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "missing /usr/bin/time (package time)" >&2; exit 2; }

DATA="$WORK/backup.qob"
# Incompressible data, as a protected backup is.
head -c $((SIZE_MIB * 1048576)) /dev/urandom >"$DATA"
BYTES=$(stat -c %s "$DATA")
cat "$DATA" >/dev/null # warm the page cache so both rows read from memory
echo "data: $BYTES bytes in $WORK"
printf '%-22s %9s %9s %14s %12s\n' operation wall_s MB/s output_bytes peak_KiB

row() {
    local name=$1 out=$2
    shift 2
    rm -f "$out"
    sync
    local t0 t1
    t0=$(date +%s.%N)
    /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || {
        echo "$name failed:" >&2
        cat "$WORK/err.txt" >&2
        exit 1
    }
    t1=$(date +%s.%N)
    local wall size peak
    wall=$(echo "$t1 - $t0" | bc -l)
    size=$(stat -c %s "$out")
    peak=$(awk -F: '/Maximum resident/ {gsub(/ /, "", $2); print $2}' "$WORK/time.txt")
    printf '%-22s %9.2f %9.1f %14d %12d\n' "$name" "$wall" "$(echo "$BYTES / $wall / 1000000" | bc -l)" "$size" "$peak"
    rm -f "$out"
}

row "cp + sync" "$WORK/copy.bin" sh -c 'cp "$1" "$2" && sync "$2"' sh "$DATA" "$WORK/copy.bin"
row "qob disc image" "$WORK/out.iso" "$QOB" disc image --quiet "$WORK/out.iso" "$DATA"
row "cp + sync (again)" "$WORK/copy.bin" sh -c 'cp "$1" "$2" && sync "$2"' sh "$DATA" "$WORK/copy.bin"
row "qob disc image (again)" "$WORK/out.iso" "$QOB" disc image --quiet "$WORK/out.iso" "$DATA"
rm -rf "$WORK"
