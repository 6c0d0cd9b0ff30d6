#!/bin/sh
# Runs a test program under a time bound and tries again when the bound hits.
# SANE's own `test` backend now and then deadlocks at the end of a scan (its
# cancelled reader thread keeps the allocator's lock); that is no fault of
# ours, and a second run passes. A real failure fails every run.
#   run_with_retry.sh SECONDS TRIES PROGRAM [ARGS...]
limit="$1"; tries="$2"; shift 2
n=1
while :; do
    timeout -k 10 "$limit" "$@"
    status=$?
    # 124/137: the bound hit (a hang); anything else is the test's own verdict.
    if [ "$status" -ne 124 ] && [ "$status" -ne 137 ]; then
        exit "$status"
    fi
    if [ "$n" -ge "$tries" ]; then
        echo "run_with_retry: still hanging after $tries runs of ${limit} s" >&2
        exit "$status"
    fi
    echo "run_with_retry: run $n hung for ${limit} s (SANE test backend); trying again" >&2
    n=$((n + 1))
done
