#!/usr/bin/env bash
# The README's walkthroughs must be something one can paste and get what is
# shown. Between the lines "<!-- walkthrough begin -->" and
# "<!-- walkthrough end -->" of README.md, every indented line starting with
# "$ " is a command, and the indented lines after it (up to the next command,
# in the same or a later code block) are what it prints. This test runs the
# commands in order in one shell, from a folder where build/ is the build
# folder, and compares. The demo vault's folder /tmp/demo is replaced by a
# folder of the test's own; date and time stamps (YYYY-MM-DD HH:MM:SS) and
# runs of blanks (the tab-separated columns) are compared as such, not
# literally.
# Usage: readme_walkthrough_test.sh README BUILD_DIR
set -euo pipefail
README=$1
BUILD=$(cd "$2" && pwd)
TMP=$(mktemp -d /tmp/vault-readme-XXXXXX)
trap 'rm -rf "$TMP"' EXIT
unset VAULT_NODE_CONFIG VAULT_PLUGIN_DIR
export LC_ALL=C.UTF-8

# Commands and expected outputs: one file per command in $TMP/steps.
mkdir "$TMP/steps"
awk -v dir="$TMP/steps" '
    /<!-- walkthrough begin -->/ { inside = 1; next }
    /<!-- walkthrough end -->/ { inside = 0; next }
    !inside { next }
    /^    \$ / { n++; sub(/^    \$ /, ""); print > (dir "/" sprintf("%03d", n) ".cmd"); close(dir "/" sprintf("%03d", n) ".cmd");
               printf "" > (dir "/" sprintf("%03d", n) ".expected"); next }
    /^    / && n > 0 { sub(/^    /, ""); print >> (dir "/" sprintf("%03d", n) ".expected"); next }
' "$README"
steps=$(find "$TMP/steps" -name '*.cmd' | wc -l)
[ "$steps" -gt 0 ] || { echo "FAIL: no walkthrough commands found in $README"; exit 1; }

# One shell runs them all, so that exports and folders carry over; a marker
# line after each command splits the output.
ln -s "$BUILD" "$TMP/build"
script=$TMP/walkthrough.sh
: >"$script"
for cmd in "$TMP"/steps/*.cmd; do
    step=$(basename "$cmd" .cmd)
    sed -e "s#/tmp/demo#$TMP/demo#g" "$cmd" >>"$script"
    printf '\necho "@@@ %s"\n' "$step" >>"$script"
done
(cd "$TMP" && bash "$script" >"$TMP/output" 2>&1) || true

normalise() {
    sed -e "s#$TMP/demo#/tmp/demo#g" \
        -e 's/[0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\} [0-9]\{2\}:[0-9]\{2\}:[0-9]\{2\}\(\.[0-9]\{1,\}\)\{0,1\}/<time>/g' \
        -e 's/[[:space:]]\{1,\}/ /g' -e 's/ $//'
}
failures=0
awk -v dir="$TMP/steps" '
    /^@@@ [0-9]+$/ { close(file); n = $2; file = ""; next }
    { if (file == "") { step = sprintf("%03d", n + 1); file = dir "/" step ".actual" } print >> file }
' <(sed -e 's/^@@@ 0*\([0-9]\)/@@@ \1/' "$TMP/output")
for cmd in "$TMP"/steps/*.cmd; do
    step=$(basename "$cmd" .cmd)
    touch "$TMP/steps/$step.actual"
    if ! diff -u <(normalise <"$TMP/steps/$step.expected") <(normalise <"$TMP/steps/$step.actual") \
        >"$TMP/steps/$step.diff"; then
        echo "FAIL: \$ $(cat "$cmd")"
        sed -e 's/^/    /' "$TMP/steps/$step.diff"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || exit 1
echo "the README's walkthrough printed what it shows ($steps commands)"
