#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer) in build-fuzz/
# and runs each for a bounded time. Prints, per target, executions and crashes.
#   tests/fuzz/run-fuzzers.sh [seconds-per-target] [target...]
set -e
cd "$(dirname "$0")/../.."
SECONDS_PER_TARGET="${1:-${FUZZ_SECONDS:-120}}"
[ $# -gt 0 ] && shift
TARGETS="${*:-settings nextfilename texts frames loadpicture}"
BUILD=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVN_FUZZ=ON >/dev/null
# shellcheck disable=SC2046
nice cmake --build "$BUILD" -j2 --target fuzz_seeds $(for t in $TARGETS; do printf 'fuzz_%s ' "$t"; done) >/dev/null

OUT="$BUILD/fuzz-out"
mkdir -p "$OUT"
export QT_QPA_PLATFORM=offscreen
# Leaks are left to ./test --asan (with its suppressions); a failed allocation
# is an answer our code must handle, not a crash.
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
total_crashes=0
for t in $TARGETS; do
  corpus="$OUT/corpus-$t"
  crashes_dir="$OUT/crashes-$t"
  # Crashes are counted per run; the corpus carries over.
  rm -rf "$crashes_dir"
  mkdir -p "$corpus" "$crashes_dir"
  if [ -d "tests/fuzz/regressions/$t" ]; then cp tests/fuzz/regressions/$t/* "$corpus"/ 2>/dev/null || true; fi
  "$BUILD/tests/fuzz/fuzz_seeds" "$t" "$corpus"
  log="$OUT/$t.log"
  # -fork keeps going after a crash so one run counts them all.
  # Picture decoding runs under the decoder program's limits: 20 processor
  # seconds, and the address space it allows a picture of 64 MB (2 x 64 + 512 MB).
  limits="-malloc_limit_mb=2048 -timeout=20"
  [ "$t" = loadpicture ] && limits="-malloc_limit_mb=640 -timeout=20"
  # shellcheck disable=SC2086
  nice "$BUILD/tests/fuzz/fuzz_$t" "$corpus" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=4096 \
      $limits -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -artifact_prefix="$crashes_dir/" >"$log" 2>&1 || true
  # In fork mode the parent's status lines ("#N: cov: ...") carry the total executions.
  execs=$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
  # ... and the failures of its jobs, as "oom/timeout/crash: a/b/c".
  failures=$(grep -oE 'oom/timeout/crash: [0-9]+/[0-9]+/[0-9]+' "$log" | tail -n 1 | grep -oE '[0-9]+/[0-9]+/[0-9]+' || true)
  failures="${failures:-0/0/0}"
  kept=$(find "$crashes_dir" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' -o -name 'timeout-*' \) | wc -l)
  counted=$(( $(echo "$failures" | tr '/' '+') ))
  crashes=$((counted > kept ? counted : kept))
  total_crashes=$((total_crashes + crashes))
  echo "$t: ${execs:-0} executions, $crashes crashes (oom/timeout/crash $failures, $kept inputs kept)"
done
echo "crash inputs (if any) are in $OUT/crashes-*; keep each under tests/fuzz/regressions/<target>/ once fixed"
[ "$total_crashes" -eq 0 ]
