#!/usr/bin/env bash
# An installed prefix on its own: the installed vaultadmin builds the demo
# vault and the installed Trevalon scans it. Nothing points at a build folder
# (no VAULT_PLUGIN_DIR): the programs must load the installed libraries and
# the interface manager the plug-in from the folder the install put it in.
# Usage: installed_scan_test.sh PREFIX
set -euo pipefail
PREFIX=$1
BIN=$PREFIX/bin
unset VAULT_PLUGIN_DIR VAULT_BIN_DIR LD_LIBRARY_PATH
TMP=$(mktemp -d /tmp/vault-installed-XXXXXX)
trap 'rm -rf "$TMP"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

for program in Trevalon vaultadmin; do
    libraries=$(ldd "$BIN/$program")
    grep -q "libShared\.so\.[0-9.]* => $PREFIX/" <<<"$libraries" ||
        { echo "$libraries"; fail "$program does not load libShared from $PREFIX"; }
done
[ -f "$PREFIX/lib/vault/plugins/libSqlCatalogue.so" ] || fail "no plug-in in $PREFIX/lib/vault/plugins"
[ -f "$PREFIX/share/doc/vault-maintenance/examples/node.conf" ] || fail "no example node configuration"
for page in man1/Trevalon.1 man1/poolcommand.1 man1/cataloguequery.1 man1/vaultadmin.1 man5/vault-node.conf.5; do
    [ -f "$PREFIX/share/man/$page.gz" ] || fail "no manual page $page.gz"
done
page=$(MANWIDTH=80 man -M "$PREFIX/share/man" Trevalon 2>&1) || true
grep -q '^TREVALON(1)' <<<"$page" || { echo "$page"; fail "man Trevalon does not show the installed page"; }
grep -q '^Trevalon 8\.00\.7416 ' <<<"$("$BIN/Trevalon" --version)" || fail "Trevalon --version"
grep -q '^vaultadmin ' <<<"$("$BIN/vaultadmin" --version)" || fail "vaultadmin --version"

"$BIN/vaultadmin" demo --root "$TMP/vault" >"$TMP/demo.out" || { cat "$TMP/demo.out"; fail "vaultadmin demo"; }
export VAULT_NODE_CONFIG=$TMP/vault/node.conf
mkdir "$TMP/work"
status=0
(cd "$TMP/work" && "$BIN/Trevalon" >"$TMP/scan.out" 2>&1) || status=$?
[ "$status" -eq 0 ] || { cat "$TMP/scan.out"; fail "Trevalon exited with $status"; }

grep -q -- '-I-0001 Finished checking for [1-9][0-9]* tasks\.\.\.' "$TMP/work/Trevalon.log" ||
    fail "no finished line in the log"
grep -q '"Daily documents","Safe"' "$TMP/work/Output.csv" || fail "Daily documents not reported safe"
grep -q '"Photo archive","AtRisk"' "$TMP/work/Output.csv" || fail "Photo archive not reported at risk"
[ "$(find "$TMP/vault" -name ombrik.exe.config | wc -l)" -ge 1 ] || fail "no marker file left"
# VAULT_PLUGIN_DIR still wins over the installed folder.
mkdir "$TMP/no-plugins"
if VAULT_PLUGIN_DIR=$TMP/no-plugins "$BIN/vaultadmin" show >"$TMP/override.out" 2>&1; then
    fail "VAULT_PLUGIN_DIR naming an empty folder was ignored"
fi
grep -q "$TMP/no-plugins/libSqlCatalogue.so" "$TMP/override.out" ||
    { cat "$TMP/override.out"; fail "the error does not name the folder of VAULT_PLUGIN_DIR"; }
echo "installed programs scanned the demo vault from $PREFIX"
