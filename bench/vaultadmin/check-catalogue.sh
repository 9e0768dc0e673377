#!/usr/bin/env bash
# vaultadmin check-catalogue on a large synthetic vault: the check beside the
# storage scan pass and the catalogue walk it is made of, and beside the plain
# tools reading the same data (find | xargs cat of the labels, sqlite3 of the
# task table), in interleaved rounds (check_catalogue_bench), then the whole
# program once.
#
# Usage: bench/vaultadmin/check-catalogue.sh [build-dir] [work-dir] [tasks] [rounds]
#        (defaults: build, /tmp/vault-bench-check, 100000, 2)
# The vault is generated once (tasks without safesets: the check reads labels
# and folders only) and kept for later runs.
set -euo pipefail
BUILD=$(realpath "${1:-build}")
WORK=${2:-/tmp/vault-bench-check}
TASKS=${3:-100000}
ROUNDS=${4:-2}
ADMIN=$BUILD/bin/vaultadmin
VAULT=$WORK/vault-$TASKS
mkdir -p "$WORK"
if [ ! -f "$VAULT/node.conf" ] || [ -e "$VAULT/.incomplete" ]; then
    "$ADMIN" generate --root "$VAULT" --force --tasks "$TASKS" --safesets-per-task 0 --records-per-safeset 1 \
        --affected-share 0 --marked-share 0 --nodes 1 --no-progress | tail -2
fi
"$BUILD/bin/check_catalogue_bench" "$VAULT/node.conf" "$ROUNDS"

start=$(date +%s.%N)
"$ADMIN" check-catalogue --config "$VAULT/node.conf" --no-progress | tail -1
printf 'vaultadmin check-catalogue (the program, once): %.2f s\n' "$(echo "$(date +%s.%N) - $start" | bc -l)"
