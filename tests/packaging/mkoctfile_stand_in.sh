#!/bin/sh
# Stands in for mkoctfile where the Octave package's Makefile is run with a
# compiler for which no Octave exists (a cross compiler):
#   STAND_IN_CXX=aarch64-linux-gnu-g++ STAND_IN_LOG=commands.txt \
#     make MKOCTFILE=/path/mkoctfile_stand_in.sh core
# "-p CXX" names the compiler, which is this script again as "cxx"; every
# other call compiles position-independent code with the CXXFLAGS of the
# environment first, as mkoctfile does, and appends the compiler's command
# line to STAND_IN_LOG.
# With STAND_IN_NO_OPENMP set the compiler refuses -fopenmp, as Apple's
# clang does.
set -e
case "$1" in
  -p)
    [ "$2" = CXX ] && echo "$0 cxx"
    exit 0 ;;
  cxx)
    shift
    if [ -n "$STAND_IN_NO_OPENMP" ]; then
      for argument in "$@"; do
        if [ "$argument" = -fopenmp ]; then
          echo "stand-in compiler: unsupported option '-fopenmp'" >&2
          exit 1
        fi
      done
    fi
    exec $STAND_IN_CXX "$@" ;;
esac
# shellcheck disable=SC2086 # CXXFLAGS holds several flags
echo -fPIC $CXXFLAGS "$@" >> "$STAND_IN_LOG"
exec "$0" cxx -fPIC $CXXFLAGS "$@"
