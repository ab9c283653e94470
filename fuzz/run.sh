#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# (preset fuzz, into fuzz/build/) and runs each for SECONDS seconds (default 60), up to FUZZ_JOBS
# (default 6) at a time. Each target starts from its seed corpus and regression inputs and keeps
# what it learns in fuzz/build/work/<target>/; memory is capped at 2 GB and each input at 10 s.
# Inputs the fuzzer makes are at most FUZZ_MAX_LEN bytes (default 8192), whatever the size of the
# largest regression input.
# Prints each target's executions, coverage and findings (kept in fuzz/build/findings/<target>/);
# exits 1 when any target found something.
#
#   fuzz/run.sh [SECONDS]          FUZZ_TARGETS="qg2_decoder handler" fuzz/run.sh 600
#   FUZZ_ARGS="-max_len=65536 -use_value_profile=1" fuzz/run.sh    (more libFuzzer options)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
jobs=${FUZZ_JOBS:-6}
read -r -a targets <<<"${FUZZ_TARGETS:-handler classical_metadata raster_reader qg2_decoder wavelet_subblock lidar_reader lidar_iterator}"
build=fuzz/build # the fuzz preset's binary directory

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_target() {
    local t=$1
    local work=$build/work/$t findings=$build/findings/$t
    mkdir -p "$work" "$findings" "$build/logs"
    local inputs=("$work" "fuzz/corpus/$t")
    [ -d "fuzz/regressions/$t" ] && inputs+=("fuzz/regressions/$t")
    "$build/fuzz/fuzz_$t" "${inputs[@]}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=2048 -max_len="${FUZZ_MAX_LEN:-8192}" \
        -print_final_stats=1 \
        -artifact_prefix="$findings/" ${FUZZ_ARGS:-} >"$build/logs/$t.log" 2>&1 || true
}

# Findings of this run are those made after this mark.
mkdir -p "$build/logs"
stamp=$build/logs/started
touch "$stamp"

running=0
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n
        running=$((running - 1))
    fi
    run_target "$t" &
    running=$((running + 1))
done
wait

found=0
for t in "${targets[@]}"; do
    log=$build/logs/$t.log
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
    [ -n "$done_line" ] || done_line="(no DONE line) $(grep -E '^#[0-9]+' "$log" | tail -1 || true)"
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    artifacts=$(find "$build/findings/$t" -type f \( -name 'crash-*' -o -name 'leak-*' \
        -o -name 'timeout-*' -o -name 'oom-*' \) -newer "$stamp" | sort || true)
    printf '%-20s executions %s\n%-20s %s\n' "$t" "${execs:-?}" "" "$done_line"
    if [ -n "$artifacts" ]; then
        found=1
        printf '%-20s FINDING %s\n' "" $artifacts
        grep -m1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log" |
            sed "s/^/$(printf '%-21s' '')/" || true
    else
        printf '%-20s no findings\n' ""
    fi
done
exit $found
