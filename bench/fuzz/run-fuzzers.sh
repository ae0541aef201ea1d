#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for the given number of seconds, one
# after the other, starting from the corpus kept in the tree. New inputs go to <build>/corpus/,
# findings to <build>/artifacts/; the tree is not changed. Prints the executions of each harness.
#
# usage: run-fuzzers.sh <build folder> <seconds per harness>
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-fuzz}
seconds=${2:-60}
harnesses=(wine_registry registry_text info_file backup_file paths)

# clang and libFuzzer are only needed here, so they are installed on first use rather than by
# scripts/bootstrap.sh.
need=()
command -v clang++-14 >/dev/null || need+=(clang-14)
[ -e /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a ] ||
    ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    need+=(libclang-rt-14-dev)
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "fuzz: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq "${need[@]}"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOB_WERROR=OFF -DCMAKE_C_COMPILER=clang-14 \
    -DCMAKE_CXX_COMPILER=clang++-14 -DQOB_BUILD_BENCH=ON -DQOB_BUILD_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target $(printf 'fuzz_%s ' "${harnesses[@]}")

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0

summary=()
status=0
for h in "${harnesses[@]}"; do
    work="$build/corpus/$h"
    mkdir -p "$work" "$build/artifacts" "$build/logs"
    log="$build/logs/$h.log"
    echo "fuzz: $h for ${seconds}s"
    rc=0
    # The backup-file harness runs without LeakSanitizer: libzip leaks on damaged encrypted entries,
    # and the leak check libFuzzer makes after each such input (and the slow unwinder its
    # suppression needs) costs ten times the executions. Its corpus is replayed with leak checking
    # by `make test-sanitize`.
    leaks=1
    [ "$h" != backup_file ] || leaks=0
    ASAN_OPTIONS=detect_leaks=$leaks \
    "$build/bench/fuzz/fuzz_$h" "$work" "bench/fuzz/corpus/$h" -max_total_time="$seconds" -timeout=5 \
        -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$h-" >"$log" 2>&1 || rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ "$rc" -ne 0 ]; then
        status=1
        summary+=("$h: FAILED after ${runs:-?} executions (exit $rc), see $log and $build/artifacts/")
    else
        summary+=("$h: ${runs:-?} executions in ${seconds}s")
    fi
done
printf '%s\n' "${summary[@]}"
exit $status
