# Shared by the benchmark scripts (sourced, not run): building what they need, the PST-like data,
# timing one row with /usr/bin/time -v and printing the table.
# Env: BUILD (build folder, default <repo>/build-bench), BUILD_TYPE (default Release), WORK (scratch
#      folder, default a new /tmp folder), KEEP=1 keeps WORK, SEED (the data's seed, default 1),
#      MIX=real: the data is the real-file mix (bench/data/realmix.py) instead of the PST-like data.

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-$REPO/build-bench}
SEED=${SEED:-1}
MIX=${MIX:-pst}
case "$MIX" in
pst) DATA_NAME="PST-like data" ;;
real) DATA_NAME="real-file mix" ;;
*) echo "MIX is pst or real, not $MIX" >&2; exit 2 ;;
esac

need_tools() {
    local tool missing=()
    for tool in "$@"; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    if ((${#missing[@]})); then
        echo "missing: ${missing[*]} (Debian packages: zip unzip p7zip-full pigz time)" >&2
        exit 2
    fi
}

# build TARGET... : configures BUILD with the benchmarks on and builds the targets.
build() {
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$REPO" -B "$BUILD" -G Ninja -DQOB_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
        "${launcher[@]}" >/dev/null
    cmake --build "$BUILD" --target "$@" >/dev/null
    QOB="$BUILD/qob"
    GEN="$BUILD/bench/data/qob_bench_pstdata"
}

make_work() { # make_work NAME: WORK, removed at exit unless KEEP is set
    WORK=${WORK:-$(mktemp -d "/tmp/qob$1.XXXXXX")}
    mkdir -p "$WORK"
    [[ -n "${KEEP:-}" ]] || trap 'rm -rf "$WORK"' EXIT
}

# need_space MIB: stops unless WORK's file system has MIB free.
need_space() {
    local free
    free=$(df -Pm "$WORK" | awk 'NR == 2 { print $4 }')
    ((free > $1)) || { echo "need about $1 MiB free in $WORK, have $free" >&2; exit 2; }
}

# make_data FILE SIZE_MIB: SIZE_MIB of the data MIX names, the same bytes for the same SEED.
make_data() {
    if [[ "$MIX" == real ]]; then
        python3 "$REPO/bench/data/realmix.py" "$1" "$2" "$SEED"
    else
        "$GEN" "$1" "$2" "$SEED"
    fi
}

# demo_prefix SIZE_MIB: the demo target system in WORK/prefix whose Outlook.pst is SIZE_MIB of the
# data MIX names; sets PREFIX, DATA (host path of that file), BYTES, QUIRE_HOME (settings.dat's folder).
demo_prefix() {
    export QUIRE_HOME="$WORK/home"
    mkdir -p "$QUIRE_HOME"
    PREFIX="$WORK/prefix"
    "$QOB" demo-prefix "$PREFIX" >/dev/null
    DATA=$(find "$PREFIX/drive_c/users" -path '*AppData/Local/Microsoft/Outlook/Outlook.pst' | head -1)
    make_data "$DATA" "$1"
    BYTES=$(stat -c %s "$DATA")
}

settings() { # settings LINE...: settings.dat for the next runs
    printf '%s\r\n' '[General]' "$@" >"$QUIRE_HOME/settings.dat"
}

# Page cache control: drop_cache FILE... empties the cache of those files when the kernel lets an
# ordinary user do it (posix_fadvise through dd), and tells whether it did.
CACHE_NOTE=""
drop_cache() {
    local f
    for f in "$@"; do
        dd if="$f" iflag=nocache count=0 status=none 2>/dev/null || return 1
        if command -v fincore >/dev/null; then
            [[ $(fincore -n -b -o RES "$f" | tr -d ' ') == 0 ]] || return 1
        fi
    done
}

ROWS=()
# row NAME OUTPUT COMMAND...: runs the command under /usr/bin/time -v and keeps its figures; OUTPUT
# is the file or folder whose size is the row's output, "@FOLDER" for the files written under FOLDER
# during the row, "-" for none. ROW_INPUT, when set, is the
# row's input size in bytes (else the table's). A failing command is reported and its row left out.
row() {
    local name=$1 out=$2
    shift 2
    touch "$WORK/row.stamp"
    if ! /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/err.txt"; then
        echo "$name failed:" >&2
        cat "$WORK/err.txt" "$WORK/time.txt" >&2
        FAILED=1
        return
    fi
    local size=0
    if [[ "$out" == @* ]]; then
        size=$(find "${out#@}" -type f -newer "$WORK/row.stamp" -printf '%s\n' | awk '{ t += $1 } END { printf "%.0f", t }')
    elif [[ "$out" != - ]]; then
        size=$(du -sb --apparent-size "$out" | cut -f1)
    fi
    ROWS+=("$(awk -F': ' -v n="$name" -v s="$size" -v inb="${ROW_INPUT:-0}" '
        /Elapsed \(wall clock\)/ { k = split($2, p, ":"); w = 0; for (i = 1; i <= k; ++i) w = w * 60 + p[i] }
        /User time/ { c += $2 } /System time/ { c += $2 } /Maximum resident/ { r = $2 }
        END { printf "%s\t%.2f\t%.2f\t%.0f\t%.0f\t%.0f", n, w, c, s, r, inb }' "$WORK/time.txt")")
}

# print_table BYTES REFERENCE: the rows, throughput on their input (BYTES unless the row has its
# own), output size and throughput beside the row named REFERENCE.
print_table() {
    printf '%s\n' "${ROWS[@]}" | awk -F'\t' -v bytes="$1" -v ref="$2" '
        {
            n[NR] = $1; w[NR] = $2 > 0 ? $2 : 0.01; c[NR] = $3; s[NR] = $4; r[NR] = $5
            b[NR] = $6 > 0 ? $6 : bytes; mbs[NR] = b[NR] / 1e6 / w[NR]
            if ($1 == ref) { refSpeed = mbs[NR]; refSize = $4 }
        }
        END {
            printf "%-32s %8s %8s %8s %14s %7s %8s %9s %10s\n", "operation", "wall_s", "cpu_s", "MB/s",
                   "output_bytes", "ratio", "size/ref", "speed/ref", "peak_KiB"
            for (i = 1; i <= NR; ++i) {
                size = refSize > 0 ? sprintf("%.3f", s[i] / refSize) : "-"
                speed = refSpeed > 0 ? sprintf("%.2fx", mbs[i] / refSpeed) : "-"
                printf "%-32s %8.2f %8.2f %8.1f %14.0f %6.2f%% %8s %9s %10d\n", n[i], w[i], c[i], mbs[i], s[i],
                       100 * s[i] / b[i], size, speed, r[i]
            }
            printf "(ratio: output/input; size/ref, speed/ref: beside \"%s\", speed above 1x is faster)\n", ref
        }'
}
