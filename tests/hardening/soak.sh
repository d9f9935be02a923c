#!/usr/bin/env bash
# The long runs: a flood of SECONDS (default 300) on all three ports against the built server,
# then the flood and the console faults again with the server under valgrind's memcheck, which
# must report no error and no block definitely lost.
#
#   tests/hardening/soak.sh BUILD_DIR [SECONDS]
#
# BUILD_DIR is a configured and built tree (build/release); its hardening_e2e test binary runs
# the server it was built with, each run inside a private network namespace of its own.
set -euo pipefail

build=${1:?usage: soak.sh BUILD_DIR [SECONDS]}
seconds=${2:-300}
tests=$build/tests/hardening/hardening_e2e
if [ ! -x "$tests" ]; then
    echo "no hardening_e2e under $build: build it first" >&2
    exit 1
fi
logs=$build/soak
rm -rf "$logs"
mkdir -p "$logs"

echo "== flood for $seconds s"
TAVRIN_SOAK_SECONDS=$seconds "$tests" --gtest_filter='Flood.*' | tee "$logs/flood.log"

echo "== the flood and the console faults under valgrind memcheck"
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
TAVRIN_SOAK_SECONDS=${TAVRIN_MEMCHECK_SECONDS:-30} \
TAVRIN_SERVER_WRAPPER="valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --track-origins=yes --log-file=$logs/memcheck-%p.log" \
    "$tests" --gtest_filter='Flood.*:ConsoleFaults.*' | tee "$logs/memcheck-run.log"

status=0
reports=0
for log in "$logs"/memcheck-*.log; do
    [ "$log" = "$logs/memcheck-run.log" ] && continue
    reports=$((reports + 1))
    summary=$(grep -h 'ERROR SUMMARY' "$log" || true)
    lost=$(grep -h 'definitely lost:' "$log" || true)
    echo "$(basename "$log"): ${summary#*== } ${lost:+/ ${lost#*== }}"
    if ! grep -q 'ERROR SUMMARY: 0 errors' "$log"; then
        echo "memcheck found errors: $log" >&2
        status=1
    fi
    if grep -qE 'definitely lost: [1-9]' "$log"; then
        echo "memcheck found a leak: $log" >&2
        status=1
    fi
done
if [ "$reports" -eq 0 ]; then
    echo "no memcheck report was written" >&2
    status=1
fi
exit $status
