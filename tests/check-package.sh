#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# check-package.sh BUILD_DIR: builds the Debian package of a host build,
# checks what it holds and says (and what lintian says, where it is
# installed), unpacks it into a scratch root, runs each program from there,
# and builds and runs a small C program against the library in it, found
# through pkg-config.
set -u
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package: $*"; exit 1; }

for tool in cpack dpkg-deb pkg-config cc; do
    command -v $tool >/dev/null || { echo "$tool is missing"; exit 77; }
done
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(ls "$scratch"/out/*.deb)
# the library's folder as the build names it: lib/TRIPLET where it was
# configured for the prefix /usr on Debian
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")

info=$(dpkg-deb --info "$deb")
arch=$(dpkg --print-architecture)
for field in "Package: boardtools" "Architecture: $arch" "Version: " "Maintainer: " "Description: "; do
    echo "$info" | grep -q "^ $field" || fail "the control file lacks '$field'"
done
contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for path in usr/bin/sorbelt usr/bin/brantle usr/bin/loopcheck usr/bin/lineecho usr/bin/carvolt \
            usr/bin/memtwig usr/share/man/man1/sorbelt.1.gz usr/share/man/man3/boardutil_fs.3.gz \
            usr/${libdir:-lib}/libboardutil.a usr/include/boardutil/boardutil.h usr/${libdir:-lib}/pkgconfig/boardutil.pc \
            usr/${libdir:-lib}/cmake/boardutil/boardutilConfig.cmake usr/share/doc/boardtools/copyright \
            usr/share/doc/boardtools/memtwig.txt; do
    echo "$contents" | grep -qx "\./$path" || fail "$path is missing from the package"
done
lintian_missing=
if command -v lintian >/dev/null; then
    errors=$(lintian "$deb" 2>/dev/null | grep '^E:')
    [ -z "$errors" ] || fail "lintian reports errors:
$errors"
else
    lintian_missing=1
fi

root=$scratch/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
"$bin/sorbelt" a b 2>"$scratch/err"; [ $? = 1 ] && grep -q '^sorbelt option$' "$scratch/err" ||
    fail "sorbelt from the package does not print its usage"
printf '\000\177\377' >"$scratch/three"
[ "$("$bin/brantle" "$scratch/three" 10)" = 007fff ] || fail "brantle from the package dumps wrongly"
"$bin/carvolt" >"$scratch/out.txt"; [ $? = 1 ] && grep -q '^build 2015/06/29$' "$scratch/out.txt" ||
    fail "carvolt from the package does not print its usage"
"$bin/memtwig" >"$scratch/out.txt"; [ $? = 255 ] && grep -q '^command error $' "$scratch/out.txt" ||
    fail "memtwig from the package does not print its usage"
# the serial programs open the board's fixed line at once: they are only checked to be there
[ -x "$bin/loopcheck" ] && [ -x "$bin/lineecho" ] || fail "the serial programs are not executable"

cat >"$scratch/use.c" <<'CODE'
#include <boardutil/boardutil.h>
#include <stdio.h>
int main(void) {
    char out[RADIX_TEXT_SIZE];
    if (radix_convert(16, "FF", 10, out) != 0) return 1;
    printf("%s %s\n", out, fs_base_name("/a/b/c.txt"));
    return 0;
}
CODE
export PKG_CONFIG_PATH="$root/usr/${libdir:-lib}/pkgconfig"
# shellcheck disable=SC2046
cc -o "$scratch/use" "$scratch/use.c" $(pkg-config --cflags --libs boardutil) ||
    fail "a C program does not build against the packaged library"
[ "$("$scratch/use")" = "255 c.txt" ] || fail "the C program built against the package gives the wrong result"
echo "package: $(basename "$deb") holds the suite, runs from an unpacked root, and builds a C program"
if [ -n "$lintian_missing" ]; then
    echo "lintian is missing (Debian: lintian): the package was not checked with it"
    exit 77
fi
