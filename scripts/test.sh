#!/usr/bin/env bash
# Installs what is missing, builds Dalmure and runs every test (ctest).
#   scripts/test.sh              the normal build, in build/
#   SANITIZE=1 scripts/test.sh   the address + undefined-behaviour build, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

# Paths relative to the checkout in the compiler cache: another clone on this machine (CI) reuses
# what an earlier build compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true

jobs=$(nproc)
if [ "${SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  extra=(-DDALMURE_SANITIZE=ON -DDALMURE_BUILD_BENCH=OFF)
  # Qt WebEngine's own (uninstrumented) Chromium frees with sized deletes of another type:
  # not ours to report.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:new_delete_type_mismatch=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  # The full-length randomized runs are the first pass's; under the sanitizers a quarter of the
  # steps and kills finds the memory faults without doubling the run.
  export DALMURE_TEST_STEPS="${DALMURE_TEST_STEPS:-25}"
else
  dir=build
  extra=()
fi

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}"
cmake --build "$dir" -j "$jobs"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
