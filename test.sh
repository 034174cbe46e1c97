#!/usr/bin/env bash
# Builds and runs every test, in the release preset and in the debug preset
# (AddressSanitizer and UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake --workflow --preset release
cmake --workflow --preset debug
