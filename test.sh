#!/usr/bin/env bash
# Builds and runs every test: in the release preset, in the debug preset
# (AddressSanitizer and UndefinedBehaviorSanitizer), the gateway's fuzz
# target for 30 seconds (fuzz preset: clang and libFuzzer), and for both
# Windows modules, cross-built and run under Wine.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --workflow --preset release
cmake --workflow --preset debug
cmake --workflow --preset fuzz
cmake --workflow --preset windows64
cmake --workflow --preset windows32
