#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan
# (integer, shift and bounds checks included, every report fatal), runs each
# for a fixed number of executions from its seed corpus, and prints the
# executions, the time and the findings of each.
#
#   fuzz/run-fuzz.sh [RUNS]      RUNS per target, 1000000 unless given
#
# Needs Debian's clang and libclang-rt-14-dev. The two cores are shared: the
# settings target, which clears its 4 MiB table on every load, runs on one
# while the others run one after another on the second. New inputs and any
# crash files go to build/fuzz; the committed corpus is never written.
# Exit status 0 only when every target ran its executions without a finding.
set -u
runs=${1:-1000000}
cd "$(dirname "$0")/.."
out=build/fuzz
rm -rf "$out"
mkdir -p "$out"

cc=${CC_FUZZ:-clang}
cxx=${CXX_FUZZ:-clang++}
# the library's headers as a caller includes them, <boardutil/...>
mkdir "$out/include"
ln -s ../../../dumptool/lib "$out/include/boardutil"
flags="-O1 -g -D_FILE_OFFSET_BITS=64 -Wall -Wextra -Werror -fno-sanitize-recover=all -fno-omit-frame-pointer
  -I$out/include -Icommon"
checks=address,undefined,integer,bounds
# the library is C: its objects get libFuzzer's coverage, the targets its main
lib=
for source in board_number settings_store setting_line radix; do
    # shellcheck disable=SC2086
    $cc -std=c99 -D_POSIX_C_SOURCE=200809L $flags -fsanitize=fuzzer-no-link,$checks -c "dumptool/lib/$source.c" -o "$out/$source.o" ||
        { echo "== $source: the build failed"; exit 1; }
    lib="$lib $out/$source.o"
done
targets="settings setting_line radix bcd_float scan_hex"

for t in $targets; do
    # shellcheck disable=SC2086
    $cxx -std=c++17 -fno-exceptions -fno-rtti $flags -fsanitize=fuzzer,$checks "fuzz/${t}_fuzz.cpp" $lib -o "$out/$t" ||
        { echo "== $t: the build failed"; exit 1; }
done

fuzz_one() {  # fuzz_one TARGET: runs it, leaves its log in build/fuzz
    t=$1
    mkdir -p "$out/$t.corpus"
    start=$(date +%s)
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$out/$t" -runs="$runs" -max_len=6000 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/$t-" "$out/$t.corpus" "fuzz/corpus/$t" >"$out/$t.log" 2>&1
    echo $? >"$out/$t.status"
    echo $(($(date +%s) - start)) >"$out/$t.seconds"
}

echo "== fuzzing $targets, $runs executions each"
fuzz_one settings &
for t in $targets; do
    [ "$t" = settings ] || fuzz_one "$t"
done
wait

failed=0
for t in $targets; do
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$t.log" | tail -n 1)
    findings=$(find "$out" -maxdepth 1 -name "$t-*" | wc -l)
    status=$(cat "$out/$t.status")
    printf '%-13s %10s executions in %5s s, %s findings (exit %s)\n' \
        "$t" "${executed:-0}" "$(cat "$out/$t.seconds")" "$findings" "$status"
    if [ "$status" != 0 ] || [ "$findings" != 0 ] || [ "${executed:-0}" -lt "$runs" ]; then
        failed=1
        grep -m 5 -E 'ERROR|runtime error|check failed' "$out/$t.log"
    fi
done
[ "$failed" = 0 ] && echo "no findings" || echo "findings or failed runs: see $out"
exit "$failed"
