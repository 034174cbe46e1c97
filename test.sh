#!/usr/bin/env bash
# Builds and runs every test: in the release preset, in the debug preset
# (AddressSanitizer and UndefinedBehaviorSanitizer), the gateway's fuzz
# target for 30 seconds (fuzz preset: clang and libFuzzer), for both Windows
# modules, cross-built and run under Wine (the 32-bit programs only where
# the machine can execute 32-bit code), and for 64-bit ARM Linux, where
# the core tests and the MATLAB module's scenarios run under qemu. Last, the
# release archive is built and checked: its entries, and in it the very
# files the release and Windows builds above made and tested. (A step here
# rather than a CTest test: the archive spans three build trees, all of
# which exist only once their workflows have run.)
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --workflow --preset release
cmake --workflow --preset debug
cmake --workflow --preset fuzz
cmake --workflow --preset windows64
cmake --workflow --preset windows32
cmake --workflow --preset arm64
scripts/make-release.sh
manifests=()
for preset in release windows64 windows32; do manifests+=("$PWD/build/$preset/dist_files.txt"); done
cmake -DSOURCE_DIR="$PWD" -DARCHIVE="$PWD/dist/spectrogrid-$(cat VERSION).zip" \
      -DMANIFESTS="$(IFS=';'; echo "${manifests[*]}")" -P tests/packaging/check_release.cmake
# What this machine could not run, and why (the tests concerned show as
# skipped above; everything else ran).
if [ -f build/windows32/not_run.txt ]; then
  echo "test.sh: not run on this machine: the 32-bit Windows programs (core tests and host scenarios of the windows32 build): $(cat build/windows32/not_run.txt)"
fi
