#!/usr/bin/env bash
# Scrub benchmarks: poolcommand scrub beside plain tools doing the same work,
# on vaults made by vaultadmin generate, warm cache.
#
#   depth:   8 tasks whose pools hold 1 GiB of container records (and their
#            index files) -- a full scrub beside `cat` of the same pool files
#   breadth: 20,000 small tasks, every pool verified before -- a scrub with
#            nothing to do (--max-age 365d, so a vault kept from an earlier
#            day still counts) beside `find` + `stat` of the same pool files;
#            wall time and system calls per task (strace -c -f)
#   record:  the record's size per container file
#
# Every figure is the best of three runs. Timings on a shared machine are
# noisy: run it twice and compare the ratios, not the seconds.
#
# Usage: bench/scrub/run.sh [build-dir] [work-dir]   (default: build, /tmp/vault-scrub-bench)
set -euo pipefail
BUILD=$(realpath "${1:-build}")
WORK=${2:-/tmp/vault-scrub-bench}
ADMIN=$BUILD/bin/vaultadmin
POOLCOMMAND=$BUILD/bin/poolcommand
BREADTH_TASKS=${BREADTH_TASKS:-20000}
mkdir -p "$WORK"

seconds() { date +%s.%N; }
elapsed() { echo "$(seconds) - $1" | bc -l; }

best_of_three() {
  local best=""
  for _ in 1 2 3; do
    local start; start=$(seconds)
    "$@" >/dev/null 2>&1 || true
    local took; took=$(elapsed "$start")
    if [[ -z $best ]] || (( $(echo "$took < $best" | bc -l) )); then best=$took; fi
  done
  printf '%.3f' "$best"
}

# Generates a vault once and gives it a state and log folder of its own.
vault() {  # root tasks safesets records seed
  if [[ ! -f $1/node.conf ]]; then
    rm -rf "$1"
    "$ADMIN" generate --root "$1" --tasks "$2" --safesets-per-task "$3" --records-per-safeset "$4" \
      --affected-share 1 --marked-share 0 --nodes 1 --seed "$5" >/dev/null
    sed -i "s|^SpoolFolder=.*|&\nStateFolder=$1/state\nLogFolder=$1/logs|" "$1/node.conf"
  fi
}

scrub() {  # root args...
  local root=$1; shift
  VAULT_NODE_CONFIG="$root/node.conf" "$POOLCOMMAND" scrub --no-progress "$@"
}

pool_files() { find "$1/storage" -type f -path '*/pool/*' | sort; }

echo "== depth: 1 GiB of container records in 8 pools"
DEPTH=$WORK/depth
vault "$DEPTH" 8 4 262144 1
mapfile -t FILES < <(pool_files "$DEPTH")
BYTES=$(du -cb "${FILES[@]}" | tail -1 | cut -f1)
cat "${FILES[@]}" >/dev/null  # warm the cache
# Without --max-age every run is a new pass over all 8 pools.
T_SCRUB=$(best_of_three scrub "$DEPTH")
T_CAT=$(best_of_three sh -c 'cat "$@" > /dev/null' sh "${FILES[@]}")
# The same scrub with each verify's checks in one thread.
ONE_THREAD=$WORK/node-one-verify-thread.conf
{ cat "$DEPTH/node.conf"; printf '\n[numbers]\nVerifyThreads=1\n'; } >"$ONE_THREAD"
T_ONE=$(best_of_three env VAULT_NODE_CONFIG="$ONE_THREAD" "$POOLCOMMAND" scrub --no-progress)
# The same verifies one by one through poolcommand run: what the scrub adds.
run_each() {
  for id in $(seq 1 8); do
    VAULT_NODE_CONFIG="$DEPTH/node.conf" "$POOLCOMMAND" run --task-id "$id" --operation verify >/dev/null || return 1
  done
}
T_RUN=$(best_of_three run_each)
printf 'pool files: %d, %.2f GiB (containers, sync lists, index files)\n' "${#FILES[@]}" "$(echo "$BYTES / 1073741824" | bc -l)"
printf 'scrub: %ss   cat: %ss   ratio: %.2fx (goal: within 1.2x)\n' "$T_SCRUB" "$T_CAT" "$(echo "$T_SCRUB / $T_CAT" | bc -l)"
printf 'the same scrub, VerifyThreads=1: %ss   ratio to cat: %.2fx\n' "$T_ONE" "$(echo "$T_ONE / $T_CAT" | bc -l)"
printf 'poolcommand run --operation verify, pool by pool: %ss   scrub / run: %.2fx\n' "$T_RUN" "$(echo "$T_SCRUB / $T_RUN" | bc -l)"

echo "== breadth: ${BREADTH_TASKS} small tasks, nothing to do"
BREADTH=$WORK/breadth
vault "$BREADTH" "$BREADTH_TASKS" 2 16 2
if [[ ! -f $BREADTH/state/scrub.record ]]; then
  START=$(seconds)
  scrub "$BREADTH" >/dev/null || true  # verifies every pool once (minutes: a synced record line per pool)
  printf 'first scrub (every pool verified): %.1fs\n' "$(elapsed "$START")"
fi
find "$BREADTH/storage" -type f -path '*/pool/*' -exec stat -c '%d %i %s %Y' {} + >/dev/null  # warm
T_SCRUB=$(best_of_three scrub "$BREADTH" --max-age 365d)
T_FIND=$(best_of_three sh -c 'find "$1" -type f -path "*/pool/*" -exec stat -c "%d %i %s %Y" {} + > /dev/null' sh "$BREADTH/storage")
printf 'scrub --max-age 365d: %ss   find+stat: %ss   ratio: %.2fx (goal: within 1.5x)\n' \
  "$T_SCRUB" "$T_FIND" "$(echo "$T_SCRUB / $T_FIND" | bc -l)"

syscalls() { strace -f -c -o "$WORK/strace.txt" "$@" >/dev/null 2>&1 || true; awk '$NF == "total" { print $4 }' "$WORK/strace.txt"; }
C_SCRUB=$(syscalls env VAULT_NODE_CONFIG="$BREADTH/node.conf" "$POOLCOMMAND" scrub --no-progress --max-age 365d)
C_FIND=$(syscalls sh -c 'find "$1" -type f -path "*/pool/*" -exec stat -c "%d %i %s %Y" {} + > /dev/null' sh "$BREADTH/storage")
printf 'system calls per task: scrub %.1f   find+stat %.1f\n' \
  "$(echo "$C_SCRUB / $BREADTH_TASKS" | bc -l)" "$(echo "$C_FIND / $BREADTH_TASKS" | bc -l)"

echo "== record"
RECORD=$BREADTH/state/scrub.record
CONTAINERS=$(grep -c '\.vfl$' "$RECORD")
SIZE=$(stat -c %s "$RECORD")
printf 'record: %d bytes for %d pools, %d containers: %.1f bytes per container (%.1f per pool)\n' \
  "$SIZE" "$(grep -c '^pool ' "$RECORD")" "$CONTAINERS" "$(echo "$SIZE / $CONTAINERS" | bc -l)" \
  "$(echo "$SIZE / $(grep -c '^pool ' "$RECORD")" | bc -l)"
