#!/usr/bin/env bash
# Runs a Windows program under a quiet Wine with a prefix of its own under
# the build tree (one per architecture), made on first use.
# Usage: wine-run.sh program.exe [arguments...]
set -euo pipefail
program=$1
shift
case "$(file -b "$program")" in
  *PE32+*) arch=win64 ;;
  *) arch=win32 ;;
esac
build_dir=$(cd "$(dirname "$program")" && pwd)
while [ "$build_dir" != / ] && [ ! -f "$build_dir/CMakeCache.txt" ]; do build_dir=$(dirname "$build_dir"); done
[ "$build_dir" = / ] && build_dir=$(cd "$(dirname "$program")" && pwd)
export WINEPREFIX="$build_dir/wine-$arch"
export WINEARCH=$arch
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi
exec wine "$program" "$@"
