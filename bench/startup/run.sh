#!/bin/bash
# Start-up on a large target system: the demo prefix grown to PROFILES mail profiles and a user.reg of
# USER_REG_MB megabytes; `qob profiles` and the main window's load (offscreen, until its profiles are
# listed) timed RUNS times each, each run a new process. Goal: 300 ms or less each.
# Usage: bench/startup/run.sh [user.reg MB, default 40] [profiles, default 50] [runs, default 5]
# Env: see bench/common.sh (BUILD, BUILD_TYPE, WORK, KEEP).
set -euo pipefail
USER_REG_MB=${1:-40}
PROFILES=${2:-50}
RUNS=${3:-5}
source "$(dirname "$0")/../common.sh"
need_tools /usr/bin/time
make_work startup
build qob qob_bench_bigprefix qob_bench_window_load
export QUIRE_HOME="$WORK/home"
mkdir -p "$QUIRE_HOME"
PREFIX="$WORK/prefix"
"$BUILD/bench/startup/qob_bench_bigprefix" "$PREFIX" "$PROFILES" "$USER_REG_MB"
LISTED=$("$QOB" --prefix "$PREFIX" profiles | wc -l)
cat "$PREFIX"/*.reg >/dev/null # every run reads the registry from the page cache

time_runs() { # time_runs NAME COMMAND...: RUNS runs, a table line of their wall and CPU milliseconds
    local name=$1 i
    shift
    for ((i = 0; i < RUNS; ++i)); do
        /usr/bin/time -v -o "$WORK/time.txt" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt" ||
            { echo "$name failed:" >&2; cat "$WORK/err.txt" >&2; FAILED=1; return; }
        awk -F': ' '/Elapsed \(wall clock\)/ { k = split($2, p, ":"); w = 0; for (i = 1; i <= k; ++i) w = w * 60 + p[i] }
            /User time/ { c += $2 } /System time/ { c += $2 } /Maximum resident/ { r = $2 }
            END { printf "%.0f %.0f %d\n", w * 1000, c * 1000, r }' "$WORK/time.txt"
    done | sort -n | awk -v n="$name" -v runs="$RUNS" '
        { w[NR] = $1; c[NR] = $2; r = $3 > r ? $3 : r }
        END { m = w[int((NR + 1) / 2)]; printf "%-28s %5d %9d %9d %9d %10d %s\n", n, runs, w[1], m, c[1], r,
              (m <= 300 ? "yes" : "NO") }'
}

echo "prefix: $LISTED profiles listed, user.reg $(stat -c %s "$PREFIX/user.reg") bytes, in $WORK"
printf '%-28s %5s %9s %9s %9s %10s %s\n' operation runs best_ms median_ms cpu_ms peak_KiB "median<=300ms"
time_runs "qob profiles" "$QOB" --prefix "$PREFIX" profiles
time_runs "window load (whole process)" env QT_QPA_PLATFORM=offscreen "$BUILD/bench/startup/qob_bench_window_load" "$PREFIX"
echo "last window run's phases: $(cat "$WORK/out.txt")"
exit "${FAILED:-0}"
