#!/bin/sh
# SPDX-License-Identifier: MIT WITH fmt-exception
# check-install.sh BUILD_DIR CC "EMULATOR" "CFLAGS" LIBDIR [SYSTEM_NAME]:
# installs the build into a scratch prefix, then builds a C89 program against
# the copy of the library in LIBDIR (under the prefix) twice, through
# pkg-config and through find_package, each with the C compiler only, and
# runs it. SYSTEM_NAME, for a cross build, is the system that CC builds for.
set -eu
build=$1 cc=$2 emulator=$3 cflags=$4 libdir=$5 system=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
command -v pkg-config >/dev/null || { echo "pkg-config is missing (Debian: pkg-config)"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/boardutil/boardutil.h include/boardutil/settings_store.h include/boardutil/setting_line.h \
         include/boardutil/radix.h include/boardutil/fs_query.h; do
    [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
pc_dir=$prefix/$libdir/pkgconfig
[ -f "$pc_dir/boardutil.pc" ] || { echo "no pkg-config file installed in $libdir"; exit 1; }
config_dir=$prefix/$libdir/cmake/boardutil
[ -f "$config_dir/boardutilConfig.cmake" ] || { echo "no CMake package installed in $libdir"; exit 1; }

echo "== pkg-config"
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs boardutil)
echo "pkg-config --cflags --libs boardutil: $flags"
# shellcheck disable=SC2086
$cc -std=c89 -pedantic -Wall -Wextra -Werror $cflags "$here/use_boardutil.c" $flags -o "$scratch/by-pkg-config"
$emulator "$scratch/by-pkg-config" "$scratch"

echo "== find_package"
set -- -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="-std=c89 -pedantic -Wall -Wextra -Werror $cflags" \
       -Dboardutil_DIR="$config_dir"
[ -n "$system" ] && set -- "$@" -DCMAKE_SYSTEM_NAME="$system"
cmake -S "$here/consumer" -B "$scratch/consumer" "$@" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
$emulator "$scratch/consumer/use_boardutil" "$scratch"
