#!/usr/bin/env bash
# quarn-props as three separate processes: register, show, unregister; then show refuses.
set -u
props=$1
samples=$2
export QUARN_REGISTRY=$(mktemp -u /tmp/quarn-cli-registry-XXXXXX)
trap 'rm -f "$QUARN_REGISTRY"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

"$props" register >/dev/null || fail "register"
out=$("$props" show "$samples/raster-gen3-lossless.qg3" "$samples/raster-gen4-lossy.qg4" \
      "$samples/raster-gen2.qg2" "$samples/lidar-lossless.qrn" "$samples/lidar-lossy-rgb-time.qg4" \
      "$samples/lidar-no-count.qrn" "$samples/raster-gen4-two-images.qg4") || fail "show: $out"
echo "$out"
expect_line() {
    echo "$out" | sed -n "$1p" | grep -q -P "^\Q$2\E\t0x00000000\t$3\t$4\$" || fail "line $1: $(echo "$out" | sed -n "$1p")"
}
expect_line 1 "$samples/raster-gen3-lossless.qg3" "QG3 Raster" "Lossless"
expect_line 2 "$samples/raster-gen4-lossy.qg4" "QG4 Raster" "13:1"
expect_line 3 "$samples/raster-gen2.qg2" "QG2 Raster" "10:1"
expect_line 4 "$samples/lidar-lossless.qrn" "QG4 LiDAR" "Lossless"
expect_line 5 "$samples/lidar-lossy-rgb-time.qg4" "QG4 LiDAR" "15:1"
expect_line 6 "$samples/lidar-no-count.qrn" "QG4 LiDAR" ""
expect_line 7 "$samples/raster-gen4-two-images.qg4" "QG4 Raster" "2:1"

bad=$(mktemp /tmp/quarn-bad-XXXXXX.qrn)
printf 'qrnd\007\000\000\000\000\000\000\000\000\000\000\000' > "$bad"
out=$("$props" show "$bad"); status=$?
rm -f "$bad"
[ $status -eq 1 ] || fail "a failed Initialize exits 1 (got $status)"
echo "$out" | grep -q $'\t0x80004005\tQG7 LiDAR\t$' || fail "version 7: $out"

"$props" show /nonexistent/file.qrn 2>/dev/null; [ $? -eq 2 ] || fail "missing file exits 2"
"$props" show "$samples/../README.md" 2>/dev/null; [ $? -eq 2 ] || fail "unregistered extension exits 2"
"$props" bogus 2>/dev/null; [ $? -eq 2 ] || fail "usage error exits 2"

# What is not a regular file is refused at once: a FIFO without a writer, a folder, a device.
odd=$(mktemp -d /tmp/quarn-odd-XXXXXX)
mkfifo "$odd/fifo.qrn"; mkdir "$odd/folder.qrn"; ln -s /dev/zero "$odd/zero.qrn"
for f in fifo folder zero; do
    err=$(timeout 20 "$props" show "$odd/$f.qrn" 2>&1 >/dev/null); status=$?
    [ $status -eq 2 ] || { rm -rf "$odd"; fail "$f exits 2 at once (got $status)"; }
    echo "$err" | grep -q "not a regular file" || { rm -rf "$odd"; fail "$f message: $err"; }
done
rm -rf "$odd"

"$props" unregister >/dev/null || fail "unregister"
err=$("$props" show "$samples/raster-gen3-lossy.qg3" 2>&1 >/dev/null); status=$?
[ $status -eq 2 ] || fail "show after unregister exits 2 (got $status)"
echo "$err" | grep -q "no property handler is registered for .qg3" || fail "message: $err"

"$props" register --user >/dev/null || fail "register --user"
"$props" show "$samples/raster-gen4-lossless.qg4" | grep -q $'\tQG4 Raster\tLossless$' || fail "show per user"
"$props" unregister --user >/dev/null || fail "unregister --user"
echo "1 passed, 0 failed"
