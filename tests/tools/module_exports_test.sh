#!/usr/bin/env bash
# The module exports exactly its seven entry points.
set -u
module=$1
expected="DllCanUnloadNow
DllGetClassObject
DllInstall
DllRegisterServer
DllUnregisterServer
InstallPropertySchema
UninstallPropertySchema"
actual=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TtDdBbRrVvWwiu]$/ {print $3}' | sed 's/@.*//' | sort)
if [ "$actual" != "$expected" ]; then
    echo "FAILED: exported symbols differ:"; diff <(echo "$expected") <(echo "$actual"); exit 1
fi
[ -f "$(dirname "$module")/QuarnShellExtensionVista.propdesc" ] || { echo "FAILED: no propdesc beside the module"; exit 1; }
echo "1 passed, 0 failed"
