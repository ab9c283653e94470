#!/usr/bin/env bash
# quarn-props as three separate processes: register, show, unregister; then show refuses.
set -u
props=$1
samples=$2
export QUARN_REGISTRY=$(mktemp -u /tmp/quarn-cli-registry-XXXXXX)
trap 'rm -f "$QUARN_REGISTRY"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

"$props" register >/dev/null || fail "register"
out=$("$props" show "$samples/raster-gen3.qg3" "$samples/lidar-gen4.qrn") || fail "show: $out"
echo "$out"
printf '%s\t0x00000000\tQG3 Raster\t\n' "$samples/raster-gen3.qg3" | cmp -s - <(echo "$out" | head -n 1) \
    || fail "first line: $(echo "$out" | head -n 1 | od -c | head -n 3)"
echo "$out" | sed -n 2p | grep -q $'\t0x00000000\tQG4 LiDAR\t$' || fail "second line"

bad=$(mktemp /tmp/quarn-bad-XXXXXX.qrn)
printf 'qrnd\007\000\000\000\000\000\000\000\000\000\000\000' > "$bad"
out=$("$props" show "$bad"); status=$?
rm -f "$bad"
[ $status -eq 1 ] || fail "a failed Initialize exits 1 (got $status)"
echo "$out" | grep -q $'\t0x80004005\tQG7 LiDAR\t$' || fail "version 7: $out"

"$props" show /nonexistent/file.qrn 2>/dev/null; [ $? -eq 2 ] || fail "missing file exits 2"
"$props" show "$samples/../README.md" 2>/dev/null; [ $? -eq 2 ] || fail "unregistered extension exits 2"
"$props" bogus 2>/dev/null; [ $? -eq 2 ] || fail "usage error exits 2"

"$props" unregister >/dev/null || fail "unregister"
err=$("$props" show "$samples/raster-gen3.qg3" 2>&1 >/dev/null); status=$?
[ $status -eq 2 ] || fail "show after unregister exits 2 (got $status)"
echo "$err" | grep -q "no property handler is registered for .qg3" || fail "message: $err"

"$props" register --user >/dev/null || fail "register --user"
"$props" show "$samples/raster-gen4.qg4" | grep -q $'\tQG4 Raster\t' || fail "show per user"
"$props" unregister --user >/dev/null || fail "unregister --user"
echo "1 passed, 0 failed"
