#!/usr/bin/env bash
# The raster decode beside OpenJPEG, in one run, single thread: the lossless 8-bit three-band
# 4096 x 4096 landscape of raster_decode_bench decoded whole at magnification 1 and 1/4, and
# the same pixels as a lossless JPEG 2000 file (opj_compress's default 5/3 wavelet) decoded by
# `opj_decompress -threads 1` at full size and at -r 2. Prints megapixels per second of output
# and peak resident memory of each, and the ratios.
#
#   bench/run-openjpeg-compare.sh            (QUARN_BENCH_DIR: where the images go,
#                                             default /tmp/quarn-bench; QUARN_BENCH_HUGE=1 adds
#                                             the 20,000 x 20,000 decodes, without and with
#                                             data in the refinement subbands)
set -euo pipefail
cd "$(dirname "$0")/.."

# OpenJPEG's tools, when this machine lacks them (as scripts/install-deps.sh does for the build).
if ! command -v opj_decompress >/dev/null || ! command -v opj_compress >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends libopenjp2-tools time >/dev/null
fi
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench --target raster_decode_bench

bench=build-bench/bench/raster_decode_bench
dir=${QUARN_BENCH_DIR:-/tmp/quarn-bench}
export QUARN_BENCH_DIR=$dir
"$bench" --write-only
[ -f "$dir/landscape-4096.jp2" ] ||
    opj_compress -i "$dir/landscape-4096.ppm" -o "$dir/landscape-4096.jp2" >/dev/null

# Best of three runs of opj_decompress: its own decode time, and its peak resident memory.
opj() {
    local best_ms="" best_kb=""
    for _ in 1 2 3; do
        local log
        log=$(/usr/bin/time -f "maxrss %M" opj_decompress -threads 1 -i "$dir/landscape-4096.jp2" \
            -o "$dir/out.ppm" "$@" 2>&1)
        local ms kb
        ms=$(echo "$log" | sed -n 's/^decode time: *\([0-9.]*\).*/\1/p')
        kb=$(echo "$log" | sed -n 's/^maxrss //p')
        if [ -z "$best_ms" ] || awk "BEGIN{exit !($ms < $best_ms)}"; then best_ms=$ms; fi
        best_kb=$kb
    done
    rm -f "$dir/out.ppm"
    echo "$best_ms $best_kb"
}
read -r opj1_ms opj1_kb < <(opj)
read -r opj4_ms opj4_kb < <(opj -r 2)

# Ours: Google Benchmark's figures (the fastest of three decodes; peak resident memory).
json=$(mktemp)
huge=$(mktemp)
"$bench" --benchmark_filter='^decode/' --benchmark_repetitions=3 --benchmark_format=json >"$json"
if [ "${QUARN_BENCH_HUGE:-}" = 1 ]; then
    "$bench" --benchmark_filter='^decode20k' --benchmark_format=json >"$huge"
fi
ours() { # file name -> "ms rssMB heapMB" of the fastest run
    python3 - "$1" "$2" <<'EOF'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b["run_name"].startswith(sys.argv[2]) and b.get("run_type") == "iteration"]
b = min(runs, key=lambda b: b["real_time"])
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}[b["time_unit"]]
print(b["real_time"] * scale, b["peakRSS_MB"], b["heap_MB"])
EOF
}
printf '\n%-46s %10s %10s %12s\n' "decode, single thread" "MP/s" "peak MB" "vs OpenJPEG"
row() { # label megapixels ms rssMB opjMs
    local mps ratio
    mps=$(awk "BEGIN{printf \"%.1f\", $2 / ($3 / 1000)}")
    ratio=$([ -n "${5:-}" ] && awk "BEGIN{printf \"%.2fx\", $5 / $3}" || echo "")
    printf '%-46s %10s %10.0f %12s\n' "$1" "$mps" "$4" "$ratio"
}
row "OpenJPEG, mag 1" 16.777216 "$opj1_ms" "$(awk "BEGIN{print $opj1_kb/1024}")"
row "OpenJPEG, mag 1/4 (-r 2)" 1.048576 "$opj4_ms" "$(awk "BEGIN{print $opj4_kb/1024}")"
for buffers in 0 1; do
    read -r ms rss heap < <(ours "$json" "decode/mag:1/buffers:$buffers")
    row "ours, mag 1, buffers $buffers (heap ${heap%.*} MB)" 16.777216 "$ms" "$rss" "$opj1_ms"
    read -r ms rss heap < <(ours "$json" "decode/mag:4/buffers:$buffers")
    row "ours, mag 1/4, buffers $buffers (heap ${heap%.*} MB)" 1.048576 "$ms" "$rss" "$opj4_ms"
done
if [ "${QUARN_BENCH_HUGE:-}" = 1 ]; then
    for refinement in 0 1; do
        read -r ms rss heap < <(ours "$huge" "decode20k/refinement:$refinement")
        row "ours, 20000^2, refinement $refinement (heap ${heap%.*} MB)" 400 "$ms" "$rss"
    done
fi
rm -f "$json" "$huge"
