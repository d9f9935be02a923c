#!/usr/bin/env bash
# Builds every fuzz target and runs each for SECONDS (default 60) on a scratch copy of the seed
# corpora under build/fuzz/run, so the repository is never written. Prints the executions and
# the coverage each target reached. Exits non-zero on any crash, sanitizer report, time-out or
# differential mismatch; the input that caused it is kept under build/fuzz/run/<target>/.
#
#   fuzz/run.sh [SECONDS]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
run=$build/run
targets=(shipDecoder vehicleDecoder queryPath fieldReadings)

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" -j2

rm -rf "$run"
mkdir -p "$run"

# One seed file per line of the given files, duplicates dropped.
seedLines() {
    local dir=$1
    shift
    mkdir -p "$dir"
    sort -u "$@" | awk -v dir="$dir" 'length($0) > 0 { f = sprintf("%s/line-%05d", dir, NR); printf "%s", $0 > f; close(f) }'
}

# Seeds at the edges of the receive buffer: a full 1024-byte sentence, a longer one, and one
# with a zero byte inside.
edgeSeeds() {
    local dir=$1
    {
        printf '$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,'
        head -c 970 /dev/zero | tr '\0' '5'
    } | head -c 1024 >"$dir/edge-full"
    {
        printf '$GPHDT,'
        head -c 1100 /dev/zero | tr '\0' '7'
    } >"$dir/edge-longer"
    printf '$GPHDT,12\0003.5,T' >"$dir/edge-zero"
}

prepare() {
    local target=$1 corpus=$2
    case $target in
        shipDecoder | vehicleDecoder)
            seedLines "$corpus" "$root"/tests/data/*.nmea "$root/fuzz/seeds/examples.nmea"
            edgeSeeds "$corpus"
            ;;
        queryPath)
            seedLines "$corpus" "$root/fuzz/seeds/queries.txt"
            printf 'HEADER\000' >"$corpus/edge-zero"
            head -c 1100 /dev/zero | tr '\0' 'Q' >"$corpus/edge-longer"
            ;;
        fieldReadings)
            seedLines "$corpus" "$root/fuzz/seeds/fields.txt" "$root/fuzz/seeds/examples.nmea"
            edgeSeeds "$corpus"
            ;;
    esac
}

dictionary() {
    case $1 in
        shipDecoder | vehicleDecoder) echo "$root/fuzz/nmea.dict" ;;
        queryPath) echo "$root/fuzz/query.dict" ;;
        fieldReadings) echo "$root/fuzz/fields.dict" ;;
    esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
summary=$run/summary.txt
for target in "${targets[@]}"; do
    dir=$run/$target
    corpus=$dir/corpus
    mkdir -p "$dir/artifacts"
    prepare "$target" "$corpus"
    seeds=$(find "$corpus" -type f | wc -l)
    log=$dir/fuzz.log
    status=0
    "$build/${target}_fuzz" "$corpus" -dict="$(dictionary "$target")" \
        -max_total_time="$seconds" -max_len=2048 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" >"$log" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
    corpusSize=$(find "$corpus" -type f | wc -l)
    if [ "$status" -ne 0 ] || grep -qE 'ERROR: (Address|Leak|libFuzzer)|runtime error:|FINDING' "$log"; then
        failed=1
        echo "FAIL $target (exit $status): see $log" >&2
        grep -E 'FINDING|ERROR:|runtime error:|SUMMARY' "$log" | head -20 >&2 || true
        ls "$dir/artifacts" >&2 || true
    fi
    printf '%-15s %4ss  %10s executions  %-22s  corpus %5s (from %s seeds)\n' \
        "$target" "$seconds" "${execs:-?}" "${coverage:-cov: ?}" "$corpusSize" "$seeds" |
        tee -a "$summary"
done

if [ "$failed" -ne 0 ]; then
    echo "fuzzing found a problem" >&2
    exit 1
fi
echo "fuzzing: no findings in ${#targets[@]} targets, ${seconds} s each"
