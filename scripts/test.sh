#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test: the release build,
# the AddressSanitizer + UndefinedBehaviorSanitizer build, and the bounded fuzz runs.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
status=0

scripts/deps.sh || exit 1

run_ctest() {  # run_ctest CONFIG
  (cd "build/$1" && ctest --output-on-failure -j"$(nproc)" --timeout 900) || status=1
}

echo "== release build"
scripts/build.sh release || exit 1
# Real photographs and files for the inflater's and PNG decoder's differential tests.
scripts/corpus.sh || status=1
run_ctest release

echo "== sanitizer build (address, undefined behaviour)"
scripts/build.sh asan || exit 1
export ASAN_OPTIONS=abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
# LeakSanitizer stops every thread to scan them at exit and can crash on the software rasterizer's
# worker threads; rasterizing on the calling thread keeps the leak check working.
export LP_NUM_THREADS=0
run_ctest asan

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing"
  scripts/fuzz.sh "${HALLSHOW_FUZZ_SECONDS:-60}" || status=1
fi

[ $status -eq 0 ] && echo "hallshow: all tests passed" || echo "hallshow: some tests failed" >&2
exit $status
