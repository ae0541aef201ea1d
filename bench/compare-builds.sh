#!/bin/bash
# Times `qob backup` and `qob restore` of one build against another on the same data, turn about,
# so that a change's cost shows beside the noise. Prints the best and the median of the runs.
# Usage: bench/compare-builds.sh OLD_QOB NEW_QOB [size in MiB, default 1024] [runs, default 3]
# Needs a build of this tree's benchmarks (for the data generator): BUILD, default <repo>/build-bench.
set -euo pipefail
OLD=$1
NEW=$2
SIZE_MIB=${3:-1024}
RUNS=${4:-3}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$REPO/build-bench}
WORK=${WORK:-$(mktemp -d /tmp/qobcompare.XXXXXX)}

cmake -S "$REPO" -B "$BUILD" -G Ninja -DQOB_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target qob_bench_pstdata >/dev/null
GEN=$(find "$BUILD" -name qob_bench_pstdata -type f | head -1)

export QUIRE_HOME="$WORK/home"
mkdir -p "$QUIRE_HOME"
printf '[General]\r\ncheckbackupfile=0\r\n' >"$QUIRE_HOME/settings.dat"
PREFIX="$WORK/prefix"
"$NEW" demo-prefix "$PREFIX" >/dev/null
DATA=$(find "$PREFIX/drive_c/users" -path '*AppData/Local/Microsoft/Outlook/Outlook.pst' | head -1)
"$GEN" "$DATA" "$SIZE_MIB"
BYTES=$(stat -c %s "$DATA")
cp -a "$PREFIX" "$WORK/pristine"
echo "data: $BYTES bytes; $RUNS runs each, turn about"

seconds() { # command... -> wall seconds
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }'
}

declare -A times
for ((i = 0; i < RUNS; i++)); do
    for which in old new; do
        qob=$OLD
        [ "$which" = new ] && qob=$NEW
        rm -f "$WORK/b.qob"
        cat "$DATA" >/dev/null
        times[$which-backup]+="$(seconds "$qob" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$WORK/b.qob") "
        rm -rf "$WORK/target" && cp -a "$WORK/pristine" "$WORK/target"
        cat "$WORK/b.qob" >/dev/null # the new build drops the written backup from the cache
        times[$which-restore]+="$(seconds "$qob" --prefix "$WORK/target" restore "$WORK/b.qob" --profile Second --items 100000000) "
    done
done

printf '%-22s %9s %9s %9s\n' operation best_s median_s MB/s
for op in backup restore; do
    for which in old new; do
        # shellcheck disable=SC2086
        sorted=$(printf '%s\n' ${times[$which-$op]} | sort -n)
        best=$(echo "$sorted" | head -1)
        median=$(echo "$sorted" | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
        awk -v n="$which $op" -v b="$best" -v m="$median" -v s="$BYTES" \
            'BEGIN { printf "%-22s %9.2f %9.2f %9.1f\n", n, b, m, s / 1e6 / b }'
    done
done
rm -rf "$WORK"
