#!/usr/bin/env bash
# Reproduces the figures of bench/RESULTS.md: builds the benchmarks and dalmure-host in Release
# (Qt off), runs them, keeps the raw output in OUT and prints the table.
#
#   bench/reproduce.sh [OUT]        OUT default: bench-out/ under the build folder
#
# Environment: BENCH_BUILD (default build-bench), BENCH_MIN_TIME (Google Benchmark's min time
# per benchmark, default 0.5), BENCH_REPS (repetitions, default 1), HOST_ANNOTATIONS (10000).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build-bench}"
out="${1:-$build/bench-out}"
mkdir -p "$out"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDALMURE_WITH_QT=OFF \
  -DDALMURE_BUILD_TESTS=OFF -DDALMURE_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target dalmure_control_bench dalmure_memory_bench dalmure-host >/dev/null

{ uname -srm; lscpu | grep -E 'Model name|^CPU\(s\)'; grep MemTotal /proc/meminfo; uptime; } >"$out/machine.txt"
"$build/bench/dalmure_control_bench" --benchmark_min_time="${BENCH_MIN_TIME:-0.5}" \
  --benchmark_repetitions="${BENCH_REPS:-1}" --benchmark_out="$out/control.json" \
  --benchmark_out_format=json >"$out/control.txt"
"$build/bench/dalmure_memory_bench" 100000 >"$out/memory.json"
python3 "$root/bench/host_bench.py" "$build/apps/dalmure-host/dalmure-host" \
  --annotations "${HOST_ANNOTATIONS:-10000}" >"$out/host.json"
cat "$out/machine.txt"
python3 "$root/bench/report.py" "$out" | tee "$out/table.md"
