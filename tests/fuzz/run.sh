#!/bin/sh
# run.sh BUILD SECONDS: runs the fuzz target of BUILD for SECONDS in all, half
# on each backend, from the seed corpus beside this script (new inputs go to
# BUILD/fuzz/corpus-BACKEND, findings to BUILD/fuzz/findings-BACKEND). Ends
# with "fuzz: E executions, C crashes"; fails when C is not 0.
set -u
build=$1
seconds=$2
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
half=$(( (seconds + 1) / 2 ))
executions=0
crashes=0
mkdir -p "$build/fuzz"
for backend in real mock; do
    corpus="$build/fuzz/corpus-$backend"
    findings="$build/fuzz/findings-$backend"
    log="$build/fuzz/$backend.log"
    rm -rf "$findings"  # the findings of this run only
    mkdir -p "$corpus" "$findings"
    # Fork mode: every job is a fresh process, so memory that reloading the
    # MEX file costs the sanitizer runtimes never piles up; a job that
    # crashes leaves its input in $findings and the others go on.
    KX_FUZZ_BACKEND=$backend "$build/tests/fuzz/kx_fuzz" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
        -ignore_ooms=1 -max_total_time="$half" -timeout=60 -rss_limit_mb=4096 -max_len=1024 \
        -artifact_prefix="$findings/" "$corpus" "$seeds" > "$log" 2>&1
    last=$(grep -E '^#[0-9]+: cov: ' "$log" | tail -n 1)
    runs=$(echo "$last" | sed -n 's/^#\([0-9]*\):.*/\1/p')
    coverage=$(echo "$last" | sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p')
    found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    echo "fuzz ($backend): ${runs:-0} executions, $coverage, $found findings in $findings (log $log)"
    if [ "$found" -ne 0 ]; then
        grep -E 'kx fuzz finding|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' "$log" | head -n 5
    fi
    executions=$((executions + ${runs:-0}))
    crashes=$((crashes + found))
done
echo "fuzz: $executions executions, $crashes crashes"
[ "$crashes" -eq 0 ]
