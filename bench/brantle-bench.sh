#!/bin/sh
# Times brantle against basenc --base16 -w0 and xxd -p -c0 on one random
# file, with the output to /dev/null and to a pipe, in the same run, and
# prints the ratios (another program's time over brantle's: above 1 means
# brantle is faster). Each time is the best of three runs, from a warm cache.
#
#   bench/brantle-bench.sh [MIB]     the file size, 256 MiB unless given
#
# Goal: at least 1.5 times as fast as basenc to /dev/null, and no slower
# than basenc to a pipe. basenc prints upper case: only speed is compared
# with it; the output is checked against xxd's.
set -eu
cd "$(dirname "$0")/.."
mib=${1:-256}
cmake --preset host >/dev/null
cmake --build --preset host -j2 --target brantle >/dev/null
brantle=$PWD/build/host/dumptool/brantle
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
file=$scratch/random
head -c $((mib * 1048576)) /dev/urandom >"$file"

# the same bytes as the reference (xxd ends with a newline, brantle does not)
want=$(xxd -p -c0 "$file" | tr -d '\n' | md5sum)
got=$("$brantle" "$file" 2147483647 | md5sum)
[ "$want" = "$got" ] || { echo "brantle's output differs from xxd -p -c0"; exit 1; }

now_ns() { date +%s%N; }
best_ms() {  # best_ms SINK COMMAND...: the best of three wall times in ms
    sink=$1; shift
    best=
    for _ in 1 2 3; do
        start=$(now_ns)
        if [ "$sink" = null ]; then "$@" >/dev/null; else "$@" | cat >/dev/null; fi
        t=$((($(now_ns) - start) / 1000000))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}

cat "$file" >/dev/null
b_null=$(best_ms null "$brantle" "$file" 2147483647)
s_null=$(best_ms null basenc --base16 -w0 "$file")
x_null=$(best_ms null xxd -p -c0 "$file")
b_pipe=$(best_ms pipe "$brantle" "$file" 2147483647)
s_pipe=$(best_ms pipe basenc --base16 -w0 "$file")
x_pipe=$(best_ms pipe xxd -p -c0 "$file")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo "$mib MiB of random bytes, best of 3 runs, milliseconds"
printf '%-22s %10s %10s\n' "" "/dev/null" "pipe"
printf '%-22s %10s %10s\n' "brantle" "$b_null" "$b_pipe"
printf '%-22s %10s %10s\n' "basenc --base16 -w0" "$s_null" "$s_pipe"
printf '%-22s %10s %10s\n' "xxd -p -c0" "$x_null" "$x_pipe"
printf '%-22s %9sx %9sx   (goal: 1.5x and 1.0x)\n' "basenc / brantle" "$(ratio "$s_null" "$b_null")" "$(ratio "$s_pipe" "$b_pipe")"
printf '%-22s %9sx %9sx\n' "xxd / brantle" "$(ratio "$x_null" "$b_null")" "$(ratio "$x_pipe" "$b_pipe")"
