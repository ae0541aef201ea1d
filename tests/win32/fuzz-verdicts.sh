#!/usr/bin/env bash
# One fuzz corpus replayed by the Windows build under Wine: every input passes (no crash, no broken
# property), and each input's verdicts are those of the Linux build's replay of the same corpus.
# Usage: fuzz-verdicts.sh LINUX_REPLAY WINDOWS_REPLAY_EXE CORPUS. Without the Linux replay (make
# build) the Windows replay still runs alone and the comparison is skipped (said on the output).
set -euo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR
linux=$1
windows=$2
corpus=$3
work=$(mktemp -d /tmp/qob-fuzz-verdicts-XXXXXX)
trap 'rm -rf "$work"' EXIT
# Wine's Z: drive is the Unix root: the Windows name needs no Wine process of its own (winepath
# failed at times while other tests started and stopped the same prefix's server).
corpus_abs=$(realpath "$corpus")
corpus_w="Z:${corpus_abs//\//\\}"
# Wine ends lines with CR LF.
if ! wine "$windows" --verdicts "$corpus_w" >"$work/windows.raw" 2>"$work/windows.err"; then
    echo "FAIL: the Windows replay did not finish"
    tail -5 "$work/windows.raw" "$work/windows.err"
    exit 1
fi
tr -d '\r' <"$work/windows.raw" >"$work/windows.txt"
inputs=$(grep -c ': ' "$work/windows.txt" || true)
if [ ! -x "$linux" ]; then
    echo "$inputs inputs replayed on Windows; no comparison: needs $linux (make build)"
    exit 0
fi
"$linux" --verdicts "$corpus" >"$work/linux.txt"
if ! diff "$work/linux.txt" "$work/windows.txt" >"$work/diff.txt"; then
    echo "FAIL: verdicts differ (< Linux, > Windows)"
    head -40 "$work/diff.txt"
    exit 1
fi
echo "$inputs inputs: the same verdicts on Linux and Windows"
