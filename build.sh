#!/usr/bin/env bash
# Builds every module (Linux in the release preset, Windows in the two
# cross-build presets), puts dist/spectrogrid/ together (the folder users
# add to their MATLAB or Octave path) and the release archive
# dist/spectrogrid-<version>.zip, then runs the demo in Octave: spectrograms
# of a real test signal, of a complex (I/Q) one, and of a musical one with a
# constant-Q window for each frequency beside one window for all, written as
# PNG images whose paths it prints.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
# The Windows modules, cross-built with MinGW-w64 into the same folder, and
# the archive.
scripts/make-release.sh
octave-cli --no-window-system --quiet --norc --no-history --eval \
  "addpath('$PWD/dist/spectrogrid'); addpath('$PWD/demo'); spectrogrid_demo('$PWD/build/release/spectrogrid_demo.png');"
