#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# check-man.sh PAGE [PROGRAM ARG... [2]]: the page renders without a single
# warning and, with a program, its USAGE TEXT section shows the usage text
# that the program prints for these arguments (on standard error when the
# last word is 2), byte for byte. roff drops blanks at a line's end, so the
# section ends each line with a $, as cat -e does.
page=$1; shift
command -v groff >/dev/null || { echo "groff is missing (Debian: groff-base)"; exit 77; }
# and as the build renders its plain-text copy
warnings=$(groff -man -ww -z "$page" 2>&1; groff -man -Tascii -rHY=0 -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
    echo "$page: groff warns:"; echo "$warnings"; exit 1
fi
# Exact output and commands are set in bold: each bold text with a blank,
# and each bold text with its italic placeholders, must stand whole, on one
# line and with its own spacing, in the plain-text copy as the build renders
# it. roff may break or stretch a line at an ordinary blank, not at an
# unbreakable one ("\ ").
exact=$(awk '
function plain(s) {
    gsub(/\001/, " ", s); gsub(/\\~/, " ", s); gsub(/\\-/, "-", s); gsub(/\\\(ha/, "^", s)
    gsub(/\\\(dq/, "\"", s); gsub(/\\\(em/, "--", s); gsub(/\\\(mu/, "x", s); gsub(/\\[&%]/, "", s)
    gsub(/\\e/, "\\", s); gsub(/\\h\047[^\047]*\047/, "", s); sub(/ +$/, "", s)
    return s
}
function show(s) { s = plain(s); if (s ~ / /) print s }
{ gsub(/\\ /, "\001") }
/^\.(B|BI|BR|IB|RB) / {
    macro = $1; rest = substr($0, length(macro) + 2); n = 0
    while (rest != "") {
        sub(/^[ \t]+/, "", rest)
        if (rest == "") break
        if (substr(rest, 1, 1) == "\"") {
            end = index(substr(rest, 2), "\""); if (end == 0) end = length(rest)
            arg[++n] = substr(rest, 2, end - 1); rest = substr(rest, end + 2)
        } else {
            end = match(rest, /[ \t]/); if (end == 0) end = length(rest) + 1
            arg[++n] = substr(rest, 1, end - 1); rest = substr(rest, end)
        }
    }
    if (macro == ".B") { all = arg[1]; for (i = 2; i <= n; i++) all = all " " arg[i]; show(all) }
    # exact output with its placeholders (a refusal line and its reason), or
    # an option with its argument: one text
    else if (macro == ".BI" || macro == ".IB") { all = ""; for (i = 1; i <= n; i++) all = all arg[i]; show(all) }
    else for (i = (macro ~ /^\.B/ ? 1 : 2); i <= n; i += 2) show(arg[i])
    next
}
{
    line = $0
    while ((start = index(line, "\\fB")) > 0) {
        line = substr(line, start + 3)
        end = match(line, /\\f[RPI]/); if (end == 0) end = length(line) + 1
        show(substr(line, 1, end - 1)); line = substr(line, end)
    }
}' "$page")
text=$(groff -man -Tascii -P-cbou -rHY=0 "$page" 2>/dev/null)
broken=$(printf '%s\n' "$exact" | while IFS= read -r s; do
    [ -z "$s" ] || printf '%s\n' "$text" | grep -qF -- "$s" || printf '  %s\n' "$s"
done)
if [ -n "$broken" ]; then
    echo "$page: the plain-text copy breaks or stretches exact output:"; echo "$broken"; exit 1
fi
[ $# -gt 0 ] || exit 0
stream=1
for last; do :; done
if [ "$last" = 2 ]; then
    stream=2
    set -- $(echo "$@" | sed 's/ 2$//')
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ $stream = 2 ]; then "$@" 2>"$scratch/usage" >/dev/null; else "$@" >"$scratch/usage" 2>/dev/null; fi
# the lines after the section's first paragraph, their indent and $ taken off
groff -man -Tascii -P-cbou "$page" 2>/dev/null |
    sed -n '/^USAGE TEXT$/,/^[A-Z]/{/^[A-Z]/d;p}' | sed '1,/^$/d;/^$/d;s/^       //;s/\$$//' >"$scratch/section"
if ! cmp -s "$scratch/usage" "$scratch/section"; then
    echo "$page: USAGE TEXT differs from the usage text, line ends marked with \$:"
    echo "usage text:"; sed 's/$/$/' "$scratch/usage"
    echo "USAGE TEXT:"; sed 's/$/$/' "$scratch/section"
    exit 1
fi
echo "$page: renders cleanly, USAGE TEXT matches the usage text byte for byte"
