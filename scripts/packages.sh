# SPDX-License-Identifier: MIT WITH fmt-exception
# What scripts/demo and scripts/test-all share, sourced by both: which Debian
# packages this machine lacks, and installing them when run as root.

# missing PACKAGE...: prints those of the packages that are not installed,
# each followed by a blank.
missing() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s ' "$p"
    done
}

# install_missing PACKAGE...: installs what is missing of the packages, run
# as root (or with sudo); a package for armhf (NAME:armhf) brings that
# architecture and its package lists too. Returns 1 when it could not: not
# root, or apt-get failed.
install_missing() {
    want=$(missing "$@")
    lists=
    case " $* " in
    *:armhf\ *) dpkg --print-foreign-architectures 2>/dev/null | grep -qx armhf || lists=armhf ;;
    esac
    [ -z "$want$lists" ] && return 0
    [ "$(id -u)" = 0 ] || return 1
    echo "== installing: $want${lists:+(and the armhf package lists)}"
    export DEBIAN_FRONTEND=noninteractive
    { [ -z "$lists" ] || dpkg --add-architecture armhf; } || { echo "== installing failed"; return 1; }
    # a mirror caught mid-sync fails one index of many: the install goes on
    # with the lists that did come, and fails itself if they lack a package
    apt-get update -q >/dev/null || echo "== apt-get update failed in part; installing from the lists it has"
    { [ -z "$want" ] || apt-get install -y -q $want >/dev/null; } && return 0
    echo "== installing failed"
    return 1
}
