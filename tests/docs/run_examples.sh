#!/bin/sh
# Runs every ```matlab block of the documentation in octave-cli against the
# built toolbox and fails naming the document and line of each block that
# fails. The conventions (docs/DEVELOPING.md, "Examples in the documentation"):
#   no marker                         the real build on the simulated SDK (BUILD/octave)
#   <!-- example: mock -->            the mock build (BUILD/octave-mock)
#   <!-- example: skip REASON -->     not run; REASON says why (only MATLAB can run it)
# A marker is the last non-blank line before the block. Each block runs alone,
# in its own octave-cli, in a new folder holding the links matlab, examples
# and build to the clone's folders, with the toolbox and the build's MEX
# folder on the path; every folder the block adds must exist. Every block,
# run or not, is checked for syntax that MATLAB lacks, and every code block
# must name its language (```text for output and session transcripts).
#
#   tests/docs/run_examples.sh SOURCE_DIR BUILD_DIR [DOCUMENT...]
# KX_EXAMPLES_SHOW=1 prints every block's output, to check what its comments say.
set -u

source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
shift 2
[ $# -eq 0 ] && set -- "$source_dir/README.md" "$source_dir"/docs/*.md
octave=${KX_OCTAVE_CLI:-octave-cli}
work=$(mktemp -d "${TMPDIR:-/tmp}/kx_doc_examples.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/blocks"

# One line per ```matlab block, "N DOCUMENT LINE MODE", its code in
# blocks/N.m; "ERROR DOCUMENT:LINE: TEXT" for what breaks the conventions.
awk -v blocks="$work/blocks" '
function fail(line, text) { printf "ERROR %s:%d: %s\n", FILENAME, line, text }
# The line with its strings and comment blanked: a quote right after a name,
# a closing bracket, a dot or a quote is a transpose, elsewhere a string.
function code(s,    out, i, c, prev, quoted) {
  out = ""; prev = " "; quoted = 0
  for (i = 1; i <= length(s); i++) {
    c = substr(s, i, 1)
    if (quoted) {
      if (c == "\047" && substr(s, i + 1, 1) == "\047") { i++ } else if (c == "\047") { quoted = 0; out = out "S" }
    } else if (c == "\047" && prev !~ /[A-Za-z0-9_)\]}.\047]/) {
      quoted = 1
    } else if (c == "%") {
      break
    } else {
      out = out c
    }
    prev = c
  }
  return out
}
FNR == 1 { marker = ""; inside = 0 }
inside && /^[ \t]*```[ \t]*$/ { inside = 0; if (lang == "matlab") close(out); next }
inside {
  if (lang != "matlab") next
  print > out
  c = code($0)
  if (c ~ /["!#]|\+\+|[-+*\/]=|(^|[^A-Za-z0-9_.])(printf|endif|endfor|endwhile|endfunction|end_try_catch|unwind_protect)([^A-Za-z0-9_]|$)/)
    fail(FNR, "syntax MATLAB lacks (\"\", !, #, ++, +=, printf, endif...): " $0)
  next
}
/^[ \t]*```/ {
  lang = $0; sub(/^[ \t]*```[ \t]*/, "", lang); sub(/[ \t].*$/, "", lang)
  if (lang == "") fail(FNR, "a code block without a language (```matlab, ```sh, ```text)")
  if (lang == "matlab") {
    n++; out = blocks "/" n ".m"; printf "" > out
    mode = marker == "" ? "real" : marker
    if (mode != "real" && mode != "mock" && mode !~ /^skip [^ ]/) fail(FNR, "unknown example marker \"" marker "\"")
    printf "%d %s %d %s\n", n, FILENAME, FNR, mode
  } else if (marker != "") {
    fail(FNR, "an example marker before a ```" lang " block")
  }
  inside = 1; marker = ""; next
}
/^<!-- example:.*-->[ \t]*$/ { marker = $0; sub(/^<!-- example:[ \t]*/, "", marker); sub(/[ \t]*-->[ \t]*$/, "", marker); next }
/[^ \t]/ { marker = "" }
END { if (inside) fail(FNR, "a code block that does not end") }
' "$@" > "$work/manifest" || exit 2

failed=0 ran=0 skipped=0
relative() { echo "${1#"$source_dir"/}"; }
while read -r first second third mode; do
    if [ "$first" = ERROR ]; then
        echo "FAILED $(relative "$second") $third $mode" >&2
        failed=$((failed + 1))
        continue
    fi
    n=$first doc=$(relative "$second") line=$third
    case $mode in
        skip*) skipped=$((skipped + 1)); continue ;;
        mock) mex_dir=$build_dir/octave-mock ;;
        *) mex_dir=$build_dir/octave ;;
    esac
    ran=$((ran + 1))
    dir=$work/$n
    mkdir "$dir"
    ln -s "$source_dir/matlab" "$dir/matlab"
    ln -s "$source_dir/examples" "$dir/examples"
    ln -s "$build_dir" "$dir/build"
    cp "$work/blocks/$n.m" "$dir/doc_example.m"
    missing=""
    for folder in $(grep -o "addpath([^)]*)" "$dir/doc_example.m" | grep -o "'[^']*'" | tr -d "'"); do
        case $folder in /*) ;; *) [ -d "$dir/$folder" ] || missing="$missing $folder" ;; esac
    done
    if [ -n "$missing" ]; then
        echo "FAILED $doc:$line: the block adds folders that do not exist:$missing" >&2
        failed=$((failed + 1))
        continue
    fi
    (cd "$dir" && env -u KXSIM_SCENARIO -u KXSIM_LOG timeout 120 "$octave" --no-gui --norc --no-history --quiet --eval "
      warning('off', 'Octave:gnuplot-graphics');
      set(0, 'defaultfigurevisible', 'off');
      addpath('$source_dir/matlab', '$mex_dir');
      try
        doc_example;
      catch err
        at = 0;
        for k = 1:numel(err.stack)
          if strcmp(err.stack(k).name, 'doc_example'), at = err.stack(k).line; break; end
        end
        fprintf(2, '%s:%d: %s\n', '$doc', $line + at, err.message);
        exit(1);
      end
      exit(0);") > "$dir/output" 2>&1
    status=$?
    if [ -n "${KX_EXAMPLES_SHOW:-}" ]; then
        echo "--- $doc:$line ($mode build)"
        cat "$dir/output"
    fi
    if [ $status -ne 0 ]; then
        [ $status -eq 124 ] && echo "(timed out after 120 s)" >> "$dir/output"
        echo "FAILED $doc:$line ($mode build):" >&2
        tail -n 25 "$dir/output" | sed 's/^/    /' >&2
        failed=$((failed + 1))
    fi
done < "$work/manifest"

echo "doc examples: $ran run, $skipped skipped, $failed failed"
if [ $ran -eq 0 ]; then
    echo 'no ```matlab block found in:' "$@" >&2
    exit 1
fi
[ $failed -eq 0 ]
