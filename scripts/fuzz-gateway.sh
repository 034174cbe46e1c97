#!/usr/bin/env bash
# Fuzzes the gateway for SECONDS seconds (default 600) with the fuzz
# preset's build (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer). The corpus grows in
# build/fuzz/tests/fuzz/corpus from the starting inputs in tests/fuzz/corpus;
# a finding is written next to it as crash-*, timeout-* or oom-*, the run
# stops and the script exits non-zero.
# Replay a finding with: build/fuzz/tests/fuzz/gateway_fuzz FILE
# Further arguments go to the fuzzer (for instance -jobs=2 -workers=2).
#
#   scripts/fuzz-gateway.sh [SECONDS] [FUZZER OPTION ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift $(( $# > 0 ? 1 : 0 ))
scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
dir=build/fuzz/tests/fuzz
mkdir -p "$dir/corpus"
exec "$dir/gateway_fuzz" -max_len=1024 -timeout=10 -artifact_prefix="$dir/" \
  -max_total_time="$seconds" -print_final_stats=1 "$@" "$dir/corpus" tests/fuzz/corpus
