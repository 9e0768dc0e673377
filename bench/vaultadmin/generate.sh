#!/usr/bin/env bash
# vaultadmin generate: wall time and flushes to disk of a synthetic vault
# build, beside `cp -a` of the same storage tree (the plain tool creating the
# same files and folders) and one `sync`.
#
# Usage: bench/vaultadmin/generate.sh [build-dir] [work-dir] [tasks]
#        (defaults: build, /tmp/vault-bench-generate, 2000)
set -euo pipefail
BUILD=$(realpath "${1:-build}")
WORK=${2:-/tmp/vault-bench-generate}
TASKS=${3:-2000}
ADMIN=$BUILD/bin/vaultadmin
mkdir -p "$WORK"
rm -rf "$WORK/vault" "$WORK/copy"

seconds() { date +%s.%N; }

ARGS=(generate --root "$WORK/vault" --tasks "$TASKS" --safesets-per-task 2 --records-per-safeset 16
      --affected-share 0.5 --marked-share 0 --nodes 1 --seed 2)
start=$(seconds)
"$ADMIN" "${ARGS[@]}" | tail -1
T_GEN=$(echo "$(seconds) - $start" | bc -l)

# The same build again under strace, counting the calls that flush to disk.
COUNTS=$(strace -f -c -e trace=fsync,fdatasync,syncfs "$ADMIN" "${ARGS[@]}" --force 2>&1 >/dev/null |
         awk '$NF ~ /^(fsync|fdatasync|syncfs)$/ { printf "%s %s  ", $NF, $4 }')

sync
start=$(seconds)
cp -a "$WORK/vault/storage" "$WORK/copy" && sync
T_CP=$(echo "$(seconds) - $start" | bc -l)
FILES=$(find "$WORK/vault/storage" -type f | wc -l)

printf 'tasks: %d   storage files: %d\n' "$TASKS" "$FILES"
printf 'vaultadmin generate: %.2f s (catalogue and storage)   flush calls: %s\n' "$T_GEN" "$COUNTS"
printf 'cp -a storage + sync: %.2f s\n' "$T_CP"
rm -rf "$WORK/copy"
