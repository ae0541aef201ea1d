#!/bin/bash
# Times `qob restore` of a backup holding one large PST-like data file against UnZip and 7-Zip
# extracting the same archive. The restore makes its files durable (fsync), so the yardsticks fsync
# what they wrote too. Before each row the archive's pages are dropped from the page cache when an
# ordinary user may (posix_fadvise); otherwise every row reads it warm, and the table says which.
# Then the same with a password, and qob verify of both. The last row is the disk's own rate (dd with conv=fsync of the same bytes), what bounds a restore.
# Usage: bench/restore/run.sh [size in MiB, default 1024]
# Env: see bench/common.sh (BUILD, BUILD_TYPE, WORK, KEEP, SEED, MIX=real for the real-file mix).
set -euo pipefail
SIZE_MIB=${1:-1024}
source "$(dirname "$0")/../common.sh"
need_tools unzip 7z /usr/bin/time
make_work restore
need_space $((SIZE_MIB * 6))
build qob qob_bench_pstdata

demo_prefix "$SIZE_MIB"
settings 'checkbackupfile=0'
BACKUP="$WORK/big.qob"
"$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 "$BACKUP" >/dev/null
# The same protected: reading it back should cost little more than the plain one.
SEALED="$WORK/sealed.qob"
printf '%s\n' 'Bench-Pässwort-2024' >"$WORK/password.txt"
"$QOB" --prefix "$PREFIX" backup --profile Outlook --items 100000000 --password-file "$WORK/password.txt" \
    "$SEALED" >/dev/null
OUT="$WORK/x"

cold() {
    if drop_cache "$BACKUP" "$SEALED"; then
        CACHE_NOTE="archive dropped from the page cache before each row"
    else
        cat "$BACKUP" "$SEALED" >/dev/null
        CACHE_NOTE="archive read from the page cache in every row (dropping it is not allowed here)"
    fi
}
sync_tree() { find "$1" -type f -exec sync {} +; }
export -f sync_tree

cold
# Into the "Second" profile: the data files are written beside the ones there, under new names.
row "qob restore" "@$PREFIX/drive_c" "$QOB" --prefix "$PREFIX" restore "$BACKUP" --profile Second --items 100000000
cold
row "qob restore (password)" "@$PREFIX/drive_c" "$QOB" --prefix "$PREFIX" restore "$SEALED" --profile Second \
    --items 100000000 --password-file "$WORK/password.txt"
cold
row "qob verify" - "$QOB" verify "$BACKUP"
cold
row "qob verify (password)" - "$QOB" verify --password-file "$WORK/password.txt" "$SEALED"
rm -rf "$OUT" && mkdir -p "$OUT" && cold
row "unzip -o + sync" "$OUT" bash -c 'unzip -o -q "$1" -d "$2" && sync_tree "$2"' bash "$BACKUP" "$OUT"
rm -rf "$OUT" && mkdir -p "$OUT" && cold
row "7z x + sync" "$OUT" bash -c '7z x -y -o"$2" "$1" >/dev/null && sync_tree "$2"' bash "$BACKUP" "$OUT"
rm -rf "$OUT"
# What the disk itself takes: the same bytes from the page cache, written and flushed.
cat "$DATA" >/dev/null
row "dd conv=fsync (the disk)" "$WORK/dd.bin" dd if="$DATA" of="$WORK/dd.bin" bs=1M conv=fsync status=none
rm -f "$WORK/dd.bin"
echo "data: $BYTES bytes of $DATA_NAME (seed $SEED), archive $(stat -c %s "$BACKUP") bytes; $(nproc) processors"
echo "$CACHE_NOTE"
print_table "$BYTES" "unzip -o + sync"
exit "${FAILED:-0}"
