#!/usr/bin/env bash
# Builds the GNU Octave package dist/spectrogrid-<version>.tar.gz, the
# version read from the file VERSION, which users install with Octave's
# "pkg install". The release preset writes it from the build's own lists of
# the core's and the gateway's sources and their flags
# (gateway/octave-package), after bringing what it packs up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target spectrogrid_octave_package
echo "$PWD/dist/spectrogrid-$(cat VERSION).tar.gz"
