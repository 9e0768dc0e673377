#!/usr/bin/env bash
# Scan benchmarks: Trevalon's wall time beside plain tools doing the same
# reading, on generated vaults, warm cache.
#
#   depth:   few tasks whose affected safesets hold 1 GiB of unmarked records
#            (every record is read) -- beside `cat` of the same containers
#   breadth: 20,000 small tasks -- tasks per second, beside `find` + `cat`
#            over the same storage folders, and system calls per task
#            (strace -c -f) beside those of `find` + `cat`
#
# Peak memory at 2,000, 20,000 and 100,000 tasks: bench/scan/memory.sh.
# Breadth on a cold page cache, reading ahead off and on, beside cat:
# bench/scan/cold.sh (root).
#
# Usage: bench/scan/run.sh [build-dir] [work-dir]   (default: build, /tmp/vault-bench)
set -euo pipefail
BUILD=$(realpath "${1:-build}")
WORK=${2:-/tmp/vault-bench}
ADMIN=$BUILD/bin/vaultadmin
SCAN=$BUILD/bin/Trevalon
DEPTH_GIB=${DEPTH_GIB:-1}
BREADTH_TASKS=${BREADTH_TASKS:-20000}
mkdir -p "$WORK"

seconds() { date +%s.%N; }
elapsed() { echo "$(seconds) - $1" | bc -l; }

# Runs a command three times and prints the best wall time in seconds.
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

scan_once() {  # vault-root work-folder
  rm -f "$2"/UnknownTasks.txt "$2"/Output.csv "$2"/Trevalon.log
  (cd "$2" && VAULT_NODE_CONFIG="$1/node.conf" "$SCAN" >/dev/null)
}

containers_of() { find "$1/storage" -type f -name '*.vfl' | sort; }

echo "== depth: ${DEPTH_GIB} GiB of unmarked records in affected safesets"
DEPTH=$WORK/depth
if [[ ! -f $DEPTH/node.conf ]]; then
  rm -rf "$DEPTH"
  # 8 tasks x 4 safesets x 32 MiB (262,144 records of 128 bytes) per GiB.
  "$ADMIN" generate --root "$DEPTH" --tasks $((8 * DEPTH_GIB)) --safesets-per-task 4 \
    --records-per-safeset 262144 --affected-share 1 --marked-share 0 --nodes 1 --seed 1 >/dev/null
fi
mkdir -p "$DEPTH/work"
mapfile -t FILES < <(containers_of "$DEPTH")
BYTES=$(du -cb "${FILES[@]}" | tail -1 | cut -f1)
cat "${FILES[@]}" >/dev/null  # warm the cache
T_SCAN=$(best_of_three scan_once "$DEPTH" "$DEPTH/work")
T_CAT=$(best_of_three sh -c 'cat "$@" > /dev/null' sh "${FILES[@]}")
printf 'containers: %d files, %.2f GiB\n' "${#FILES[@]}" "$(echo "$BYTES / 1073741824" | bc -l)"
printf 'Trevalon: %ss   cat: %ss   ratio: %.2fx (goal: within 1.1x)\n' "$T_SCAN" "$T_CAT" "$(echo "$T_SCAN / $T_CAT" | bc -l)"

echo "== breadth: ${BREADTH_TASKS} small tasks"
BREADTH=$WORK/breadth
if [[ ! -f $BREADTH/node.conf ]]; then
  rm -rf "$BREADTH"
  "$ADMIN" generate --root "$BREADTH" --tasks "$BREADTH_TASKS" --safesets-per-task 2 \
    --records-per-safeset 16 --affected-share 0.5 --marked-share 0 --nodes 1 --seed 2 >/dev/null
fi
mkdir -p "$BREADTH/work"
find "$BREADTH/storage" -type f -exec cat {} + >/dev/null  # warm the cache
T_SCAN=$(best_of_three scan_once "$BREADTH" "$BREADTH/work")
T_FIND=$(best_of_three sh -c 'find "$1" -type f -exec cat {} + > /dev/null' sh "$BREADTH/storage")
printf 'Trevalon: %ss (%.0f tasks/s)   find+cat: %ss   ratio: %.2fx (goal: within 3x)\n' \
  "$T_SCAN" "$(echo "$BREADTH_TASKS / $T_SCAN" | bc -l)" "$T_FIND" "$(echo "$T_SCAN / $T_FIND" | bc -l)"

# System calls of one scan and of find + cat, per task (strace -c -f counts
# every call of every thread; the last line of its table is the total).
syscalls() { strace -f -c -o "$WORK/strace.txt" "$@" >/dev/null 2>&1 || true; awk '$NF == "total" { print $4 }' "$WORK/strace.txt"; }
rm -f "$BREADTH/work"/UnknownTasks.txt "$BREADTH/work"/Output.csv "$BREADTH/work"/Trevalon.log
C_SCAN=$(cd "$BREADTH/work" && VAULT_NODE_CONFIG="$BREADTH/node.conf" syscalls "$SCAN")
C_FIND=$(syscalls sh -c 'find "$1" -type f -exec cat {} + > /dev/null' sh "$BREADTH/storage")
printf 'system calls per task: Trevalon %.1f (goal: at most 30)   find+cat %.1f\n' \
  "$(echo "$C_SCAN / $BREADTH_TASKS" | bc -l)" "$(echo "$C_FIND / $BREADTH_TASKS" | bc -l)"
