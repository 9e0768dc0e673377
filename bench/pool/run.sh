#!/bin/sh
# Builds and runs the pool operation benchmarks (release build).
# usage: bench/pool/run.sh [data folder] [container MiB] [index MiB] [safesets to delete] [rounds]
# The data folder (default /tmp/vault-bench-pool) keeps the 1 GiB pool and the
# 1 GiB index for the next run; remove it to reclaim the space.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${VAULT_BENCH_BUILD:-$root/build-bench-pool}
data=${1:-/tmp/vault-bench-pool}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target pool_ops_bench -j2 >/dev/null
shift $(( $# > 0 ? 1 : 0 ))
exec "$build/bin/pool_ops_bench" "$data" "$@"
