#!/usr/bin/env bash
# Breadth scan on a cold page cache: Trevalon with and without reading the
# next tasks' files ahead, beside one `cat` of the same files, and the same
# three on a warm cache. Interleaved rounds; medians of the rounds.
#
#   cold: `sync; echo 3 > /proc/sys/vm/drop_caches` before every run (root only;
#         without root the cold figures are skipped and it says so)
#   "the same files": per task the two synchronisation files, the sync list
#         and the pool's containers -- what the scan reads
#   in flight: mean reads outstanding on the vault's block device during the
#         run (field 11 of /sys/class/block/<dev>/stat over wall time)
#
# Usage: bench/scan/cold.sh [build-dir] [work-dir] [rounds]
#        (default: build, /tmp/vault-bench, 3; BREADTH_TASKS=20000)
set -euo pipefail
BUILD=$(realpath "${1:-build}")
WORK=${2:-/tmp/vault-bench}
ROUNDS=${3:-3}
ADMIN=$BUILD/bin/vaultadmin
SCAN=$BUILD/bin/Trevalon
BREADTH_TASKS=${BREADTH_TASKS:-20000}
BREADTH=$WORK/breadth
mkdir -p "$WORK"
if [[ ! -f $BREADTH/node.conf ]]; then
  rm -rf "$BREADTH"
  "$ADMIN" generate --root "$BREADTH" --tasks "$BREADTH_TASKS" --safesets-per-task 2 \
    --records-per-safeset 16 --affected-share 0.5 --marked-share 0 --nodes 1 --seed 2 >/dev/null
fi
mkdir -p "$BREADTH/work"

# Two node configurations: read-ahead as configured (default), and off.
OFF=$WORK/breadth-readahead-off.conf
{ cat "$BREADTH/node.conf"; printf '\n[numbers]\nScanReadAhead=0\n'; } >"$OFF"

LIST=$WORK/breadth-files.txt
find "$BREADTH/storage" -type f \( -name 'synchset*.vss' -o -name synclist.vsl -o -name '*.vfl' \) | sort >"$LIST"
FILES=$(wc -l <"$LIST")
BYTES=$(xargs -a "$LIST" -d '\n' stat -c %s | awk '{s += $1} END {print s}')

DEV=$(lsblk -no PKNAME "$(df --output=source "$BREADTH" | tail -1)" 2>/dev/null | head -1 || true)
[[ -z $DEV ]] && DEV=$(basename "$(df --output=source "$BREADTH" | tail -1)")
STAT=/sys/class/block/$DEV/stat
[[ -r $STAT ]] || STAT=""

COLD=1
if [[ $(id -u) != 0 || ! -w /proc/sys/vm/drop_caches ]]; then
  echo "not root: the page cache cannot be dropped, cold figures skipped"
  COLD=0
fi
drop() { sync; echo 3 >/proc/sys/vm/drop_caches; }

# Runs "$@" and prints "seconds in-flight".
timed() {
  local s0 t0 t1 s1
  [[ -n $STAT ]] && s0=$(awk '{print $11}' "$STAT")
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  [[ -n $STAT ]] && s1=$(awk '{print $11}' "$STAT")
  local wall; wall=$(echo "$t1 - $t0" | bc -l)
  if [[ -n $STAT ]]; then
    printf '%.3f %.2f\n' "$wall" "$(echo "($s1 - $s0) / 1000 / $wall" | bc -l)"
  else
    printf '%.3f -\n' "$wall"
  fi
}
scan() {  # node-config
  rm -f "$BREADTH/work"/UnknownTasks.txt "$BREADTH/work"/Output.csv "$BREADTH/work"/Trevalon.log \
    "$BREADTH/work"/InitialPassTasks.txt
  (cd "$BREADTH/work" && VAULT_NODE_CONFIG="$1" "$SCAN" --no-progress)
}
catall() { xargs -a "$LIST" -d '\n' cat; }

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

declare -A T F
run_round() {  # label cold?
  local kind=$1 cold=$2 out
  for which in cat off on; do
    [[ $cold == 1 ]] && drop
    case $which in
      cat) out=$(timed catall) ;;
      off) out=$(timed scan "$OFF") ;;
      on) out=$(timed scan "$BREADTH/node.conf") ;;
    esac
    T[$kind-$which]+="${out% *} "
    F[$kind-$which]+="${out#* } "
  done
}

echo "breadth vault: $BREADTH_TASKS tasks, $FILES files, $((BYTES / 1024)) KiB; device: ${DEV:-unknown}; rounds: $ROUNDS"
scan "$BREADTH/node.conf" >/dev/null 2>&1 || true  # warm-up
for ((r = 1; r <= ROUNDS; r++)); do
  [[ $COLD == 1 ]] && run_round cold 1
  run_round warm 0
done

report() {  # kind
  local kind=$1 c off on
  c=$(tr ' ' '\n' <<<"${T[$kind-cat]}" | grep . | median)
  off=$(tr ' ' '\n' <<<"${T[$kind-off]}" | grep . | median)
  on=$(tr ' ' '\n' <<<"${T[$kind-on]}" | grep . | median)
  printf '%-5s cat: %6.3f s (in flight %s)   Trevalon read-ahead off: %6.3f s (%.2fx cat, in flight %s)   on: %6.3f s (%.2fx cat, in flight %s)\n' \
    "$kind" "$c" "$(tr ' ' '\n' <<<"${F[$kind-cat]}" | grep . | median)" \
    "$off" "$(echo "$off / $c" | bc -l)" "$(tr ' ' '\n' <<<"${F[$kind-off]}" | grep . | median)" \
    "$on" "$(echo "$on / $c" | bc -l)" "$(tr ' ' '\n' <<<"${F[$kind-on]}" | grep . | median)"
}
[[ $COLD == 1 ]] && report cold
report warm
echo "every run: cold -- cat, off, on -- then warm -- cat, off, on; per round; medians shown (goal cold: on <= 0.5x cat)"
