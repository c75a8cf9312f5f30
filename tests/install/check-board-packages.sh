#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# check-board-packages.sh BUILD_DIR: makes the Debian packages of the board
# build, checks that each program in boardtools carries the release and that
# its plain-text pages are plain, then unpacks libboardutil-dev and builds the
# C89 caller against each copy of the library, through that copy's
# pkg-config file: with Debian's cross compiler on glibc, run under qemu-arm
# with glibc's loader, and static on musl, as a board program is.
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
for tool in cpack dpkg-deb pkg-config qemu-arm arm-linux-gnueabihf-gcc arm-linux-musleabihf-gcc; do
    command -v $tool >/dev/null || { echo "$tool is missing"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G "DEB;TGZ" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack failed"; }
tools=$(ls "$scratch"/out/boardtools_*_armhf.deb) && dev=$(ls "$scratch"/out/libboardutil-dev_*_armhf.deb) ||
    fail "cpack did not make boardtools and libboardutil-dev"
version=$(dpkg-deb -f "$dev" Version)
# the tarballs go where no package does: the license goes with them
for tarball in boardtools-$version-armhf.tar.gz boardtools-$version-armhf-debug.tar.gz; do
    tar -tzf "$scratch/out/$tarball" | grep -q '/usr/share/doc/boardtools/copyright$' ||
        fail "$tarball holds no copyright file"
done
if command -v lintian >/dev/null; then
    # an override's justification is the comment right above it, nothing else
    said=$(lintian -I --show-overrides "$tools" "$dev" 2>&1)
    ! echo "$said" | grep -e '^[EW]: ' || fail "lintian warns"
    ! echo "$said" | grep -i '^N: .*SPDX' || fail "lintian reads a license line as an override's justification"
fi

dpkg-deb -x "$tools" "$scratch/tools"
for p in "$scratch"/tools/usr/bin/*; do
    grep -qa "boardtools $version" "$p" || fail "${p##*/} does not carry 'boardtools $version'"
done
[ -f "$scratch/tools/usr/share/doc/boardtools/memtwig.txt" ] || fail "boardtools holds no plain-text pages"
! grep -lP '[\x00-\x08\x0b-\x1f\x7f]' "$scratch"/tools/usr/share/doc/boardtools/*.txt ||
    fail "these plain-text pages hold control characters"

root=$scratch/dev
dpkg-deb -x "$dev" "$root"
# caller LIBC TRIPLET CC CFLAGS EMULATOR...: builds the caller against the copy in TRIPLET, runs it
caller() {
    libc=$1 triplet=$2 cc=$3 cflags=$4; shift 4
    flags=$(PKG_CONFIG_LIBDIR=$root/usr/lib/$triplet/pkgconfig pkg-config --cflags --libs boardutil) ||
        fail "no pkg-config file for the $libc copy"
    echo "== $libc: $cc $cflags -std=c89 -pedantic -Wall -Wextra -Werror use_boardutil.c $flags"
    # shellcheck disable=SC2086
    $cc $cflags -std=c89 -pedantic -Wall -Wextra -Werror "$here/use_boardutil.c" $flags -o "$scratch/$libc" ||
        fail "the C89 caller does not build against the $libc copy"
    out=$("$@" "$scratch/$libc" "$scratch")
    echo "$out"
    [ "$out" = "boardutil $version works from C" ] || fail "the caller on the $libc copy fails"
}
caller glibc arm-linux-gnueabihf arm-linux-gnueabihf-gcc "" qemu-arm -L /usr/arm-linux-gnueabihf
caller musl arm-linux-musleabihf arm-linux-musleabihf-gcc -static qemu-arm
