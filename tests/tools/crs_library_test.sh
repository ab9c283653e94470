#!/usr/bin/env bash
# Loading the handler module maps nothing of GDAL, libgeotiff or PROJ, and neither do a LiDAR
# file or a raster file without georeferencing; the first georeferenced raster loads the
# coordinate-system library from beside the module. Without that library the handler answers
# the same, and says why once.
set -u
props=$1
module=$2
samples=$3
geo=$4 # a raster file whose metadata carries GeoTIFF keys
export QUARN_REGISTRY=$(mktemp -u /tmp/quarn-crs-registry-XXXXXX)
bare=$(mktemp -d /tmp/quarn-crs-XXXXXX)
trap 'rm -rf "$bare" "$QUARN_REGISTRY"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
heavy='libgdal|libgeotiff|libproj|libtiff|libquarn-crs'

readelf -d "$module" | grep NEEDED | grep -E "$heavy" && fail "the module links GDAL"

# The objects that the dynamic loader opened for a run of show.
opened() {
    LD_DEBUG=files "$props" show --module "$1" "${@:2}" 2>&1 >/dev/null |
        grep -oE "file=[^ ]*($heavy)[^ ]*" | sed 's/^file=//' | sort -u
}
plain=$(opened "$module" "$samples/lidar-lossless.qrn" "$samples/raster-gen3-lossless.qg3" \
        "$samples/raster-gen2.qg2" "$samples/raster-gen4-two-images.qg4")
[ -z "$plain" ] || fail "files without georeferencing opened: $plain"
derived=$(opened "$module" "$geo")
echo "$derived" | grep -qx "$(dirname "$(realpath "$module")")/libquarn-crs.so" ||
    fail "the library beside the module was not loaded: $derived"
echo "$derived" | grep -q libgdal || fail "GDAL was not loaded: $derived"

# The module alone, without the library beside it.
cp "$module" "$(dirname "$module")/QuarnShellExtensionVista.propdesc" "$bare/"
expected=$("$props" show --module "$module" "$geo" "$geo") || fail "show: $expected"
err=$("$props" show --module "$bare/$(basename "$module")" "$geo" "$geo" 2>&1 >"$bare/out") ||
    fail "show without the library: $err"
[ "$(cat "$bare/out")" = "$expected" ] || fail "answers differ: $(cat "$bare/out")"
[ "$(echo "$err" | grep -c .)" -eq 1 ] || fail "one line expected: $err"
echo "$err" | grep -qE "^quarn: coordinate systems are not derived: $bare/libquarn-crs.so: " ||
    fail "message: $err"
echo "1 passed, 0 failed"
