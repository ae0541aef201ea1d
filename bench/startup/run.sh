#!/bin/bash
# Start-up on a large target system: the demo prefix grown to PROFILES mail profiles and a user.reg of
# USER_REG_MB megabytes; `qob profiles`, the main window's load (offscreen, until its profiles are
# listed) and quiremail's own window start-up up to the main window's first paint, timed RUNS times
# each, each run a new process. Goals: `qob profiles` 100 ms, the first paint 250 ms, the load 300 ms.
# Usage: bench/startup/run.sh [user.reg MB, default 40] [profiles, default 50] [runs, default 5]
# Env: see bench/common.sh (BUILD, BUILD_TYPE, WORK, KEEP).
set -euo pipefail
USER_REG_MB=${1:-40}
PROFILES=${2:-50}
RUNS=${3:-5}
source "$(dirname "$0")/../common.sh"
need_tools /usr/bin/time
make_work startup
build qob qob_bench_bigprefix qob_bench_window_load qob_bench_first_paint
export QUIRE_HOME="$WORK/home"
mkdir -p "$QUIRE_HOME"
PREFIX="$WORK/prefix"
"$BUILD/bench/startup/qob_bench_bigprefix" "$PREFIX" "$PROFILES" "$USER_REG_MB"
LISTED=$("$QOB" --prefix "$PREFIX" profiles | wc -l)
cat "$PREFIX"/*.reg >/dev/null # every run reads the registry from the page cache

time_runs() { # time_runs NAME GOAL_MS COMMAND...: RUNS runs, a table line of their wall and CPU milliseconds
    local name=$1 goal=$2 i
    shift 2
    for ((i = 0; i < RUNS; ++i)); do
        /usr/bin/time -v -o "$WORK/time.txt" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt" ||
            { echo "$name failed:" >&2; cat "$WORK/err.txt" >&2; FAILED=1; return; }
        awk -F': ' '/Elapsed \(wall clock\)/ { k = split($2, p, ":"); w = 0; for (i = 1; i <= k; ++i) w = w * 60 + p[i] }
            /User time/ { c += $2 } /System time/ { c += $2 } /Maximum resident/ { r = $2 }
            END { printf "%.0f %.0f %d\n", w * 1000, c * 1000, r }' "$WORK/time.txt"
    done | sort -n | awk -v n="$name" -v runs="$RUNS" -v goal="$goal" '
        { w[NR] = $1; c[NR] = $2; r = $3 > r ? $3 : r }
        END { k = int((NR + 1) / 2); printf "%-28s %5d %9d %9d %9d %10d %7d %s\n", n, runs, w[1], w[k], c[k], r,
              goal, (w[k] <= goal ? "yes" : "NO") }'
}

echo "prefix: $LISTED profiles listed, user.reg $(stat -c %s "$PREFIX/user.reg") bytes, in $WORK"
printf '%-28s %5s %9s %9s %9s %10s %7s %s\n' operation runs best_ms median_ms cpu_ms peak_KiB goal_ms "median<=goal"
time_runs "qob profiles" 100 "$QOB" --prefix "$PREFIX" profiles
time_runs "window load (whole process)" 300 env QT_QPA_PLATFORM=offscreen "$BUILD/bench/startup/qob_bench_window_load" "$PREFIX"
echo "last window load's phases: $(cat "$WORK/out.txt")"
time_runs "first paint (whole process)" 250 env QT_QPA_PLATFORM=offscreen WINEPREFIX="$PREFIX" \
    "$BUILD/bench/startup/qob_bench_first_paint"
echo "last first paint: $(cat "$WORK/out.txt")"
echo "(cpu_ms: user+system time of the median run; on a machine shared with other work it is the steadier figure)"
exit "${FAILED:-0}"
