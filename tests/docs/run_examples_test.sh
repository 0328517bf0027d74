#!/bin/sh
# The examples' runner fails on what it exists for: a document with one block
# of each kind, where each failing block must be named by its line and the
# others must not be.
#
#   tests/docs/run_examples_test.sh SOURCE_DIR BUILD_DIR
set -u

runner=$(dirname "$0")/run_examples.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
doc=$work/guide.md
cat > "$doc" <<'EOF'
Passes on the real build only:
```matlab
s = kx_status();
assert(strcmp(s.backend_variant, 'mex'));
kx_close();
```
<!-- example: mock -->

```matlab
s = kx_status();
assert(strcmp(s.backend_variant, 'mock'));
```
<!-- example: skip (only MATLAB runs it) -->
```matlab
error('a skipped block ran');
```
```matlab
x = 1;
kx_connect('NO SUCH HEADSET');
```
```matlab
addpath('build/no-such-folder');
```
```matlab
x = 1; if x != 1, disp("no"); end
```
```
untagged
```
<!-- example: mock -->
```sh
true
```
EOF

failures=0
"$runner" "$1" "$2" "$doc" > "$work/out" 2>&1 && { echo "the runner passed a failing document" >&2; failures=1; }
expect() {
    grep -qF -- "$1" "$work/out" || { echo "the runner's output lacks \"$1\"" >&2; failures=$((failures + 1)); }
}
expect "doc examples: 5 run, 1 skipped, 5 failed"
expect "guide.md:17 (real build):"
expect "guide.md:19: kx_connect: no headset named \"NO SUCH HEADSET\" is in range"
expect "guide.md:21: the block adds folders that do not exist: build/no-such-folder"
expect "guide.md:25: syntax MATLAB lacks"
expect "guide.md:27: a code block without a language"
expect "guide.md:31: an example marker before a \`\`\`sh block"
if grep -qE "guide.md:(2|9|14) " "$work/out"; then
    echo "the runner failed a block that passes or is skipped" >&2
    failures=$((failures + 1))
fi
[ $failures -eq 0 ] || { sed 's/^/    /' "$work/out" >&2; exit 1; }
echo "the runner names every failing block"
