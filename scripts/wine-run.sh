#!/usr/bin/env bash
# Runs a Windows program under a quiet Wine with a prefix of its own under
# the build tree (one per architecture), made on first use.
# Usage: wine-run.sh program.exe [arguments...]
#
# Each program is started through the loader of its own width, never
# through Debian's /usr/bin/wine, which always starts the 32-bit loader when
# 32-bit Wine is installed: a 64-bit program then fails on a machine that
# cannot execute 32-bit code. The 32-bit loader can be named in
# SPECTROGRID_WINE32_LOADER (the build's probe of 32-bit execution reads
# the same variable).
set -euo pipefail
program=$1
shift
case "$(file -b "$program")" in
  *PE32+*) arch=win64 loader=/usr/lib/wine/wine64 ;;
  *) arch=win32 loader=${SPECTROGRID_WINE32_LOADER:-/usr/lib/wine/wine} ;;
esac
build_dir=$(cd "$(dirname "$program")" && pwd)
while [ "$build_dir" != / ] && [ ! -f "$build_dir/CMakeCache.txt" ]; do build_dir=$(dirname "$build_dir"); done
[ "$build_dir" = / ] && build_dir=$(cd "$(dirname "$program")" && pwd)
export WINEPREFIX="$build_dir/wine-$arch"
export WINEARCH=$arch
export WINELOADER=$loader
# The server is a 64-bit program whatever the prefix.
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$loader" wineboot --init >/dev/null 2>&1 || true
  "$WINESERVER" -w
fi
exec "$loader" "$program" "$@"
