#!/bin/bash
# The Windows build's backup (qob.exe under Wine, its Windows backend reading a copy of the prefix
# through Wine) beside the Linux build's and zip -6, on the same data: the PST-like data and the
# real-file mix, each the profile's Outlook.pst. Each row is the run of median wall time of RUNS.
# Wine's own server is started once before the rows and kept running (as on a desktop where any
# Windows program runs); its CPU time is not in the rows' cpu_s.
# Usage: bench/windows/run.sh [size in MiB, default 256]
# Env: see bench/common.sh (BUILD, WORK, KEEP, SEED); RUNS (default 3); WIN64_BUILD (default
#      <repo>/build-win64: `make windows` is run when it holds no qob.exe).
set -euo pipefail
SIZE_MIB=${1:-256}
RUNS=${RUNS:-3}
source "$(dirname "$0")/../common.sh"
need_tools zip unzip wine wineserver winepath /usr/bin/time
make_work windows
need_space $((SIZE_MIB * 12))
build qob qob_bench_pstdata
WIN64_BUILD=${WIN64_BUILD:-$REPO/build-win64}
QOB_EXE=$WIN64_BUILD/qob.exe
if [[ ! -f "$QOB_EXE" ]]; then
    make -C "$REPO" windows WIN64_BUILD="$WIN64_BUILD" >/dev/null
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'WINEPREFIX="$WORK/prefix-w" wineserver -k >/dev/null 2>&1 || true; [[ -n "${KEEP:-}" ]] || rm -rf "$WORK"' EXIT

warm() { cat "$DATA" "$DATA_W" >/dev/null; }
# median_row NAME OUTPUT COMMAND...: the command RUNS times, the row of the median wall time kept.
median_row() {
    local kept=("${ROWS[@]}") i
    ROWS=()
    for ((i = 0; i < RUNS; ++i)); do
        warm
        rm -f "$2"
        row "$@"
    done
    ((${#ROWS[@]})) || { ROWS=("${kept[@]}"); return; }
    local median
    median=$(printf '%s\n' "${ROWS[@]}" | sort -t $'\t' -k2,2g | sed -n "$(((${#ROWS[@]} + 1) / 2))p")
    ROWS=("${kept[@]}" "$median")
}

echo "$(nproc) processors, $RUNS runs a row (median), data read from the page cache; $(wine --version)"
for MIX in pst real; do
    [[ "$MIX" == real ]] && DATA_NAME="real-file mix" || DATA_NAME="PST-like data"
    rm -rf "$WORK/prefix" "$WORK/prefix-w" "$WORK/home" "$WORK/home-w"
    demo_prefix "$SIZE_MIB"
    settings 'checkbackupfile=0'
    # The Windows build works on a copy: Wine brings a prefix up to date when it first starts there,
    # which is done here, before any row.
    cp -a "$PREFIX" "$WORK/prefix-w"
    export WINEPREFIX=$WORK/prefix-w
    wineserver -p
    wine "$QOB_EXE" --version >/dev/null 2>&1
    DATA_W=$WORK/prefix-w/${DATA#"$PREFIX"/}
    mkdir -p "$WORK/home-w"
    cp "$QUIRE_HOME/settings.dat" "$WORK/home-w/"
    home_w=$(winepath -w "$WORK/home-w" 2>/dev/null)
    out_w=$(winepath -w "$WORK/windows.qob" 2>/dev/null)
    echo
    echo "data: $BYTES bytes of $DATA_NAME (seed $SEED)"
    ROWS=()
    median_row "qob.exe backup (Wine)" "$WORK/windows.qob" \
        env QUIRE_HOME="$home_w" wine "$QOB_EXE" --quiet backup --profile Outlook --items 100000000 "$out_w"
    median_row "qob backup (Linux)" "$WORK/linux.qob" \
        "$QOB" --quiet --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$WORK/linux.qob"
    median_row "zip -6" "$WORK/zip6.zip" zip -q -6 -j "$WORK/zip6.zip" "$DATA"
    print_table "$BYTES" "zip -6"
    # Both backups must hold the same data file.
    if ! unzip -p "$WORK/windows.qob" '*Outlook.pst' | cmp -s - "$DATA"; then
        echo "FAIL: the Windows backup does not hold the data file" >&2
        FAILED=1
    fi
    WINEPREFIX=$WORK/prefix-w wineserver -k >/dev/null 2>&1 || true
    unset WINEPREFIX
done
exit "${FAILED:-0}"
