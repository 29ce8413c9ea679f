#!/usr/bin/env bash
# The checks that run beside the unit tests in CI: valgrind over the catalogue tests, then every
# fuzz target for FUZZ_SECONDS (default 60) from its committed seed corpus.
#
#   scripts/ci-extra.sh
#
# Environment: BUILD (default build: a build with the tests, whose tests/dalmure_tests is run
# under valgrind; built here if missing), FUZZ_BUILD (default build-fuzz: clang, configured here
# if missing), FUZZ_SECONDS, FUZZ_OUT (where fuzz logs and any reproducer are kept).
# Exits non-zero when either fails; a fuzz failure names its reproducer. valgrind (about 1.5 min)
# runs beside the fuzzers, two targets at a time (FUZZ_JOBS): about 3 min after the fuzz build
# (2 to 4 min on two cores).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
cd "$root"
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true

if [ ! -x "$build/tests/dalmure_tests" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDALMURE_WITH_QT=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target dalmure_tests >/dev/null
fi
fuzz_build="${FUZZ_BUILD:-$root/build-fuzz}"
if [ ! -f "$fuzz_build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDALMURE_BUILD_FUZZ=ON -DDALMURE_WITH_QT=OFF -DDALMURE_BUILD_TESTS=OFF \
    -DDALMURE_BUILD_BENCH=OFF >/dev/null
fi
echo "== building the fuzz targets"
cmake --build "$fuzz_build" -j"$(nproc)" --target fuzz_ini fuzz_strfinddata fuzz_template \
  fuzz_catalogue fuzz_sequence >/dev/null

# valgrind runs beside the fuzzers: the whole stays well under ten minutes.
echo "== valgrind: catalogue tests (in the background)"
valgrind_log="$(mktemp)"
DALMURE_TEST_STEPS="${DALMURE_TEST_STEPS:-25}" \
  valgrind --error-exitcode=1 -q "$build/tests/dalmure_tests" --gtest_filter='*Catalogue*' \
  --gtest_brief=1 >"$valgrind_log" 2>&1 &
valgrind_pid=$!

echo "== fuzzing: ${FUZZ_SECONDS:-60} s per target"
fuzz_rc=0
FUZZ_BUILD="$fuzz_build" FUZZ_JOBS="${FUZZ_JOBS:-2}" "$root/fuzz/run.sh" "${FUZZ_SECONDS:-60}" || fuzz_rc=$?

valgrind_rc=0
wait "$valgrind_pid" || valgrind_rc=$?
echo "== valgrind: catalogue tests"
tail -5 "$valgrind_log"
if [ $valgrind_rc -ne 0 ]; then
  cat "$valgrind_log"
  echo "valgrind: FAILED (exit $valgrind_rc)"
fi
rm -f "$valgrind_log"
[ $fuzz_rc -eq 0 ] && [ $valgrind_rc -eq 0 ]
