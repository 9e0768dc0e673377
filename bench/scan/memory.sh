#!/usr/bin/env bash
# Peak memory (maximum resident set) of one Trevalon run on generated breadth
# vaults of 2,000, 20,000 and 100,000 tasks, beside the plain tool reading the
# same task list: `sqlite3 <catalogue> 'SELECT * FROM task'`.
#
# Usage: bench/scan/memory.sh [build-dir] [work-dir] [task counts...]
#        (defaults: build, /tmp/vault-bench-memory, 2000 20000 100000)
# A vault of 100,000 tasks takes about 1.5 minutes and 2.5 GB to generate; it
# is kept in the work folder for the next run.
set -euo pipefail
BUILD=$(realpath "${1:-build}")
WORK=${2:-/tmp/vault-bench-memory}
shift $(( $# > 2 ? 2 : $# ))
COUNTS=("$@")
[[ ${#COUNTS[@]} -gt 0 ]] || COUNTS=(2000 20000 100000)
ADMIN=$BUILD/bin/vaultadmin
SCAN=$BUILD/bin/Trevalon
mkdir -p "$WORK"

peak_kib() { /usr/bin/time -f '%M' -o "$WORK/time.txt" "$@" >/dev/null 2>&1 || true; tail -1 "$WORK/time.txt"; }

printf '%8s  %14s  %16s  %s\n' tasks "Trevalon MiB" "sqlite3 list MiB" "Trevalon KiB/task"
for n in "${COUNTS[@]}"; do
  vault=$WORK/tasks-$n
  if [[ ! -f $vault/node.conf ]]; then
    rm -rf "$vault"
    "$ADMIN" generate --root "$vault" --tasks "$n" --safesets-per-task 2 --records-per-safeset 16 \
      --affected-share 0.5 --marked-share 0 --nodes 1 --seed 2 >/dev/null
  fi
  mkdir -p "$vault/work"
  rm -f "$vault/work"/UnknownTasks.txt "$vault/work"/Output.csv "$vault/work"/Trevalon.log
  scan=$(cd "$vault/work" && VAULT_NODE_CONFIG="$vault/node.conf" peak_kib "$SCAN")
  plain=$(peak_kib sqlite3 "$vault/catalogue.db" 'SELECT * FROM task')
  printf '%8d  %14.1f  %16.1f  %.2f\n' "$n" "$(echo "$scan / 1024" | bc -l)" "$(echo "$plain / 1024" | bc -l)" \
    "$(echo "$scan / $n" | bc -l)"
done
