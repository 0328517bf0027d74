#!/bin/sh
# Checks the gateway's include graph against the order of its layers.
#
#   scripts/check-includes.sh [ROOT]
#
# A unit is a source and its header together (session/connection.cpp and
# session/connection.h are the unit session/connection). The check fails when
# - a file of the gateway belongs to no layer,
# - a unit includes a unit of a higher layer,
# - units include each other in a cycle,
# - the folders of one layer depend on each other in a cycle (so session/,
#   stream/ and device/ have an order among themselves, too),
# - a file includes the simulator's or the tests' headers, or
# - an include names a file of the gateway relative to its own folder.
# Only quoted includes that name a file of the gateway count; "mex.h" and the
# standard library are outside the graph.
set -eu

root=${1:-$(dirname "$0")/..}
cd "$root"

# Layers, lowest first. Each line: a layer's name, then the units in it; a
# pattern ending in * matches every unit under that prefix. The first
# matching line decides, so lines naming single units come before folder lines.
layers='
sdk-and-host interfaces/*
base         gateway/failure gateway/values gateway/timing gateway/commands
buffer       stream/chunk_types stream/chunk_buffer
record       session/session_state
handlers     session/* stream/* device/*
entry        gateway/command_table gateway/entry
'

# Includes the graph leaves out for now, one "from-unit to-unit" per line.
# Each must still exist: the check fails on a line that has become stale.
allowed='
'

folders='interfaces gateway session stream device'

# shellcheck disable=SC2086
find $folders -type f \( -name '*.h' -o -name '*.cpp' \) | LC_ALL=C sort | {
    while IFS= read -r file; do
        echo "FILE $file"
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" |
            while IFS= read -r target; do
                echo "INCLUDE $file $target"
            done
    done
} | awk -v layers="$layers" -v allowed="$allowed" -v folders="$folders" '
function unit_of(path) {
    sub(/\.(h|cpp)$/, "", path)
    return path
}
function folder_of(path) {
    sub(/\/.*$/, "", path)
    return path
}
function layer_of(unit,    k, n, fields, j) {
    for (k = 1; k <= layer_count; k++) {
        n = split(layer_units[k], fields, " ")
        for (j = 1; j <= n; j++) {
            if (fields[j] ~ /\*$/) {
                if (index(unit, substr(fields[j], 1, length(fields[j]) - 1)) == 1) return k
            } else if (unit == fields[j]) {
                return k
            }
        }
    }
    return 0
}
function fail(message) {
    print "check-includes: " message > "/dev/stderr"
    failures++
}
# Depth-first search for a cycle in graph g (edge "a SUBSEP b" present when
# a depends on b) over the nodes in list; reports each cycle once by the
# back edge that closes it.
function find_cycles(g, nodes, node_count, kind,    k) {
    for (k = 1; k <= node_count; k++) color[nodes[k]] = 0
    for (k = 1; k <= node_count; k++) {
        if (color[nodes[k]] == 0) {
            depth = 0
            visit(g, nodes, node_count, nodes[k], kind)
        }
    }
}
function visit(g, nodes, node_count, node, kind,    k, next_node, j, path) {
    color[node] = 1
    stack[++depth] = node
    for (k = 1; k <= node_count; k++) {
        next_node = nodes[k]
        if (!((node SUBSEP next_node) in g)) continue
        if (color[next_node] == 1) {
            path = next_node
            for (j = depth; j >= 1 && stack[j] != next_node; j--) path = stack[j] " -> " path
            path = next_node " -> " path
            fail(kind " cycle: " path)
        } else if (color[next_node] == 0) {
            visit(g, nodes, node_count, next_node, kind)
        }
    }
    depth--
    color[node] = 2
}
BEGIN {
    n = split(layers, lines, "\n")
    for (k = 1; k <= n; k++) {
        if (lines[k] ~ /^[[:space:]]*$/) continue
        name = lines[k]
        sub(/[[:space:]].*$/, "", name)
        units = lines[k]
        sub(/^[^[:space:]]+[[:space:]]+/, "", units)
        layer_count++
        layer_names[layer_count] = name
        layer_units[layer_count] = units
    }
    n = split(allowed, lines, "\n")
    for (k = 1; k <= n; k++) {
        if (split(lines[k], ends, " ") == 2) allow[ends[1] SUBSEP ends[2]] = 0
    }
    n = split(folders, list, " ")
    for (k = 1; k <= n; k++) product_folder[list[k]] = 1
}
$1 == "FILE" {
    files++
    exists[$2] = 1
    unit = unit_of($2)
    if (!(unit in unit_layer)) {
        unit_layer[unit] = layer_of(unit)
        unit_list[++unit_count] = unit
        if (unit_layer[unit] == 0) fail($2 " belongs to no layer")
    }
    next
}
$1 == "INCLUDE" {
    include_from[++include_count] = $2
    include_to[include_count] = $3
}
END {
    for (k = 1; k <= include_count; k++) {
        from_file = include_from[k]
        target = include_to[k]
        top = folder_of(target)
        if (top == "simsdk" || top == "tests") {
            fail(from_file " includes " target ", which is not part of the gateway")
            continue
        }
        if (!(target in exists)) {
            relative = from_file
            sub(/[^\/]*$/, "", relative)
            if ((relative target) in exists) {
                fail(from_file " includes \"" target "\": name it from the source root, \"" relative target "\"")
            }
            continue
        }
        from = unit_of(from_file)
        to = unit_of(target)
        if (from == to) continue
        if ((from SUBSEP to) in allow) {
            allow[from SUBSEP to] = 1
            continue
        }
        if (unit_layer[to] > unit_layer[from] && unit_layer[from] > 0) {
            fail(from_file " (" layer_names[unit_layer[from]] ") includes " target \
                 " (" layer_names[unit_layer[to]] "), a higher layer")
        }
        unit_edge[from SUBSEP to] = 1
        if (unit_layer[from] == unit_layer[to] && folder_of(from) != folder_of(to)) {
            folder_edge[folder_of(from) SUBSEP folder_of(to)] = 1
        }
    }
    for (edge in allow) {
        if (allow[edge] == 0) {
            split(edge, ends, SUBSEP)
            fail(ends[1] " no longer includes " ends[2] ": remove that line from the allowed includes")
        }
    }
    find_cycles(unit_edge, unit_list, unit_count, "include")
    folder_count = split(folders, folder_list, " ")
    find_cycles(folder_edge, folder_list, folder_count, "folder")
    if (failures > 0) {
        printf "check-includes: %d problem(s) in %d files\n", failures, files > "/dev/stderr"
        exit 1
    }
    left_out = 0
    for (edge in allow) left_out++
    printf "check-includes: %d files in %d units, %d layers: no include against the order, no cycle", \
        files, unit_count, layer_count
    if (left_out > 0) printf " (%d allowed include(s) left out)", left_out
    printf "\n"
}
'
