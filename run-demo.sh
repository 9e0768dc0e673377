#!/usr/bin/env bash
# Sets everything up on a fresh machine and runs the scan tool on a demo vault.
#
# Installs the Debian packages the build needs (when missing), builds the
# project in build/, creates a small demo vault in demo/vault with the
# administration tool, and runs Trevalon twice in demo/work:
#   1. while another process holds the lock of one task (that task is deferred
#      to UnknownTasks.txt);
#   2. after that process has ended (a re-check pass checks the deferred task).
# Then it shows what came out.
#
# Usage: ./run-demo.sh [BIN]
# With BIN, a folder of installed programs (/usr/bin after installing the
# package, P/bin after cmake --install), it runs those and builds nothing.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD

if [ $# -ge 1 ]; then
    BIN=$(cd "$1" && pwd)
else
    bash .ci/install-packages.sh
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$(nproc)" --target Trevalon vaultadmin SqlCatalogue
    BIN=$ROOT/build/bin
fi
DEMO=$ROOT/demo
rm -rf "$DEMO"
"$BIN/vaultadmin" demo --root "$DEMO/vault" >/dev/null
export VAULT_NODE_CONFIG=$DEMO/vault/node.conf
mkdir -p "$DEMO/work"

section() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

section "The demo vault ($DEMO/vault; description in vault.json)"
"$BIN/vaultadmin" show

LOCKED_ID=$("$BIN/vaultadmin" tasks | awk -F'\t' '$2 == "Payroll database" { print $1 }')
section "Another process holds the lock of task $LOCKED_ID (Payroll database)"
"$BIN/vaultadmin" hold-lock --task-id "$LOCKED_ID" --until-killed >"$DEMO/holder.out" 2>&1 &
HOLDER=$!
trap 'kill $HOLDER 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q holding "$DEMO/holder.out" 2>/dev/null && break; sleep 0.1; done
cat "$DEMO/holder.out"

section "First run of Trevalon (in $DEMO/work)"
(cd "$DEMO/work" && "$BIN/Trevalon") || echo "Trevalon exited with $?"
kill "$HOLDER"; wait "$HOLDER" 2>/dev/null || true
trap - EXIT

section "Output.csv after the first run"
cat "$DEMO/work/Output.csv"
section "UnknownTasks.txt after the first run (tasks to re-check)"
cat "$DEMO/work/UnknownTasks.txt"

section "Second run of Trevalon: the lock is gone, so it re-checks the deferred task"
(cd "$DEMO/work" && "$BIN/Trevalon") || echo "Trevalon exited with $?"

section "Output.csv after the second run (its lines are appended)"
cat "$DEMO/work/Output.csv"
section "UnknownTasks.txt after the second run (empty: every task was checked)"
cat "$DEMO/work/UnknownTasks.txt"
section "Marker files left beside the synchronisation files of at-risk tasks"
find "$DEMO/vault/storage" -name 'ombrik.exe.config' -o -name 'sorvendel.exe.config' | sort
section "The log"
echo "$DEMO/work/Trevalon.log"
