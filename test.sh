#!/usr/bin/env bash
# Builds and runs every test: in the release preset, in the debug preset
# (AddressSanitizer and UndefinedBehaviorSanitizer), for both Windows
# modules, cross-built and run under Wine, and for 64-bit ARM Linux, where
# the core tests and the MATLAB module's scenarios run under qemu.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --workflow --preset release
cmake --workflow --preset debug
cmake --workflow --preset windows64
cmake --workflow --preset windows32
cmake --workflow --preset arm64
