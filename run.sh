#!/usr/bin/env bash
# Builds the handler (Release, into build/), registers it with its property schema, and shows
# the properties of the files given, or of samples/ when none are given.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARN_TESTS=OFF >/dev/null
cmake --build build

props=build/tools/quarn-props
"$props" register
if [ $# -eq 0 ]; then
    set -- samples/*
fi
"$props" show "$@"
