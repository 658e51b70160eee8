#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang, address + undefined sanitizers) into build/fuzz
# and runs each for SECONDS (default 60) from a freshly generated seed corpus, with pieces of the
# files of scripts/corpus.sh added when they are there. One line per target, with its runs a
# minute; exits non-zero if any target found a crash, a leak or a sanitizer report.
#   scripts/fuzz.sh [SECONDS]
# The long run, for hours outside CI: each target for SECONDS (default 3600), one after the other,
# on a corpus kept in build/fuzz/corpus-long/ that grows from one long run to the next.
#   scripts/fuzz.sh --long [SECONDS]
set -uo pipefail
cd "$(dirname "$0")/.."
long=false
if [ "${1:-}" = --long ]; then
  long=true
  shift
fi
seconds=${1:-$($long && echo 3600 || echo 60)}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [--long] [SECONDS]" >&2; exit 2 ;;
esac
build=build/fuzz
targets=(inflate png photo open_photo track_file show_text live_show)

mkdir -p "$build"
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ >"$build/configure.log" 2>&1 ||
  { echo "fuzz: configure failed (see $build/configure.log)" >&2; exit 1; }
cmake --build "$build" -j2 >"$build/build.log" 2>&1 ||
  { echo "fuzz: build failed (see $build/build.log)" >&2; exit 1; }

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  artifacts=$build/artifacts/$t
  log=$build/$t.log
  if $long; then
    corpus=$build/corpus-long/$t  # kept: the seeds join what earlier long runs found
    mkdir -p "$corpus" "$artifacts"
  else
    rm -rf "$corpus" && mkdir -p "$corpus" "$artifacts"
  fi
  seeder=("$build/fuzz_seeds" "$t")
  [ -x "$build/${t}_fuzz_seeds" ] && seeder=("$build/${t}_fuzz_seeds")  # a target's own seed writer
  if ! "${seeder[@]}" "$corpus"; then
    echo "fuzz $t: FAILED to write seeds"; status=1; continue
  fi
  # Inputs are kept short: a few KiB of deflate data already inflate to megabytes, and a run
  # that decodes megabytes explores nothing new.
  max_len=()
  case $t in
    inflate) max_len=(-max_len=1024) ;;
    png | photo | open_photo) max_len=(-max_len=65536) ;;
  esac
  if "$build/${t}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
       "${max_len[@]}" -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "fuzz $t: ok, ${runs:-?} runs in ${seconds}s ($(( ${runs:-0} * 60 / seconds )) a minute)," \
      "$(ls "$corpus" | wc -l) corpus entries"
  else
    echo "fuzz $t: FAILED, see $log and $artifacts/"; status=1
  fi
done
exit $status
