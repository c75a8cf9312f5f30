#!/bin/sh
# SPDX-License-Identifier: MIT
# check-man.sh PAGE [PROGRAM ARG... [2]]: the page renders without a single
# warning and, with a program, its USAGE TEXT section shows the usage text
# that the program prints for these arguments (on standard error when the
# last word is 2). roff cannot show trailing blanks, so they and empty lines are dropped.
page=$1; shift
command -v groff >/dev/null || { echo "groff is missing (Debian: groff-base)"; exit 77; }
warnings=$(groff -man -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
    echo "$page: groff warns:"; echo "$warnings"; exit 1
fi
[ $# -gt 0 ] || exit 0
stream=1
for last; do :; done
if [ "$last" = 2 ]; then
    stream=2
    set -- $(echo "$@" | sed 's/ 2$//')
fi
tidy() { sed -e 's/[[:space:]]*$//' -e '/^$/d'; }
if [ $stream = 2 ]; then usage=$("$@" 2>&1 >/dev/null | tidy); else usage=$("$@" 2>/dev/null | tidy); fi
section=$(groff -man -Tascii -P-cbou "$page" 2>/dev/null |
    sed -n '/^USAGE TEXT$/,/^[A-Z]/{/^[A-Z]/d;s/^       //;p}' | tidy)
if [ "$usage" != "$section" ]; then
    echo "$page: USAGE TEXT differs from the usage text"
    echo "usage text:"; echo "$usage"
    echo "USAGE TEXT:"; echo "$section"
    exit 1
fi
echo "$page: renders cleanly, USAGE TEXT matches the usage text"
