#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# size-budget.sh [ARMHF_BUILD [HOST_BUILD]]: the stripped size of each static
# board program next to the C library's floor (a static C program that only
# calls printf, built against the board's musl the same way, through
# arm-linux-musleabihf-gcc), and the NEEDED entries of each host program.
# Goal: every board program within 1.3 times the floor and the six together
# under 128 KiB; no host program needs more than libc and libm. Without
# arguments the builds are build/armhf and build/host; with ARMHF_BUILD alone
# the host programs are not looked at.
set -eu
armhf=${1:-build/armhf}
host=${2:-}
[ $# -eq 0 ] && host=build/host
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

printf '#include <stdio.h>\nint main(void) { printf("%%d\\n", 1); return 0; }\n' > "$scratch/floor.c"
arm-linux-musleabihf-gcc -O2 -static "$scratch/floor.c" -o "$scratch/floor"
arm-linux-gnueabihf-strip "$scratch/floor"
floor=$(stat -c %s "$scratch/floor")
limit_total=$((128 * 1024))

# the programs are what each build installs in bin/
cmake --install "$armhf" --prefix "$scratch/armhf" >/dev/null
[ -z "$host" ] || cmake --install "$host" --prefix "$scratch/host" >/dev/null

over=0 total=0
printf '%-10s %10s %10s %7s\n' program stripped floor ratio
for p in "$scratch"/armhf/bin/*; do
    name=$(basename "$p")
    arm-linux-gnueabihf-strip -o "$scratch/$name" "$p"
    size=$(stat -c %s "$scratch/$name")
    total=$((total + size))
    ratio=$(awk -v s="$size" -v f="$floor" 'BEGIN { printf "%.3f", s / f }')
    awk -v r="$ratio" 'BEGIN { exit !(r > 1.3) }' && over=1
    printf '%-10s %10d %10d %7s\n' "$name" "$size" "$floor" "$ratio"
done
printf '%-10s %10d %10s %7s   (goal: under %d)\n' total "$total" "" "" "$limit_total"
[ "$total" -lt "$limit_total" ] || over=1
if [ -n "$host" ]; then
    echo
    printf '%-10s %s\n' program NEEDED
    for p in "$scratch"/host/bin/*; do
        name=$(basename "$p")
        needed=$(readelf -d "$p" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
        printf '%-10s %s\n' "$name" "$needed"
        echo "$needed" | tr ' ' '\n' | grep -v -x -e 'libc\.so\.6' -e 'libm\.so\.6' -e '' >/dev/null && over=1
    done
fi
echo
if [ "$over" = 0 ]; then echo "within the budget"; else echo "OVER THE BUDGET"; exit 1; fi
