#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer) in build-fuzz/
# and runs each for a bounded time. Prints, per target, executions and crashes.
#   tests/fuzz/run-fuzzers.sh [seconds-per-target]
set -e
cd "$(dirname "$0")/../.."
SECONDS_PER_TARGET="${1:-${FUZZ_SECONDS:-60}}"
BUILD=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVN_FUZZ=ON >/dev/null
TARGETS="settings nextfilename texts frames loadpicture"
for t in $TARGETS; do set -- "$@" "fuzz_$t"; done
cmake --build "$BUILD" -j"$(nproc)" --target fuzz_seeds $(for t in $TARGETS; do printf 'fuzz_%s ' "$t"; done) >/dev/null

OUT="$BUILD/fuzz-out"
mkdir -p "$OUT"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
total_crashes=0
for t in $TARGETS; do
  corpus="$OUT/corpus-$t"
  mkdir -p "$corpus" "$OUT/crashes-$t"
  if [ -d "tests/fuzz/regressions/$t" ]; then cp -n tests/fuzz/regressions/$t/* "$corpus"/ 2>/dev/null || true; fi
  if [ "$t" = loadpicture ]; then "$BUILD/tests/fuzz/fuzz_seeds" "$corpus"; fi
  log="$OUT/$t.log"
  # -fork keeps going after a crash so one run counts them all.
  "$BUILD/tests/fuzz/fuzz_$t" "$corpus" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=4096 \
      -malloc_limit_mb=4096 -timeout=20 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -artifact_prefix="$OUT/crashes-$t/" >"$log" 2>&1 || true
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  [ -z "$execs" ] && execs=$(grep -oE 'exec/s: [0-9]+|#[0-9]+' "$log" | grep -o '#[0-9]*' | tail -1 | tr -d '#')
  crashes=$(ls "$OUT/crashes-$t" | grep -c -E '^(crash|leak|oom|timeout)-' || true)
  total_crashes=$((total_crashes + crashes))
  echo "$t: ${execs:-0} executions, $crashes crashes"
done
echo "crash inputs (if any) are in $OUT/crashes-*; keep each under tests/fuzz/regressions/<target>/ once fixed"
[ "$total_crashes" -eq 0 ]
