#!/bin/sh
# Checks tally.sh: figures within and outside their targets in both
# directions, a value that is not a number, and notes and headings that are
# not figures.
set -eu
here=$(dirname "$0")
results=$(mktemp)
trap 'rm -f "$results"' EXIT
cat > "$results" <<'LINES'
gateway benchmarks (Release build); each figure is a ratio
data callback 32 x 160: 1.20 (target <= 1.5)
  baseline: a note with a figure-like tail: 9.00 (target <= 1)
read_chunk vs memcpy: 2.51 (target <= 2.5)
sustained rate, slowest of 5 runs: 393 (target >= 200)
chunks dropped: 0.00 (target <= 0)
latency p50: 0.90 (target >= 1.2)
status call: nan (target <= 1.1)
LINES
last=$("$here/tally.sh" "$results" | tail -n 1)
if [ "$last" != "bench: 3 of 6 within target" ]; then
    echo "tally.sh said: $last (expected: bench: 3 of 6 within target)" >&2
    exit 1
fi
lines=$("$here/tally.sh" "$results" | wc -l)
if [ "$lines" -ne 9 ]; then
    echo "tally.sh printed $lines lines, expected the 8 results and the tally" >&2
    exit 1
fi
