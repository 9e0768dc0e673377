#!/usr/bin/env bash
# The manual pages and the programs' --help must not drift apart: every option
# a program's --help prints (and every option each subcommand's --help prints)
# must be described in the program's manual page, as the tag of an item (a
# line of the formatted page that starts with the option), and every
# subcommand must be named in it. Every page must also format without a groff
# warning, as lintian checks it.
# Usage: manual_pages_test.sh MAN_SOURCE_DIR BIN_DIR
set -euo pipefail
MAN=$1
BIN=$2
export LC_ALL=C.UTF-8 MANWIDTH=200
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The page as text: no hyphenation at the wide width, overstrikes removed.
render() { man -l -P cat "$1" 2>/dev/null | sed -e 's/.\x08//g'; }

# Option names of a --help text: on every line that starts with blanks and a
# dash, the names in the first column (up to two blanks in a row).
options_of() {
    sed -n -e 's/^[[:space:]]\{1,\}\(-[^[:space:]].*\)$/\1/p' <<<"$1" |
        sed -e 's/[[:space:]]\{2,\}.*//' |
        grep -o -e '--\?[A-Za-z][-A-Za-z0-9]*' |
        sort -u || true
}

# Subcommand names of a CLI11 --help text: the first word of each line of the
# "Subcommands:" block.
subcommands_of() {
    awk '/^Subcommands:/ { inside = 1; next } inside && /^[^[:space:]]/ { inside = 0 }
         inside && NF > 0 { print $1 }' <<<"$1"
}

# in_page PAGE_TEXT WORD: WORD stands in the page as a word of its own.
in_page() { grep -q -e "\(^\|[^-A-Za-z0-9]\)$(sed -e 's/[.[\*^$]/\\&/g' <<<"$2")\([^-A-Za-z0-9]\|$\)" <<<"$1"; }

TMP=$(mktemp -d /tmp/vault-manpages-XXXXXX)
trap 'rm -rf "$TMP"' EXIT
for page in "$MAN"/*.[0-9]; do
    name=$(basename "$page")
    warnings=$(man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "$name: groff warnings: $warnings"
    render "$page" >"$TMP/$name.txt"
    [ -s "$TMP/$name.txt" ] || fail "$name: formats to nothing"
done

checked=0
for program in Trevalon poolcommand cataloguequery vaultadmin; do
    page=$MAN/$program.1
    [ -f "$page" ] || { fail "no manual page $program.1"; continue; }
    text=$(cat "$TMP/$program.1.txt")
    # The items' tags: formatted at the indent of 7 blanks, starting with a dash.
    tags=$(grep -e '^       -' "$TMP/$program.1.txt" || true)
    help=$("$BIN/$program" --help) || { fail "$program --help exited with $?"; continue; }
    for option in $(options_of "$help"); do
        in_page "$tags" "$option" || fail "$program: option $option of --help is not an item of $program.1"
        checked=$((checked + 1))
    done
    for sub in $(subcommands_of "$help"); do
        in_page "$text" "$sub" || fail "$program: subcommand $sub is not in $program.1"
        sub_help=$("$BIN/$program" "$sub" --help) || { fail "$program $sub --help exited with $?"; continue; }
        for option in $(options_of "$sub_help"); do
            in_page "$tags" "$option" || fail "$program $sub: option $option of --help is not an item of $program.1"
            checked=$((checked + 1))
        done
    done
done
[ "$checked" -gt 0 ] || fail "no option found in any --help: the help parser is broken"
[ "$failures" -eq 0 ] || exit 1
echo "every option of every --help is in its manual page ($checked checked)"
