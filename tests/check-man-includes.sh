#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# check-man-includes.sh BUILD_DIR: installs the library of a build into a
# scratch folder, and compiles each #include of the SYNOPSIS of every section 3
# page installed there on its own, as C89, against the headers installed with
# it; so a header that moves cannot leave a page behind.
set -u
build=$1
cc=${CC:-cc}
command -v "$cc" >/dev/null || { echo "$cc is missing"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/root" --component library >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; echo "the install failed"; exit 1; }
header=$(find "$scratch/root" -path '*/boardutil/boardutil.h' | head -n 1)
[ -n "$header" ] || { echo "the install holds no boardutil/boardutil.h"; exit 1; }
pages=$(find "$scratch/root" -name '*.3.gz' -type f | sort)
[ -n "$pages" ] || { echo "the install holds no section 3 page"; exit 1; }

failed=0
for page in $pages; do
    name=${page##*/}
    includes=$(gzip -dc "$page" | sed -n '/^\.SH SYNOPSIS/,/^\.SH/s/^\.B #include \(<[^>]*>\).*/\1/p')
    [ -n "$includes" ] || { echo "$name: its SYNOPSIS includes nothing"; failed=1; }
    for include in $includes; do
        printf '#include %s\nint main(void) { return 0; }\n' "$include" >"$scratch/caller.c"
        if "$cc" -std=c89 -pedantic -Werror -fsyntax-only -I"${header%/boardutil/boardutil.h}" \
                "$scratch/caller.c" 2>"$scratch/errors"; then
            echo "$name: $include compiles"
        else
            echo "$name: $include does not compile:"; cat "$scratch/errors"; failed=1
        fi
    done
done
exit $failed
