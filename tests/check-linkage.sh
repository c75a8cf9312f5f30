#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# check-linkage.sh host|static PROGRAM: a host program may need only the C
# library (and libm); a board program must be a static 32-bit ARM executable
# on the board's C library, musl, with a build-id.
mode=$1 program=$2
headers=$(readelf -h -d -l -n "$program") || exit 1
needed=$(printf '%s\n' "$headers" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
case $mode in
host)
    extra=$(printf '%s\n' "$needed" | grep -v -x -e 'libc\.so\.6' -e 'libm\.so\.6' -e '')
    if [ -n "$extra" ]; then
        echo "$program needs more than the C library:" $extra
        exit 1
    fi ;;
static)
    if [ -n "$needed" ] || printf '%s\n' "$headers" | grep -q 'INTERP'; then
        echo "$program is linked dynamically:" $needed
        exit 1
    fi
    printf '%s\n' "$headers" | grep -q 'Class:.*ELF32' || { echo "$program is not 32-bit"; exit 1; }
    printf '%s\n' "$headers" | grep -q 'Machine:.*ARM' || { echo "$program is not for ARM"; exit 1; }
    # what matches a core dump from the board to the program's symbols
    printf '%s\n' "$headers" | grep -q 'Build ID:' || { echo "$program carries no build-id"; exit 1; }
    # glibc's start files carry this note; musl's do not
    if printf '%s\n' "$headers" | grep -q 'NT_GNU_ABI_TAG'; then
        echo "$program is linked against glibc, not musl"
        exit 1
    fi
    ;;
*)
    echo "usage: check-linkage.sh host|static PROGRAM"
    exit 2 ;;
esac
echo "$program: linkage ok (${needed:-static, musl})"
