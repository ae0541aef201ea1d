#!/bin/bash
# Times `qob restore` of a large backup (one PST-like data file) against unzip and 7z extracting the
# same archive, with throughput and peak memory.
# Usage: bench/restore/run.sh [size in MiB, default 1024]
# Env: BUILD (build folder, default <repo>/build-bench), WORK (scratch folder, default a new /tmp folder),
#      KEEP=1 keeps WORK.
set -euo pipefail
SIZE_MIB=${1:-1024}
REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$REPO/build-bench}
WORK=${WORK:-$(mktemp -d /tmp/qobrestore.XXXXXX)}

for tool in unzip 7z /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (packages unzip, p7zip-full, time)" >&2; exit 2; }
done
cmake -S "$REPO" -B "$BUILD" -G Ninja -DQOB_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target qob qob_bench_gendata >/dev/null
QOB="$BUILD/qob"
GEN=$(find "$BUILD" -name qob_bench_gendata -type f | head -1)

export QUIRE_HOME="$WORK/home"
mkdir -p "$QUIRE_HOME"
PREFIX="$WORK/prefix"
"$QOB" demo-prefix "$PREFIX" >/dev/null
# The demo's Outlook.pst becomes the large file; the backup holds it and nothing else of note.
PST=$(find "$PREFIX/drive_c/users" -path '*AppData/Local/Microsoft/Outlook/Outlook.pst' | head -1)
"$GEN" "$PST" "$SIZE_MIB"
"$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$WORK/big.qob" >/dev/null
BYTES=$(stat -c %s "$PST")
cat "$WORK/big.qob" >/dev/null # page cache warm for every row
echo "data: $BYTES bytes, archive $(stat -c %s "$WORK/big.qob") bytes, in $WORK"
printf '%-36s %9s %9s %12s\n' operation wall_s MB/s peak_KiB

row() {
    local name=$1
    shift
    local t0 t1 rss
    t0=$(date +%s.%N)
    /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || {
        echo "$name failed:" >&2
        cat "$WORK/err.txt" >&2
        return
    }
    t1=$(date +%s.%N)
    rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$WORK/time.txt")
    awk -v n="$name" -v t0="$t0" -v t1="$t1" -v b="$BYTES" -v r="$rss" 'BEGIN {
        w = t1 - t0; printf "%-36s %9.2f %9.1f %12d\n", n, w, b / 1e6 / w, r }'
}

row "qob restore (data files into Second)" "$QOB" --prefix "$PREFIX" restore "$WORK/big.qob" --profile Second \
    --items 100000000
rm -rf "$WORK/x" && mkdir -p "$WORK/x"
row "unzip -o" unzip -o -q "$WORK/big.qob" -d "$WORK/x"
rm -rf "$WORK/x" && mkdir -p "$WORK/x"
row "7z x" 7z x -y -o"$WORK/x" "$WORK/big.qob"
rm -rf "$WORK/x"

[[ -n "${KEEP:-}" ]] || rm -rf "$WORK"
