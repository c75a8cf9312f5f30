#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# Times two builds of brantle against each other on one random file, with the
# output to /dev/null and to a pipe, all in the same run, from a warm cache.
# In each of ROUNDS rounds both run once to each sink, each first in every
# other round; the table shows each one's best time, and the ratio is the
# median of the rounds' ratios, so that a busy moment of the machine moves it
# little.
#
#   bench/brantle-compare.sh OLD NEW [MIB [ROUNDS]]    256 MiB and 15 rounds unless given
#
# For example, the host build against one of an earlier commit:
#   git worktree add /tmp/brantle-old COMMIT
#   (cd /tmp/brantle-old && cmake --preset host && cmake --build --preset host --target brantle)
#   bench/brantle-compare.sh /tmp/brantle-old/build/host/dumptool/brantle build/host/dumptool/brantle
#
# Goal: NEW within 3 % of OLD to both sinks. Exit status 0 when it is met.
set -eu
[ $# -ge 2 ] || { echo "usage: $0 OLD NEW [MIB [ROUNDS]]"; exit 2; }
old=$1
new=$2
mib=${3:-256}
rounds=${4:-15}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
file=$scratch/random
head -c $((mib * 1048576)) /dev/urandom >"$file"
[ "$("$old" "$file" 2147483647 | md5sum)" = "$("$new" "$file" 2147483647 | md5sum)" ] ||
    { echo "the two print different bytes"; exit 1; }

now_ns() { date +%s%N; }
run_ms() {  # run_ms SINK PROGRAM: one wall time in ms
    start=$(now_ns)
    if [ "$1" = null ]; then "$2" "$file" 2147483647 >/dev/null; else "$2" "$file" 2147483647 | cat >/dev/null; fi
    echo $((($(now_ns) - start) / 1000000))
}
times=$scratch/times
: >"$times"
cat "$file" >/dev/null
for round in $(seq "$rounds"); do
    for sink in null pipe; do
        if [ $((round % 2)) = 0 ]; then order="old new"; else order="new old"; fi
        for who in $order; do
            if [ $who = old ]; then program=$old; else program=$new; fi
            echo "$round $sink $who $(run_ms $sink "$program")" >>"$times"
        done
    done
done

best() {  # best WHO SINK
    awk -v w="$1" -v s="$2" '$2 == s && $3 == w && (b == "" || $4 < b) { b = $4 } END { print b }' "$times"
}
median_ratio() {  # median_ratio SINK: the median over the rounds of new's time / old's
    awk -v s="$1" '$2 == s && $3 == "new" { tn[$1] = $4 } $2 == s && $3 == "old" { to[$1] = $4 }
        END { for (r in tn) if (to[r] > 0) print tn[r] / to[r] }' "$times" |
        sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m }'
}
echo "$mib MiB of random bytes, $rounds rounds: best times in milliseconds, ratios the median of the rounds'"
printf '%-12s %10s %10s\n' "" "/dev/null" "pipe"
printf '%-12s %10s %10s   %s\n' "old" "$(best old null)" "$(best old pipe)" "$old"
printf '%-12s %10s %10s   %s\n' "new" "$(best new null)" "$(best new pipe)" "$new"
r_null=$(median_ratio null)
r_pipe=$(median_ratio pipe)
printf '%-12s %9sx %9sx   (goal: at most 1.03x)\n' "new / old" "$r_null" "$r_pipe"
if awk -v a="$r_null" -v b="$r_pipe" 'BEGIN { exit !(a <= 1.03 && b <= 1.03) }'; then
    echo "within the goal"
else
    echo "OUTSIDE THE GOAL"
    exit 1
fi
