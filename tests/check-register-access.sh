#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# memtwig's register accesses as the board build compiled them, read off its
# disassembly: a read loads the byte once; a whole-byte write stores once and
# never loads; a bit write loads once and stores once.
#   check-register-access.sh OBJDUMP PROGRAM
objdump=$1 program=$2
listing=$("$objdump" -d -C --no-show-raw-insn "$program") || exit 1

count() {  # count FUNCTION MNEMONIC: its instructions that begin so
    printf '%s\n' "$listing" | awk -v f="::$1(" -v m="^$2" '
        /^[0-9a-f]+ </ { inside = index($0, f) > 0 }
        inside && $2 ~ m { n++ }
        END { print n + 0 }'
}

status=0
check() {  # check FUNCTION LOADS STORES
    loads=$(count "$1" ldrb) stores=$(count "$1" strb)
    echo "$1: $loads ldrb, $stores strb (expected $2 and $3)"
    [ "$loads" = "$2" ] && [ "$stores" = "$3" ] || status=1
}
check register_read 1 0
check register_write 0 1
check register_write_bit 1 1
[ $status = 0 ] || printf '%s\n' "$listing" | awk '/^[0-9a-f]+ <.*::register_/ { p = 1 } p && /^$/ { p = 0 } p'
exit $status
