#!/bin/sh
# tally.sh RESULTS...: prints the benchmark results and counts the figures.
# A figure is a line "NAME: R (target <= T)" or "(target >= T)"; it is within
# target when R compares so with T. Notes (lines that start with a space)
# and headings are printed as they are.
set -eu
awk '
{ print }
/^[^ ].*: [^ ]+ \(target (<=|>=) [^ ]+\)$/ {
    figures++
    value = $(NF - 3)
    relation = $(NF - 1)
    limit = $NF
    sub(/\)$/, "", limit)
    if (value !~ /^-?[0-9]+(\.[0-9]+)?$/) next
    if ((relation == "<=" && value + 0 <= limit + 0) || (relation == ">=" && value + 0 >= limit + 0)) met++
}
END { printf "bench: %d of %d within target\n", met, figures }
' "$@"
