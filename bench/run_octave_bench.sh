#!/usr/bin/env bash
# Runs bench/octave_bench.m on the module in dist/spectrogrid (or the folder
# given as the first argument). A user comparing against BLAS would use an
# optimised one: when Debian's libopenblas0-pthread is installed, Octave
# loads it here for this run only (the system's default BLAS is left as it
# is); BLAS=reference keeps the default.
set -euo pipefail
cd "$(dirname "$0")/.."
module_dir=${1:-$PWD/dist/spectrogrid}
openblas=/usr/lib/x86_64-linux-gnu/openblas-pthread
if [ "${BLAS:-openblas}" != reference ] && [ -e "$openblas/libblas.so.3" ]; then
  export LD_LIBRARY_PATH="$openblas${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
fi
exec octave-cli --no-gui --norc --eval "addpath('$PWD/bench'); octave_bench('$module_dir')"
