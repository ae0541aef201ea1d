#!/bin/bash
# Times the backup of one large PST-like data file against the usual zip tools, in one run, and then
# checks that 7-Zip accepts every archive written and UnZip every unprotected one.
# Usage: bench/backup/run.sh [size in MiB, default 1024]
# Env: see bench/common.sh (BUILD, BUILD_TYPE, WORK, KEEP, SEED, MIX=real for the real-file mix).
set -euo pipefail
SIZE_MIB=${1:-1024}
source "$(dirname "$0")/../common.sh"
need_tools zip unzip 7z pigz /usr/bin/time
make_work backup
need_space $((SIZE_MIB * 8))
build qob qob_bench_pstdata qob_bench_archive
ARC="$BUILD/bench/backup/qob_bench_archive"
PASSWORD='Bench-Pässwort-2024'
printf '%s\n' "$PASSWORD" >"$WORK/password.txt"

demo_prefix "$SIZE_MIB"
echo "data: $BYTES bytes of $DATA_NAME (seed $SEED) in $WORK; $(nproc) processors; data read from the page cache"
warm() { cat "$DATA" >/dev/null; }
backup() { # backup NAME FILE [--password-file F]
    local name=$1 out=$2
    shift 2
    warm
    row "$name" "$out" "$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$@" "$out"
}

# The whole backup of the profile's data files as a user runs it (three files, this one large), with
# and without the read-back check of "checkbackupfile" and a password.
settings 'checkbackupfile=0'
backup "qob backup -6" "$WORK/plain.qob"
backup "qob backup -6 AES-256" "$WORK/aes.qob" --password-file "$WORK/password.txt"
settings 'checkbackupfile=1'
backup "qob backup -6 + check" "$WORK/plain-check.qob"
backup "qob backup -6 AES-256 + check" "$WORK/aes-check.qob" --password-file "$WORK/password.txt"
warm
row "qob archive writer alone -6" "$WORK/writer.qob" "$ARC" "$WORK/writer.qob" 6 - "$DATA"
warm
row "zip -6" "$WORK/zip6.zip" zip -q -6 -j "$WORK/zip6.zip" "$DATA"
warm
row "pigz -6 -p 2" "$WORK/pigz.gz" sh -c 'pigz -6 -p 2 -c "$1" >"$2"' sh "$DATA" "$WORK/pigz.gz"
warm
row "7z a -tzip -mx=5" "$WORK/7z.zip" 7z a -tzip -mx=5 "$WORK/7z.zip" "$DATA"
# What the disk itself takes: the same bytes from the page cache, written and flushed.
warm
row "dd conv=fsync (the disk)" "$WORK/dd.bin" dd if="$DATA" of="$WORK/dd.bin" bs=1M conv=fsync status=none
rm -f "$WORK/dd.bin"
print_table "$BYTES" "zip -6"

echo "archive checks:"
check() { # check NAME COMMAND...
    if "${@:2}" >/dev/null 2>&1; then echo "  OK   $1"; else echo "  FAIL $1"; FAILED=1; fi
}
for f in plain plain-check writer; do
    check "7z t $f.qob" 7z t "$WORK/$f.qob"
    check "unzip -t $f.qob" unzip -tq "$WORK/$f.qob"
done
for f in aes aes-check; do
    check "7z t $f.qob (password)" 7z t "-p$PASSWORD" "$WORK/$f.qob"
done
check "7z t 7z.zip" 7z t "$WORK/7z.zip"
check "gzip -t pigz.gz" gzip -t "$WORK/pigz.gz"
check "unzip -t zip6.zip" unzip -tq "$WORK/zip6.zip"
exit "${FAILED:-0}"
