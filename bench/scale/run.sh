#!/bin/bash
# Backup and restore of one very large PST-like data file (default 8 GiB) beside the same at 1 GiB:
# peak memory (goal: at most 64 MiB whatever the size) and throughput against the 1 GiB figure (goal:
# within 10 %). At this size the archive needs Zip64 and the restore's free-space check counts
# several GiB; 7-Zip and UnZip then test the large archive.
# Usage: bench/scale/run.sh [size in MiB, default 8192]
# Env: see bench/common.sh (BUILD, BUILD_TYPE, WORK, KEEP, SEED); SMALL_MIB (default 1024).
set -euo pipefail
SIZE_MIB=${1:-8192}
SMALL_MIB=${SMALL_MIB:-1024}
source "$(dirname "$0")/../common.sh"
need_tools unzip 7z /usr/bin/time
make_work scale
need_space $((SIZE_MIB * 3 + SMALL_MIB * 3))
build qob qob_bench_pstdata
PEAK_GOAL_KIB=65536

demo_prefix "$SMALL_MIB"
settings 'checkbackupfile=0'
measure() { # measure MIB: backup and restore rows for the data in the prefix
    local backup="$WORK/$1.qob"
    cat "$DATA" >/dev/null
    ROW_INPUT=$BYTES row "backup $1 MiB" "$backup" \
        "$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$backup"
    drop_cache "$backup" || true
    ROW_INPUT=$BYTES row "restore $1 MiB" "@$PREFIX/drive_c" \
        "$QOB" --prefix "$PREFIX" restore "$backup" --profile Second --items 100000000
}
measure "$SMALL_MIB"
rm -f "$WORK/$SMALL_MIB.qob"
"$GEN" "$DATA" "$SIZE_MIB" "$SEED"
BYTES=$(stat -c %s "$DATA")
measure "$SIZE_MIB"
LARGE="$WORK/$SIZE_MIB.qob"
echo "data: $SMALL_MIB MiB and $SIZE_MIB MiB of PST-like data (seed $SEED) in $WORK; $(nproc) processors"
printf '%s\n' "${ROWS[@]}" | awk -F'\t' -v goal="$PEAK_GOAL_KIB" '
    {
        n[NR] = $1; w[NR] = $2 > 0 ? $2 : 0.01; c[NR] = $3; r[NR] = $5; mbs[NR] = $6 / 1e6 / w[NR]
        op = $1; sub(/ .*/, "", op); kind[NR] = op; if (!(op in first)) first[op] = mbs[NR]
    }
    END {
        printf "%-22s %8s %8s %8s %9s %10s %s\n", "operation", "wall_s", "cpu_s", "MB/s", "vs_small", "peak_KiB",
               "peak<=64MiB"
        for (i = 1; i <= NR; ++i)
            printf "%-22s %8.2f %8.2f %8.1f %8.1f%% %10d %s\n", n[i], w[i], c[i], mbs[i],
                   100 * mbs[i] / first[kind[i]], r[i], (r[i] <= goal ? "yes" : "NO")
        printf "(vs_small: throughput beside the same operation on the small file; goal at least 90 %%)\n"
    }'
echo "large archive: $(stat -c %s "$LARGE") bytes"
if 7z t "$LARGE" >/dev/null 2>&1; then echo "  OK   7z t"; else echo "  FAIL 7z t"; FAILED=1; fi
if unzip -tq "$LARGE" >/dev/null 2>&1; then echo "  OK   unzip -t"; else echo "  FAIL unzip -t"; FAILED=1; fi
exit "${FAILED:-0}"
