#!/usr/bin/env bash
# The node configuration's keys are listed in three places that must agree:
# the table of docs/configuration.md, the annotated example packaging/node.conf
# (every key, commented out at its default, in its section) and the manual
# page vault-node.conf(5) (every key an item of its section).
# Usage: node_conf_keys_test.sh SOURCE_DIR
set -euo pipefail
SRC=$1
export LC_ALL=C.UTF-8 MANWIDTH=200
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# "section key" pairs of the documentation's table: its rows start with
# "| node |", "| database |", ...; the keys are the names in backquotes of
# the second column.
keys=$(awk -F'|' '$2 ~ /^ *(node|database|local|numbers) *$/ {
           section = $2; gsub(/ /, "", section)
           rest = $3
           while (match(rest, /`[A-Za-z_0-9]+`/)) {
               print section, substr(rest, RSTART + 1, RLENGTH - 2)
               rest = substr(rest, RSTART + RLENGTH)
           }
       }' "$SRC/docs/configuration.md")
[ -n "$keys" ] || { echo "FAIL: no keys found in docs/configuration.md"; exit 1; }

page=$(man -l -P cat "$SRC/docs/man/vault-node.conf.5" 2>/dev/null | sed -e 's/.\x08//g')
while read -r section key; do
    # The example: "#Key=" after the header [section] and before the next one.
    awk -v section="[$section]" -v key="#$key=" '
        /^\[/ { inside = ($0 == section) }
        inside && index($0, key) == 1 { found = 1 }
        END { exit !found }' "$SRC/packaging/node.conf" ||
        fail "$key of [$section] is not in the example packaging/node.conf"
    # The page: an item of the section "[section] SECTION".
    awk -v header="[$section] SECTION" -v key="$key" '
        /^[^ ]/ { inside = ($0 == header) }
        inside && /^       [A-Za-z]/ { for (i = 1; i <= NF; i++) { word = $i; gsub(/[,.]$/, "", word); if (word == key) found = 1 } }
        END { exit !found }' <<<"$page" ||
        fail "$key of [$section] is not an item of vault-node.conf(5)"
done <<<"$keys"
[ "$failures" -eq 0 ] || exit 1
echo "every key of docs/configuration.md is in the example and the manual page"
