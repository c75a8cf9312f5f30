#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# Times brantle against its floor (bench/brantle-floor.cpp: the same reads,
# the same count of bytes written, nothing encoded), basenc --base16 -w0 and
# xxd -p -c0 on one random file, with the output to /dev/null and to a pipe,
# all in the same run, from a warm cache. In each of ROUNDS rounds brantle,
# the floor and basenc run once to each sink; the table shows each one's best
# time, and a ratio is the median of the rounds' ratios, so that a busy
# moment of the machine, which falls on one run, moves it little.
#
#   bench/brantle-bench.sh [MIB [ROUNDS]]     256 MiB and 9 rounds unless given
#
# Goals: at least 2.5 times as fast as basenc to /dev/null, and within 1.15
# times the floor to a pipe. Exit status 0 when both are met. basenc prints
# upper case: only speed is compared with it; the output is checked against
# xxd's. Where build/armhf holds the board build and qemu-arm is installed,
# it also prints, for information, brantle's speed under qemu-arm against the
# per-byte loop that defines its output (bench/brantle-per-byte.c), on 16 MiB;
# and the same under qemu-aarch64 where build/ports/aarch64 holds the aarch64
# build (scripts/check-ports aarch64). An emulator's figure says nothing of a
# real core's speed: it is a sanity check of the vector copy only.
set -eu
cd "$(dirname "$0")/.."
mib=${1:-256}
rounds=${2:-9}
cmake --preset host >/dev/null
cmake --build --preset host -j2 --target brantle >/dev/null
brantle=$PWD/build/host/dumptool/brantle
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
g++ -std=c++17 -O2 bench/brantle-floor.cpp -o "$scratch/floor"
file=$scratch/random
head -c $((mib * 1048576)) /dev/urandom >"$file"

# the same bytes as the reference (xxd ends with a newline, brantle does not)
want=$(xxd -p -c0 "$file" | tr -d '\n' | md5sum)
got=$("$brantle" "$file" 2147483647 | md5sum)
[ "$want" = "$got" ] || { echo "brantle's output differs from xxd -p -c0"; exit 1; }

now_ns() { date +%s%N; }
run_ms() {  # run_ms SINK COMMAND...: one wall time in ms
    sink=$1; shift
    start=$(now_ns)
    if [ "$sink" = null ]; then "$@" >/dev/null; else "$@" | cat >/dev/null; fi
    echo $((($(now_ns) - start) / 1000000))
}
times=$scratch/times
: >"$times"
cat "$file" >/dev/null
for round in $(seq "$rounds"); do
    for sink in null pipe; do
        # brantle and its floor run back to back, each first in every other
        # round, so that neither follows basenc more often than the other
        if [ $((round % 2)) = 0 ]; then order="brantle floor basenc"; else order="floor brantle basenc"; fi
        for who in $order; do
            case $who in
            brantle) ms=$(run_ms $sink "$brantle" "$file" 2147483647) ;;
            floor) ms=$(run_ms $sink "$scratch/floor" "$file") ;;
            basenc) ms=$(run_ms $sink basenc --base16 -w0 "$file") ;;
            esac
            echo "$round $sink $who $ms" >>"$times"
        done
    done
done
# xxd is an order slower: one run each
x_null=$(run_ms null xxd -p -c0 "$file")
x_pipe=$(run_ms pipe xxd -p -c0 "$file")

best() {  # best WHO SINK
    awk -v w="$1" -v s="$2" '$2 == s && $3 == w && (b == "" || $4 < b) { b = $4 } END { print b }' "$times"
}
median_ratio() {  # median_ratio A B SINK: the median over the rounds of A's time / B's
    awk -v a="$1" -v b="$2" -v s="$3" '$2 == s && $3 == a { ta[$1] = $4 } $2 == s && $3 == b { tb[$1] = $4 }
        END { for (r in ta) if (tb[r] > 0) print ta[r] / tb[r] }' "$times" |
        sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.2f", m }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo "$mib MiB of random bytes, $rounds rounds: best times in milliseconds, ratios the median of the rounds'"
printf '%-26s %10s %10s\n' "" "/dev/null" "pipe"
printf '%-26s %10s %10s\n' "brantle" "$(best brantle null)" "$(best brantle pipe)"
printf '%-26s %10s %10s\n' "floor (no encoding)" "$(best floor null)" "$(best floor pipe)"
printf '%-26s %10s %10s\n' "basenc --base16 -w0" "$(best basenc null)" "$(best basenc pipe)"
printf '%-26s %10s %10s\n' "xxd -p -c0 (one run)" "$x_null" "$x_pipe"
basenc_null=$(median_ratio basenc brantle null)
floor_pipe=$(median_ratio brantle floor pipe)
printf '%-26s %9sx %9sx   (goal: at least 2.5x to /dev/null)\n' "basenc / brantle" "$basenc_null" \
    "$(median_ratio basenc brantle pipe)"
printf '%-26s %9sx %9sx   (goal: at most 1.15x to a pipe)\n' "brantle / floor" \
    "$(median_ratio brantle floor null)" "$floor_pipe"
printf '%-26s %9sx %9sx\n' "xxd / brantle" "$(ratio "$x_null" "$(best brantle null)")" \
    "$(ratio "$x_pipe" "$(best brantle pipe)")"

arm=build/armhf/dumptool/brantle
if [ -x "$arm" ] && command -v qemu-arm >/dev/null && command -v arm-linux-musleabihf-gcc >/dev/null; then
    arm-linux-musleabihf-gcc -O2 -static bench/brantle-per-byte.c -o "$scratch/per-byte"
    head -c 16777216 "$file" >"$scratch/small"
    a=$(run_ms null qemu-arm "$arm" "$scratch/small" 2147483647)
    p=$(run_ms null qemu-arm "$scratch/per-byte" "$scratch/small")
    echo
    echo "armhf under qemu-arm, 16 MiB to /dev/null, for information: brantle $a ms, the per-byte loop $p ms," \
         "$(ratio "$p" "$a")x"
fi

a64=build/ports/aarch64/dumptool/brantle
if [ -x "$a64" ] && command -v qemu-aarch64 >/dev/null && command -v aarch64-linux-gnu-gcc >/dev/null; then
    aarch64-linux-gnu-gcc -O2 -static bench/brantle-per-byte.c -o "$scratch/per-byte-a64"
    head -c 16777216 "$file" >"$scratch/small"
    a=$(run_ms null qemu-aarch64 -L /usr/aarch64-linux-gnu "$a64" "$scratch/small" 2147483647)
    p=$(run_ms null qemu-aarch64 "$scratch/per-byte-a64" "$scratch/small")
    echo
    echo "aarch64 under qemu-aarch64, 16 MiB to /dev/null, for information: brantle $a ms, the per-byte loop $p ms," \
         "$(ratio "$p" "$a")x"
fi

echo
if awk -v b="$basenc_null" -v f="$floor_pipe" 'BEGIN { exit !(b >= 2.5 && f <= 1.15) }'; then
    echo "within the goals"
else
    echo "OUTSIDE THE GOALS"
    exit 1
fi
