#!/bin/sh
# run.sh BUILD SECONDS: runs the fuzz targets of BUILD for SECONDS in all, a
# third each: the MEX file on each backend (kx_fuzz), and the EDF/BDF reader
# (kx_fuzz_edf), from the seed corpora beside this script (new inputs go to
# BUILD/fuzz/corpus-RUN, findings to BUILD/fuzz/findings-RUN). Ends with
# "fuzz: E executions, C crashes" (all runs summed); fails when C is not 0.
set -u
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
share=$(( (seconds + 2) / 3 ))
executions=0
crashes=0
mkdir -p "$build/fuzz"
for run in real mock edf; do
    corpus="$build/fuzz/corpus-$run"
    findings="$build/fuzz/findings-$run"
    log="$build/fuzz/$run.log"
    rm -rf "$findings"  # the findings of this run only
    mkdir -p "$corpus" "$findings"
    if [ "$run" = edf ]; then
        target="$build/tests/fuzz/kx_fuzz_edf"
        seeds="$here/corpus-edf"
        max_len=16384
    else
        target="$build/tests/fuzz/kx_fuzz"
        seeds="$here/corpus"
        max_len=1024
    fi
    # Fork mode: every job is a fresh process, so memory that reloading the
    # MEX file costs the sanitizer runtimes never piles up; a job that
    # crashes leaves its input in $findings and the others go on.
    KX_FUZZ_BACKEND=$run "$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
        -ignore_ooms=1 -max_total_time="$share" -timeout=60 -rss_limit_mb=4096 -max_len="$max_len" \
        -artifact_prefix="$findings/" "$corpus" "$seeds" > "$log" 2>&1
    last=$(grep -E '^#[0-9]+: cov: ' "$log" | tail -n 1)
    runs=$(echo "$last" | sed -n 's/^#\([0-9]*\):.*/\1/p')
    coverage=$(echo "$last" | sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p')
    found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    echo "fuzz ($run): ${runs:-0} executions, $coverage, $found findings in $findings (log $log)"
    if [ "$found" -ne 0 ]; then
        grep -E 'kx fuzz finding|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' "$log" | head -n 5
    fi
    executions=$((executions + ${runs:-0}))
    crashes=$((crashes + found))
done
echo "fuzz: $executions executions, $crashes crashes"
[ "$crashes" -eq 0 ]
