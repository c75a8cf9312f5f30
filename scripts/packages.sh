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
# as root; a package for armhf (NAME:armhf) brings that architecture and its
# package lists too. It waits for apt's lock, which apt's daily timers hold
# for the first minutes after a boot. Returns 1, having said why, when it
# could not: not root, or apt-get failed.
install_missing() {
    want=$(missing "$@")
    lists=
    case " $* " in
    *:armhf\ *) dpkg --print-foreign-architectures 2>/dev/null | grep -qx armhf || lists=armhf ;;
    esac
    [ -z "$want$lists" ] && return 0
    [ "$(id -u)" = 0 ] || { echo "== installing $want${lists:+and the armhf package lists }needs root"; return 1; }
    echo "== installing: $want${lists:+(and the armhf package lists)}"
    export DEBIAN_FRONTEND=noninteractive
    { [ -z "$lists" ] || dpkg --add-architecture armhf; } || { echo "== installing failed: dpkg --add-architecture armhf"; return 1; }
    log=$(mktemp)
    wait_lock="-o DPkg::Lock::Timeout=${APT_LOCK_TIMEOUT:-600}"
    # a mirror caught mid-sync fails one index of many: the install goes on
    # with the lists that did come, and fails itself if they lack a package
    apt-get $wait_lock update -q >"$log" 2>&1 ||
        echo "== apt-get update failed in part; installing from the lists it has: $(grep '^[EW]:' "$log" | head -n 1)"
    if [ -z "$want" ] || apt-get $wait_lock install -y -q $want >"$log" 2>&1; then
        rm -f "$log"
        return 0
    fi
    # apt's own reason: a lock still held, a package it cannot find, the network
    reason=$(grep '^E:' "$log" | head -n 3)
    echo "== installing failed: ${reason:-$(tail -n 1 "$log")}"
    rm -f "$log"
    return 1
}
