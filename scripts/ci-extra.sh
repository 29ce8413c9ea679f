#!/usr/bin/env bash
# The checks that run beside the unit tests in CI: valgrind over the catalogue tests, then every
# fuzz target for FUZZ_SECONDS (default 60) from its committed seed corpus.
#
#   scripts/ci-extra.sh
#
# Environment: BUILD (default build: a build with the tests, whose tests/dalmure_tests is run
# under valgrind; built here if missing), FUZZ_BUILD (default build-fuzz: clang, configured here
# if missing), FUZZ_SECONDS, FUZZ_OUT (where fuzz logs and any reproducer are kept).
# Exits non-zero on the first failure; a fuzz failure names its reproducer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
cd "$root"

if [ ! -x "$build/tests/dalmure_tests" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDALMURE_WITH_QT=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target dalmure_tests >/dev/null
fi
echo "== valgrind: catalogue tests"
valgrind --error-exitcode=1 -q "$build/tests/dalmure_tests" --gtest_filter='*Catalogue*' \
  --gtest_brief=1

echo "== fuzzing: ${FUZZ_SECONDS:-60} s per target"
FUZZ_BUILD="${FUZZ_BUILD:-$root/build-fuzz}" "$root/fuzz/run.sh" "${FUZZ_SECONDS:-60}"
