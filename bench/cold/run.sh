#!/usr/bin/env bash
# Cold-cache benchmarks: our programs beside plain tools reading the same
# files, with the page cache dropped before every run, on the vault's own
# block device.
#
# For every run it prints the wall time and, from /sys/class/block/<dev>/stat
# of the device that holds the work folder, the reads completed, the MiB read
# and the mean number of reads in flight (time spent by all reads / wall
# time). The device's counters are the whole device's: other work on the
# machine adds to them, so run it on a quiet machine for figures to compare.
#
# Each work item is one function (item_<name>) that prepares its vault (built
# with vaultadmin, or reused) and calls `compare` with a label, the command of
# ours and the files the plain tools read. Add an item by writing one and
# naming it in ITEMS. Runs are interleaved: ours, `cat` of the files in one
# process, the same files read by 8 parallel readers, round after round; the
# medians and the ratios follow. Finally the device's own scaling: the pool's
# files read by 1, 2, 4, 8, 16 and 32 parallel readers.
#
# Needs root (dropping the page cache): without it, it says so and skips.
#
# Usage: bench/cold/run.sh [build-dir] [work-dir]   (default: build, /tmp/vault-bench-cold)
#   ROUNDS=3            rounds per item (medians are printed)
#   ITEMS="pool_verify index_verify depth"   the work items, in order
#   SCALING=1           0 skips the device scaling table
set -euo pipefail
BUILD=$(realpath "${1:-build}")
WORK=${2:-/tmp/vault-bench-cold}
ROUNDS=${ROUNDS:-3}
ITEMS=${ITEMS:-"pool_verify index_verify depth"}
SCALING=${SCALING:-1}
ADMIN=$BUILD/bin/vaultadmin
POOLCOMMAND=$BUILD/bin/poolcommand
SCAN=$BUILD/bin/Trevalon

if [[ $(id -u) -ne 0 ]]; then
  echo "bench/cold: dropping the page cache needs root; skipped (run it as root for cold-cache figures)"
  exit 0
fi
if [[ ! -w /proc/sys/vm/drop_caches ]]; then
  echo "bench/cold: /proc/sys/vm/drop_caches is not writable here (a container?); skipped"
  exit 0
fi
for program in "$ADMIN" "$POOLCOMMAND" "$SCAN"; do
  [[ -x $program ]] || { echo "bench/cold: $program is missing (build it first)"; exit 1; }
done
mkdir -p "$WORK"

# ---- the device ----

# The stat file of the block device holding folder $1.
device_stat_of() {
  local mm; mm=$(stat -c '%Hd:%Ld' "$1")
  if [[ -r /sys/dev/block/$mm/stat ]]; then echo "/sys/dev/block/$mm/stat"; return; fi
  # A file system without a block device number of its own (overlay,
  # btrfs subvolume...): the device df names.
  local source; source=$(readlink -f "$(df --output=source "$1" | tail -1)")
  local name; name=$(basename "$source")
  if [[ -r /sys/class/block/$name/stat ]]; then echo "/sys/class/block/$name/stat"; return; fi
  echo ""
}
STAT=$(device_stat_of "$WORK")
if [[ -z $STAT ]]; then
  echo "bench/cold: no block device found for $WORK; the reads will show as n/a"
fi
DEVICE=$( [[ -n $STAT ]] && basename "$(dirname "$(readlink -f "$STAT")")" || echo "?")

drop_cache() { sync; echo 3 > /proc/sys/vm/drop_caches; }
now_ns() { date +%s%N; }

# Fields 1 (reads completed), 3 (sectors read) and 4 (ms spent by reads).
device_reads() {
  if [[ -n $STAT ]]; then awk '{ print $1, $3, $4 }' "$STAT"; else echo "0 0 0"; fi
}

# run_cold LABEL COMMAND...: one cold run; sets R_WALL (s), R_READS, R_MIB,
# R_FLIGHT and prints one line.
run_cold() {
  local label=$1; shift
  drop_cache
  local before after start end
  before=$(device_reads)
  start=$(now_ns)
  local rc=0
  "$@" >"$WORK/last-run.txt" 2>&1 || rc=$?
  end=$(now_ns)
  after=$(device_reads)
  read -r R_WALL R_READS R_MIB R_FLIGHT < <(echo "$before $after $start $end" | awk '{
    wall = ($8 - $7) / 1e9; reads = $4 - $1; mib = ($5 - $2) * 512 / 1048576; flight = ($6 - $3) / 1000 / wall;
    printf "%.3f %d %.1f %.2f\n", wall, reads, mib, flight }')
  printf '  %-28s %8.3f s %9d reads %9.1f MiB %7.2f in flight\n' "$label" "$R_WALL" "$R_READS" "$R_MIB" "$R_FLIGHT"
  if [[ $rc -ne 0 ]]; then
    echo "  ($label exited with $rc; its last lines follow, so its figure is not a comparable one)"
    tail -5 "$WORK/last-run.txt" | sed 's/^/    /'
  fi
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The plain tools.
cat_one() { cat "$@" > /dev/null; }
cat_parallel() { printf '%s\0' "$@" | xargs -0 -P 8 -n 1 cat > /dev/null; }

SUMMARY=()

# compare LABEL "OUR COMMAND" FILE...: ROUNDS interleaved rounds of ours,
# `cat` and 8 parallel readers; prints the medians and ratios.
compare() {
  local label=$1 ours=$2; shift 2
  local files=("$@")
  local bytes; bytes=$(du -cb "${files[@]}" | tail -1 | cut -f1)
  printf '== %s: %d files, %.1f MiB, device %s, %d rounds\n' "$label" "${#files[@]}" \
    "$(echo "$bytes / 1048576" | bc -l)" "$DEVICE" "$ROUNDS"
  local w_ours=() w_cat=() w_par=() f_ours=() f_cat=() f_par=() round
  for ((round = 1; round <= ROUNDS; round++)); do
    run_cold "ours ($round)" bash -c "$ours"
    w_ours+=("$R_WALL"); f_ours+=("$R_FLIGHT")
    run_cold "cat, one reader ($round)" cat_one "${files[@]}"
    w_cat+=("$R_WALL"); f_cat+=("$R_FLIGHT")
    run_cold "cat, 8 readers ($round)" cat_parallel "${files[@]}"
    w_par+=("$R_WALL"); f_par+=("$R_FLIGHT")
  done
  local mo mc mp fo fc fp
  mo=$(printf '%s\n' "${w_ours[@]}" | median); mc=$(printf '%s\n' "${w_cat[@]}" | median)
  mp=$(printf '%s\n' "${w_par[@]}" | median)
  fo=$(printf '%s\n' "${f_ours[@]}" | median); fc=$(printf '%s\n' "${f_cat[@]}" | median)
  fp=$(printf '%s\n' "${f_par[@]}" | median)
  local line
  line=$(printf '%-26s ours %7.3f s | cat %7.3f s | 8 readers %7.3f s | ours/cat %5.2fx | ours/8 readers %5.2fx | in flight %.2f / %.2f / %.2f' \
    "$label" "$mo" "$mc" "$mp" "$(echo "$mo / $mc" | bc -l)" "$(echo "$mo / $mp" | bc -l)" "$fo" "$fc" "$fp")
  echo "  median: $line"
  SUMMARY+=("$line")
}

# ---- the vaults ----

# One task whose pool holds 1 GiB of containers (8 x 128 MiB) and its index.
POOL_VAULT=$WORK/pool
pool_vault() {
  if [[ ! -f $POOL_VAULT/node.conf ]]; then
    rm -rf "$POOL_VAULT"
    "$ADMIN" generate --root "$POOL_VAULT" --tasks 1 --safesets-per-task 8 --records-per-safeset 1048576 \
      --affected-share 0 --marked-share 0 --nodes 1 --seed 3 >/dev/null
  fi
  POOL_FOLDER=$(dirname "$(find "$POOL_VAULT/storage" -name pool.vix | head -1)")
  mkdir -p "$WORK/logs"
}

# 8 tasks x 4 affected safesets x 32 MiB of unmarked records: every record
# is looked at (the same vault as bench/scan/run.sh's depth).
DEPTH_VAULT=$WORK/depth
depth_vault() {
  if [[ ! -f $DEPTH_VAULT/node.conf ]]; then
    rm -rf "$DEPTH_VAULT"
    "$ADMIN" generate --root "$DEPTH_VAULT" --tasks 8 --safesets-per-task 4 --records-per-safeset 262144 \
      --affected-share 1 --marked-share 0 --nodes 1 --seed 1 >/dev/null
  fi
  mkdir -p "$DEPTH_VAULT/work"
}

# ---- the work items ----

item_pool_verify() {
  pool_vault
  local files; mapfile -t files < <(find "$POOL_FOLDER" -maxdepth 1 -type f \( -name '*.vfl' -o -name pool.vix \) | sort)
  compare "pool verify (poolcommand)" \
    "cd '$WORK/logs' && VAULT_NODE_CONFIG='$POOL_VAULT/node.conf' '$POOLCOMMAND' run --task-id 1 --operation verify" \
    "${files[@]}"
}

item_index_verify() {
  pool_vault
  compare "index verify (verify-file)" \
    "cd '$WORK/logs' && VAULT_NODE_CONFIG='$POOL_VAULT/node.conf' '$POOLCOMMAND' verify-file --task-id 1" \
    "$POOL_FOLDER/pool.vix"
}

item_depth() {
  depth_vault
  local files; mapfile -t files < <(find "$DEPTH_VAULT/storage" -type f -name '*.vfl' | sort)
  compare "Trevalon depth" \
    "cd '$DEPTH_VAULT/work' && rm -f UnknownTasks.txt Output.csv Trevalon.log && VAULT_NODE_CONFIG='$DEPTH_VAULT/node.conf' '$SCAN'" \
    "${files[@]}"
}

# ---- the device's scaling ----

# readers_part N I FILE...: reader I of N reads the I-th of N equal parts of
# every file, in 1 MiB reads.
readers_part() {
  local n=$1 i=$2; shift 2
  local f size part
  for f in "$@"; do
    size=$(stat -c %s "$f")
    part=$(( (size + n - 1) / n ))
    dd if="$f" of=/dev/null bs=1M iflag=skip_bytes,count_bytes skip=$((i * part)) count=$part status=none
  done
}
parallel_readers() {
  local n=$1; shift
  local i
  for ((i = 0; i < n; i++)); do readers_part "$n" "$i" "$@" & done
  wait
}

device_scaling() {
  pool_vault
  local files; mapfile -t files < <(find "$POOL_FOLDER" -maxdepth 1 -type f -name '*.vfl' | sort)
  echo "== device scaling: the pool's containers, each reader a share of every file, 1 MiB reads"
  local n
  for n in 1 2 4 8 16 32; do
    run_cold "$n reader(s)" parallel_readers "$n" "${files[@]}"
    printf '    -> %.0f MiB/s\n' "$(echo "$R_MIB / $R_WALL" | bc -l)"
  done
}

echo "bench/cold: device $DEVICE ($STAT), work folder $WORK, load $(cut -d' ' -f1-3 /proc/loadavg)"
for item in $ITEMS; do "item_$item"; done
[[ $SCALING == 0 ]] || device_scaling
echo "== summary (cold, medians of $ROUNDS; in flight: ours / cat / 8 readers)"
printf '%s\n' "${SUMMARY[@]}"
