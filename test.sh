#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (preset asan, into
# build-asan/) and runs every test with ctest. The sanitizer options are the preset's; any given
# in ASAN_OPTIONS or UBSAN_OPTIONS override them.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j "${CTEST_PARALLEL_LEVEL:-$(nproc)}"
