#!/usr/bin/env bash
# `make bench`: builds the release tree, then runs the micro-benchmarks (the project's
# decoders and record against literal C library versions) and the end-to-end load benchmark
# (the server against bare system-call loops, in a private network namespace), and prints
# their tables. The whole run is kept to a few minutes; every figure that matters is a ratio
# of two measurements taken side by side in this same run.
#
#   bench/run.sh [--quick]     --quick: fewer repeats and smaller loads, for a smoke test
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
for arg in "$@"; do
  case "$arg" in
    --quick) quick=true ;;
    *) echo "usage: bench/run.sh [--quick]" >&2; exit 2 ;;
  esac
done

cmake --preset release >/dev/null
cmake --build --preset release

bench_dir=build/release/bench
if [[ ! -x $bench_dir/micro_bench || ! -x $bench_dir/load_bench ]]; then
  echo "The benchmarks were not built: install Google Benchmark (Debian: libbenchmark-dev)." >&2
  exit 1
fi

results=$bench_dir/latest.md
{
  echo "# Benchmark run $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
  echo "## Decoding and the status record"
  echo
} | tee "$results"

if $quick; then
  micro_args=(--benchmark_min_time=0.05 --benchmark_repetitions=1)
  load_args=(--quick)
else
  micro_args=(--benchmark_min_time=0.2 --benchmark_repetitions=5
              --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true)
  load_args=()
fi

"$bench_dir/micro_bench" "${micro_args[@]}" | tee -a "$results"
echo | tee -a "$results"
"$bench_dir/load_bench" "${load_args[@]}" | tee -a "$results"

echo
echo "Tables saved in $results"
