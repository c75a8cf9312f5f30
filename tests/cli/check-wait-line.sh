#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# check-wait-line.sh SORBELT EMULATOR...: while another process holds the
# store's lock, sorbelt's waiting line reaches standard error in one write or
# writev, on the C library the program is built on; two runs that wait on one
# store and log to one file then never mix their lines. EMULATOR must take
# qemu's -d strace and -D.
sorbelt=$1; shift
command -v flock >/dev/null || { echo "flock is missing (Debian: util-linux)"; exit 77; }
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
# longer than a small stdio buffer, which musl's unbuffered stderr formats into
store=$dir/a-page-store-whose-path-is-longer-than-a-small-stdio-buffer
mkdir "$store"
flock "$store" sleep 3 &
tries=0
while flock -n "$store" true; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || { echo "flock never took the store's lock"; exit 1; }
    sleep 0.05
done
"$@" -d strace -D "$dir/trace" "$sorbelt" "$store" >/dev/null 2>"$dir/err"
wait
expected="sorbelt: $store is in use by another process; waiting"
calls=$(grep -cE '^[0-9]+ writev?\(2,' "$dir/trace")
if [ "$(cat "$dir/err")" != "$expected" ] || [ "$calls" != 1 ]; then
    echo "expected the line \"$expected\" in one call; standard error got, in $calls calls:"
    cat "$dir/err"
    exit 1
fi
echo "the waiting line went out in one call"
