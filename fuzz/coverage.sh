#!/usr/bin/env bash
# Line and region coverage of the server's sources reached by the corpora that the last
# fuzz/run.sh left under build/fuzz/run: each target replays its corpus once, instrumented for
# llvm-cov, and the report covers src/ only.
#
#   fuzz/coverage.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz/coverage
run=$root/build/fuzz/run
targets=(shipDecoder vehicleDecoder queryPath fieldReadings)

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" -G Ninja -DFUZZ_COVERAGE=ON >/dev/null
fi
cmake --build "$build" -j2 >/dev/null

rm -f "$build"/*.profraw
objects=()
for target in "${targets[@]}"; do
    corpus=$run/$target/corpus
    [ -d "$corpus" ] || { echo "no corpus for $target: run fuzz/run.sh first" >&2; exit 1; }
    LLVM_PROFILE_FILE="$build/$target.profraw" "$build/${target}_fuzz" -runs=0 "$corpus" \
        >"$build/$target.log" 2>&1
    objects+=(-object "$build/${target}_fuzz")
done
llvm-profdata-14 merge -sparse "$build"/*.profraw -o "$build/all.profdata"
llvm-cov-14 report "${objects[@]:1}" -instr-profile="$build/all.profdata" \
    "$root"/src/sentences/*.cpp "$root"/src/server/query.cpp
