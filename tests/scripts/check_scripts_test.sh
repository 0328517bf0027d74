#!/bin/sh
# The structure checks fail on the faults they exist for: each case copies
# the gateway's folders, breaks one rule and expects the check to fail with a
# message naming the fault; the untouched copy must pass.
#
#   tests/scripts/check_scripts_test.sh SOURCE_DIR
set -eu

source_dir=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

failures=0
cases=0

# fresh_copy: a copy of the gateway's folders and the scripts in $work/tree.
fresh_copy() {
    rm -rf "$work/tree"
    mkdir "$work/tree"
    for folder in gateway session stream device interfaces scripts; do
        cp -R "$source_dir/$folder" "$work/tree/"
    done
}

# expect SCRIPT pass|fail [TEXT]: runs the check on the copy.
expect() {
    cases=$((cases + 1))
    script=$1 outcome=$2 text=${3:-}
    if sh "$work/tree/scripts/$script" "$work/tree" >"$work/out" 2>&1; then
        got=pass
    else
        got=fail
    fi
    if [ "$got" != "$outcome" ]; then
        echo "case $cases ($script): expected $outcome, got $got:" >&2
        cat "$work/out" >&2
        failures=$((failures + 1))
    elif [ -n "$text" ] && ! grep -qF "$text" "$work/out"; then
        echo "case $cases ($script): output lacks \"$text\":" >&2
        cat "$work/out" >&2
        failures=$((failures + 1))
    fi
}

# add_include FILE HEADER: adds an include line after the file's first line.
add_include() {
    sed -i "1a #include \"$2\"" "$work/tree/$1"
}

fresh_copy
expect check-includes.sh pass
expect check-command-table.sh pass

fresh_copy
add_include gateway/values.cpp session/connection.h
expect check-includes.sh fail "gateway/values.cpp (base) includes session/connection.h (handlers), a higher layer"

fresh_copy
add_include session/core_init.cpp session/connection.h
expect check-includes.sh fail "include cycle: session/connection -> session/core_init -> session/connection"

fresh_copy
add_include device/annotations.cpp session/connection.h
expect check-includes.sh fail "folder cycle: "

fresh_copy
add_include device/settings.cpp simsdk/kxsim.h
expect check-includes.sh fail "device/settings.cpp includes simsdk/kxsim.h, which is not part of the gateway"

fresh_copy
printf '#include "gateway/values.h"\n' >"$work/tree/gateway/shortcuts.h"
expect check-includes.sh fail "gateway/shortcuts.h belongs to no layer"

fresh_copy
sed -i "s|^allowed='\$|allowed='\\
gateway/values gateway/timing|" "$work/tree/scripts/check-includes.sh"
expect check-includes.sh fail "gateway/values no longer includes gateway/timing"

fresh_copy
sed -i 's|\(HandleConnect},[ ]*// \)session/connection.cpp|\1session/core_init.cpp|' "$work/tree/gateway/command_table.cpp"
expect check-command-table.sh fail "table HandleConnect: not defined in session/core_init.cpp"

fresh_copy
sed -i '/{"read_chunk",/d' "$work/tree/gateway/command_table.cpp"
expect check-command-table.sh fail "HandleReadChunk is declared but not in the command table"

fresh_copy
sed -i 's|^// stream/chunk_reading.cpp$|// stream/chunk_buffer.cpp|' "$work/tree/gateway/commands.h"
expect check-command-table.sh fail "declared HandleReadChunk: not defined in stream/chunk_buffer.cpp"

if [ "$failures" -gt 0 ]; then
    echo "check_scripts_test: $failures of $cases cases failed" >&2
    exit 1
fi
echo "check_scripts_test: $cases cases passed"
