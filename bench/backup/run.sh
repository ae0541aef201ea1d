#!/bin/bash
# Times the archive writer against the usual zip tools on PST-like data, in one run.
# Usage: bench/backup/run.sh [size in MiB, default 2048]
# Env: BUILD (build folder, default <repo>/build-bench), WORK (scratch folder, default a new /tmp folder).
set -euo pipefail
SIZE_MIB=${1:-2048}
REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$REPO/build-bench}
WORK=${WORK:-$(mktemp -d /tmp/qobbench.XXXXXX)}
PASSWORD='Bench-Pässwort-2024'

for tool in zip 7z /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool (packages zip, p7zip-full, time)" >&2; exit 2; }
done
cmake -S "$REPO" -B "$BUILD" -G Ninja -DQOB_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target qob qob_bench_gendata qob_bench_archive >/dev/null
QOB="$BUILD/qob"
GEN=$(find "$BUILD" -name qob_bench_gendata -type f | head -1)
ARC=$(find "$BUILD" -name qob_bench_archive -type f | head -1)

# A profile whose data file is the large one: the demo target system with its Outlook.pst replaced.
export QUIRE_HOME="$WORK/home"
mkdir -p "$QUIRE_HOME"
PREFIX="$WORK/prefix"
"$QOB" demo-prefix "$PREFIX" >/dev/null
DATA=$(find "$PREFIX/drive_c/users" -path '*AppData/Local/Microsoft/Outlook/Outlook.pst' | head -1)
"$GEN" "$DATA" "$SIZE_MIB"
BYTES=$(stat -c %s "$DATA")
cat "$DATA" >/dev/null # warm the page cache so every row reads from memory
echo "data: $BYTES bytes in $WORK"
printf '%-34s %9s %9s %14s %8s %12s\n' operation wall_s MB/s output_bytes ratio peak_KiB

row() {
    local name=$1 out=$2
    shift 2
    rm -f "$out"
    local t0 t1
    t0=$(date +%s.%N)
    /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt" || {
        echo "$name failed:" >&2
        cat "$WORK/err.txt" >&2
        return
    }
    t1=$(date +%s.%N)
    local rss size
    rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$WORK/time.txt")
    size=$(stat -c %s "$out")
    awk -v n="$name" -v t0="$t0" -v t1="$t1" -v b="$BYTES" -v s="$size" -v r="$rss" 'BEGIN {
        w = t1 - t0; printf "%-34s %9.2f %9.1f %14.0f %7.2f%% %12d\n", n, w, b / 1e6 / w, s, 100 * s / b, r }'
    rm -f "$out"
}

# The whole backup of the profile's data files (box 0: data files, rules, configuration), as a user
# runs it; without and with the read-back check of "checkbackupfile".
printf '[General]\r\ncheckbackupfile=0\r\n' >"$QUIRE_HOME/settings.dat"
row "qob backup (level 6)" "$WORK/b.qob" "$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$WORK/b.qob"
printf '[General]\r\ncheckbackupfile=1\r\n' >"$QUIRE_HOME/settings.dat"
row "qob backup (level 6) + check" "$WORK/b.qob" "$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$WORK/b.qob"
row "qob archive, level 6" "$WORK/a.qob" "$ARC" "$WORK/a.qob" 6 - "$DATA"
row "qob archive, level 6 + AES-256" "$WORK/a.qob" "$ARC" "$WORK/a.qob" 6 "$PASSWORD" "$DATA"
row "qob archive, level 1" "$WORK/a.qob" "$ARC" "$WORK/a.qob" 1 - "$DATA"
row "Info-ZIP zip -6" "$WORK/z.zip" zip -q -6 -j "$WORK/z.zip" "$DATA"
row "Info-ZIP zip -1" "$WORK/z.zip" zip -q -1 -j "$WORK/z.zip" "$DATA"
row "7z a -tzip -mx=5" "$WORK/s.zip" 7z a -tzip -mx=5 "$WORK/s.zip" "$DATA"
row "cp" "$WORK/copy.pst" cp "$DATA" "$WORK/copy.pst"

[[ -n "${KEEP:-}" ]] || rm -rf "$WORK"
