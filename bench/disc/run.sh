#!/bin/bash
# Times writing an ISO image of one large file (qob disc image) against cp of the
# same bytes, in turns, PAIRS times. Both rows end with the data on disk: the image is flushed before
# it is renamed into place, so cp is followed by sync of its copy. The goal: the image at 90 % of
# cp + sync's rate or better (median of the pairs).
# Usage: bench/disc/run.sh [size in MiB, default 1024] [pairs, default 3]
# Env: as every script (common.sh); OLD_QOB=path/to/qob adds rows of another build (e.g. before a
#      change) in the same turns.
set -euo pipefail
SIZE_MIB=${1:-1024}
PAIRS=${2:-3}
source "$(dirname "$0")/../common.sh"
need_tools /usr/bin/time
build qob
make_work discbench
need_space $((SIZE_MIB * 3 + 64))

DATA="$WORK/backup.qob"
# Incompressible data, as a protected backup is.
head -c $((SIZE_MIB * 1048576)) /dev/urandom >"$DATA"
BYTES=$(stat -c %s "$DATA")
cat "$DATA" >/dev/null # every row reads it from memory
echo "data: $BYTES bytes in $WORK; qob: $QOB${OLD_QOB:+; old: $OLD_QOB}"

timed() { # timed NAME OUTPUT COMMAND...: one row, its output removed afterwards
    local name=$1 out=$2
    shift 2
    rm -f "$out"
    sync
    row "$name" "$out" "$@"
    rm -f "$out"
}

for ((i = 1; i <= PAIRS; ++i)); do
    timed "cp + sync #$i" "$WORK/copy.bin" sh -c 'cp "$1" "$2" && sync "$2"' sh "$DATA" "$WORK/copy.bin"
    timed "qob disc image #$i" "$WORK/out.iso" "$QOB" disc image --quiet "$WORK/out.iso" "$DATA"
    if [[ -n "${OLD_QOB:-}" ]]; then
        timed "old qob disc image #$i" "$WORK/out.iso" "$OLD_QOB" disc image --quiet "$WORK/out.iso" "$DATA"
    fi
done
print_table "$BYTES" "cp + sync #1"
# The median of each kind of row beside the median of cp + sync.
printf '%s\n' "${ROWS[@]}" | awk -F'\t' -v bytes="$BYTES" '
    { kind = $1; sub(/ #[0-9]+$/, "", kind); n[kind]++; w[kind, n[kind]] = $2; c[kind, n[kind]] = $3 }
    function median(k, arr,   i, j, t, m, v) {
        m = n[k]; for (i = 1; i <= m; ++i) v[i] = arr[k, i]
        for (i = 1; i <= m; ++i) for (j = i + 1; j <= m; ++j) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
        return m % 2 ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
    }
    END {
        ref = median("cp + sync", w)
        for (k in n) printf "median %-24s wall %6.2f s  cpu %6.2f s  %7.1f MB/s  %5.1f %% of cp + sync\n", k,
            median(k, w), median(k, c), bytes / 1e6 / median(k, w), 100 * ref / median(k, w)
    }'
