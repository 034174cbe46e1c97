#!/usr/bin/env bash
# Builds the release archive dist/spectrogrid-<version>.zip, the version
# read from the file VERSION. It holds the folder spectrogrid/ (the help
# file, Contents.m, spectrogridplot.m and the four modules), README.md,
# LICENSE and CHANGELOG.md.
#
# The modules come from the presets that build them, brought up to date
# first: release (Linux: MATLAB and Octave)
# and windows64, windows32. The archive takes from dist/spectrogrid/ exactly
# the files those builds list in build/<preset>/dist_files.txt, so nothing
# left over in the folder from an older build is packed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
version=$(cat VERSION)
presets=(release windows64 windows32)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target spectrogrid_dist
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/spectrogrid"
for preset in "${presets[@]}"; do
  while read -r _ file; do
    cp "dist/spectrogrid/$(basename "$file")" "$stage/spectrogrid/"
  done < "build/$preset/dist_files.txt"
done
cp README.md LICENSE CHANGELOG.md "$stage/"

archive="$PWD/dist/spectrogrid-$version.zip"
rm -f "$archive"
# -X: no owner or extra time fields; entries in a fixed order.
(cd "$stage" && LC_ALL=C zip -q -X "$archive" spectrogrid/ spectrogrid/* README.md LICENSE CHANGELOG.md)
echo "$archive"
