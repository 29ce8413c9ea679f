#!/usr/bin/env bash
# Reproduces the figures of bench/RESULTS.md: builds the benchmarks and dalmure-host in Release
# (Qt off), runs them, keeps the raw output in OUT and prints the table.
#
#   bench/reproduce.sh [OUT]        OUT default: bench-out/ under the build folder
#
# Environment: BENCH_BUILD (default build-bench), BENCH_MIN_TIME (Google Benchmark's min time
# per benchmark, default 0.5), BENCH_REPS (repetitions, default 1), HOST_ANNOTATIONS (10000).
# BENCH_DEMO=1 also builds the Qt platform and the demo in Release (BENCH_BUILD-qt) and times
# the demo's quick annotations on a virtual display (xvfb-run) into OUT/demo.json.
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
if [[ "${BENCH_DEMO:-0}" == 1 ]]; then
  cmake -S "$root" -B "$build-qt" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDALMURE_WITH_QT=ON \
    -DDALMURE_BUILD_TESTS=OFF -DDALMURE_BUILD_BENCH=ON >/dev/null
  cmake --build "$build-qt" -j"$(nproc)" --target dalmure_demo_bench >/dev/null
  xvfb-run -a -s "-screen 0 1600x1000x24" "$build-qt/bench/dalmure_demo_bench" >"$out/demo.json"
fi
cat "$out/machine.txt"
python3 "$root/bench/report.py" "$out" | tee "$out/table.md"
