#!/bin/bash
# Peak memory (max RSS, /usr/bin/time -v) of backup, verify and restore as the data file grows, so
# that anything whose memory follows the data's size shows as a rising column (goal: flat, at most
# 64 MiB). The data file is sparse to fit the disk: at each size, 64 MiB of PST-like data at every
# GiB and holes (zeros) between; only the restore writes the full size.
# Usage: bench/scale/rss.sh [largest size in MiB, default 8192] (sizes double from 1024 up to it)
# Env: see bench/common.sh (BUILD, BUILD_TYPE, WORK, KEEP, SEED).
set -euo pipefail
MAX_MIB=${1:-8192}
source "$(dirname "$0")/../common.sh"
need_tools /usr/bin/time fallocate
make_work rss
need_space $((MAX_MIB + 1024))
build qob qob_bench_pstdata
PEAK_GOAL_KIB=65536

demo_prefix 64
settings 'checkbackupfile=0'
SLICE="$WORK/slice.bin"
mv "$DATA" "$SLICE"
for ((mib = 1024; mib <= MAX_MIB; mib *= 2)); do
    rm -f "$DATA"
    truncate -s "${mib}M" "$DATA"
    for ((at = 0; at < mib; at += 1024)); do
        dd if="$SLICE" of="$DATA" bs=1M seek="$at" conv=notrunc status=none
    done
    BYTES=$(stat -c %s "$DATA")
    backup="$WORK/$mib.qob"
    ROW_INPUT=$BYTES row "backup $mib MiB" "$backup" \
        "$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$backup"
    ROW_INPUT=$BYTES row "verify $mib MiB" - "$QOB" verify "$backup"
    ROW_INPUT=$BYTES row "restore $mib MiB" "@$PREFIX/drive_c" \
        "$QOB" --prefix "$PREFIX" restore "$backup" --profile Second --items 100000000
    # The restored copies go, so that the next size fits.
    find "$PREFIX/drive_c" -newer "$backup" -type f -size +100M -delete
    rm -f "$backup"
done
echo "data: sparse PST-like data (64 MiB at every GiB, seed $SEED) in $WORK; $(nproc) processors"
printf '%s\n' "${ROWS[@]}" | awk -F'\t' -v goal="$PEAK_GOAL_KIB" '
    BEGIN { printf "%-22s %8s %8s %8s %10s %s\n", "operation", "wall_s", "cpu_s", "MB/s", "peak_KiB", "peak<=64MiB" }
    { w = $2 > 0 ? $2 : 0.01
      printf "%-22s %8.2f %8.2f %8.1f %10d %s\n", $1, w, $3, $6 / 1e6 / w, $5, ($5 <= goal ? "yes" : "NO")
      if ($5 > goal) bad = 1 }
    END { exit bad }' || FAILED=1
exit "${FAILED:-0}"
