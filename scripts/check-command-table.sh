#!/bin/sh
# Checks that the files the command table and the handler declarations name
# are where the handlers are:
# - every entry of gateway/command_table.cpp, {"name", handler},  // file,
#   names the file that defines its handler;
# - every handler in gateway/commands.h is defined in the file its group's
#   comment names, and is in the table.
#
#   scripts/check-command-table.sh [ROOT]
set -eu

root=${1:-$(dirname "$0")/..}
cd "$root"

table=gateway/command_table.cpp
declarations=gateway/commands.h

# "handler file" per table entry, then per declaration.
pairs=$(
    awk '/^[ \t]*[{]"[^"]+",/ {
        handler = $0
        sub(/^[^,]*,[ \t]*/, "", handler)
        sub(/[}].*$/, "", handler)
        sub(/^IgnoringPayload</, "", handler)
        sub(/>$/, "", handler)
        file = $0
        if (!sub(/^.*\/\/[ \t]*/, "", file)) file = "(no file named)"
        print "table", handler, file
    }' "$table"
    awk '/^\/\/ [a-z_]+\/[a-z_]+\.cpp$/ { file = $2; next }
         /^MxPtr Handle[A-Za-z]+\(/ {
        handler = $2
        sub(/\(.*$/, "", handler)
        print "declared", handler, (file == "" ? "(no file named)" : file)
    }' "$declarations"
)

failures=0
entries=0
fail() {
    echo "check-command-table: $*" >&2
    failures=$((failures + 1))
}

while read -r kind handler file; do
    entries=$((entries + 1))
    if [ ! -f "$file" ]; then
        fail "$kind $handler: $file does not exist"
    elif ! grep -q "^MxPtr $handler(" "$file"; then
        fail "$kind $handler: not defined in $file"
    fi
    if [ "$kind" = declared ] && ! grep -q "[ <]$handler[>}]" "$table"; then
        fail "$handler is declared but not in the command table"
    fi
done <<END
$pairs
END

if [ "$entries" -eq 0 ]; then
    fail "no entries found in $table"
fi
if [ "$failures" -gt 0 ]; then
    echo "check-command-table: $failures problem(s)" >&2
    exit 1
fi
echo "check-command-table: $entries references to handlers' files, all right"
