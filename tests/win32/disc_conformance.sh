#!/usr/bin/env bash
# Disc images of both builds: the Linux qob and qob.exe under Wine make the image of the same files
# with the same options, and the two images must be the same bytes (SOURCE_DATE_EPOCH fixes the
# volume's time, TZ its zone). Then qob.exe's disc commands as a Windows user meets them: each
# build reads the other's image back, a changed file is named, and a recorder without Windows' disc
# recording (Wine has no IMAPI2) is refused with "Devices Cannot be initialized!" and the reason.
# Usage: disc_conformance.sh LINUX_QOB WINDOWS_QOB_EXE. Exit 77 (skipped) without the Linux program.
set -euo pipefail
linux_qob=$1
windows_qob=$2
if [ ! -x "$linux_qob" ] || ! command -v wine >/dev/null; then
    echo "skipped: needs $linux_qob (make build) and wine"
    exit 77
fi
work=$(mktemp -d /tmp/qob-disc-conformance-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC QUIRE_HOME=$work/home
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
mkdir -p "$work/home"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
win() { wine "$windows_qob" "$@" 2>&1 | tr -d '\r'; }
winpath() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# The files: a backup-sized file with every byte value (Ctrl-Z included), an empty file, a deep
# folder, a long name, several files whose inode order is not their name order.
src=$work/Outlook
mkdir -p "$src/a/b/c/d" "$src/Signatures"
head -c 3000000 /dev/urandom >"$src/Outlook.qob"
: >"$src/empty.dat"
echo deep >"$src/a/b/c/d/deep.txt"
echo note >"$src/$(printf 'n%.0s' {1..120}).txt"
for n in 9 3 7 1; do echo "signature $n" >"$src/Signatures/sig$n.htm"; done
# Reading a file may move its access time forward, which Rock Ridge records: set it once, later
# than the change time and than now, so neither build's reading moves it (relatime).
find "$src" -exec touch -m -d '2024-01-02 03:04:05' {} + -exec touch -a -d '2030-06-07 08:09:10' {} +

# options | the files given
cases=(
    "|$src"
    "--volume-id BACKUP_2024|$src"
    "|$src/Outlook.qob"
    "|$src/Signatures $src/empty.dat"
)
i=0
for row in "${cases[@]}"; do
    IFS='|' read -r options files <<<"$row"
    i=$((i + 1))
    winfiles=()
    for f in $files; do winfiles+=("$(winpath "$f")"); done
    # shellcheck disable=SC2086
    "$linux_qob" disc image $options "$work/l$i.iso" $files >/dev/null || fail "case $i: the Linux image failed"
    # shellcheck disable=SC2086
    win disc image $options "$(winpath "$work/w$i.iso")" "${winfiles[@]}" >/dev/null || fail "case $i: qob.exe disc image failed"
    cmp -s "$work/l$i.iso" "$work/w$i.iso" || fail "case $i ($options $files): the two images differ"
done

# Each reads the other's image back.
"$linux_qob" disc verify --drive "stdio:$work/w1.iso" "$src" >/dev/null || fail "Linux qob does not verify qob.exe's image"
win disc verify --drive "stdio:$(winpath "$work/l1.iso")" "$(winpath "$src")" >/dev/null ||
    fail "qob.exe does not verify the Linux image"
out=$(win disc image --verify "$(winpath "$work/v.iso")" "$(winpath "$src")") || fail "qob.exe disc image --verify failed: $out"
[[ $out == *"verified: 8 of 8 files match"* ]] || fail "qob.exe disc image --verify said: $out"
echo DEEP >"$src/a/b/c/d/deep.txt" # same size: the bytes must be compared
if out=$(win disc verify --drive "stdio:$(winpath "$work/v.iso")" "$(winpath "$src")"); then
    fail "qob.exe disc verify passed a changed file"
fi
[[ $out == *"deep.txt"*"the contents differ"* ]] || fail "qob.exe disc verify did not name the changed file: $out"

# The drives, and the recorders without IMAPI2: refused, never pretended.
out=$(win disc drives) || fail "qob.exe disc drives failed: $out"
[[ $out == *"stdio:PATH"*"Image File (.iso)"* ]] || fail "qob.exe disc drives did not list the image file: $out"
[[ $out == *"no recorder can be used"*"IMAPI2"* ]] || fail "qob.exe disc drives did not say why no recorder: $out"
for command in "write --drive D:\\ $(winpath "$src/empty.dat")" "erase --drive D:\\"; do
    # shellcheck disable=SC2086
    if out=$(win disc $command); then
        fail "qob.exe disc $command succeeded without a recorder"
    fi
    [[ $out == *"Devices Cannot be initialized!"*"IMAPI2"* ]] || fail "qob.exe disc $command said: $out"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "disc conformance: ${#cases[@]} images alike, read back both ways, recorders refused"
