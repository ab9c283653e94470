#!/usr/bin/env bash
# Builds the handler (preset release: Release, into build/), registers it with its property
# schema, and shows the properties of the files given, or of samples/ when none are given.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

props=build/tools/quarn-props
"$props" register
if [ $# -eq 0 ]; then
    set -- samples/*
fi
"$props" show "$@"
