#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, one after the other, each from a scratch copy of its
# committed seed corpus (so the committed corpus stays small).
#
#   fuzz/run.sh [SECONDS] [TARGET...]      SECONDS per target, default 60; default: all targets
#
# Environment: FUZZ_BUILD (default build-fuzz, configured with clang and DALMURE_BUILD_FUZZ=ON;
# built here if needed), FUZZ_OUT (default a temporary folder: logs, working corpora, crashes),
# FUZZ_JOBS (targets run at once, default 1).
# Exits non-zero when a target found a crash, a leak, a timeout or a broken invariant; the
# reproducer is left in FUZZ_OUT/<target>/ and named in the summary.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ini strfinddata template catalogue sequence)
build="${FUZZ_BUILD:-$root/build-fuzz}"
out="${FUZZ_OUT:-$(mktemp -d "${TMPDIR:-/tmp}/dalmure-fuzz-XXXXXX")}"
mkdir -p "$out"

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDALMURE_BUILD_FUZZ=ON -DDALMURE_WITH_QT=OFF -DDALMURE_BUILD_TESTS=OFF \
    -DDALMURE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
run_one() {
  local t=$1 work="$out/$1" start rc runs cov artifacts
  mkdir -p "$work/corpus"
  cp -n "$here/corpus/$t/"* "$work/corpus/" 2>/dev/null || true
  start=$(date +%s)
  set +e
  "$build/fuzz/fuzz_$t" "$work/corpus" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -max_len=4096 -artifact_prefix="$work/" -print_final_stats=1 \
    >"$work/log.txt" 2>&1
  rc=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log.txt" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -o 'cov: [0-9]*' "$work/log.txt" | tail -1 | grep -o '[0-9]*' || echo '?')
  artifacts=$(ls "$work" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' || true)
  if [ $rc -ne 0 ] || [ -n "$artifacts" ]; then
    echo "fuzz_$t: FAILED after $(( $(date +%s) - start )) s (exit $rc): $work/$artifacts (log $work/log.txt)" >"$work/summary"
    return 1
  fi
  echo "fuzz_$t: ok, $(( $(date +%s) - start )) s, $runs inputs, cov $cov, corpus $(ls "$work/corpus" | wc -l)" >"$work/summary"
}

jobs_max="${FUZZ_JOBS:-1}"
pids=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do sleep 1; done
  run_one "$t" &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
for t in "${targets[@]}"; do cat "$out/$t/summary"; done
exit $failed
