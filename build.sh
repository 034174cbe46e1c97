#!/usr/bin/env bash
# Builds every module in the release preset, puts dist/spectrogrid/ together
# (the folder users add to their MATLAB or Octave path), then runs the demo
# in Octave: a spectrogram of a test signal, written as a PNG image whose
# path it prints.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
octave-cli --no-window-system --quiet --norc --no-history --eval \
  "addpath('$PWD/dist/spectrogrid'); addpath('$PWD/demo'); spectrogrid_demo('$PWD/build/release/spectrogrid_demo.png');"
