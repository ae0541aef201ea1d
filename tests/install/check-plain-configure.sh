#!/bin/sh
# A packager's first step, `cmake -S . -B b -DCMAKE_BUILD_TYPE=Release`, with none of our options:
# warnings must not be errors there (another compiler, or a newer one, warns of new things), while
# our own builds (the Makefile, CI) turn them into errors. Configures only; CI's build with the
# same flags and -DQOB_WERROR=ON proves that the build itself is clean.
# Usage: check-plain-configure.sh SOURCE_FOLDER
set -eu
src="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
if ! cmake -S "$src" -B "$scratch" -DCMAKE_BUILD_TYPE=Release >"$scratch.log" 2>&1; then
    cat "$scratch.log"
    rm -f "$scratch.log"
    echo "FAIL: the plain configure failed"
    exit 1
fi
rm -f "$scratch.log"
status=0
grep -qx 'QOB_WERROR:BOOL=OFF' "$scratch/CMakeCache.txt" || { echo "FAIL: QOB_WERROR is not off by default"; status=1; }
if grep -q -- '-Werror' "$scratch/compile_commands.json"; then
    echo "FAIL: a plain build compiles with -Werror"
    status=1
fi
grep -q -- '-O3' "$scratch/compile_commands.json" || { echo "FAIL: not the packager's -O3"; status=1; }
exit $status
