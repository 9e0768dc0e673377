#!/bin/sh
# Builds and runs the container read benchmark (release build).
# usage: bench/storage/run.sh [data folder] [total MiB] [containers] [rounds]
# The data folder (default /tmp/vault-bench-storage) keeps the containers for
# the next run; remove it to reclaim the space (1 GiB by default).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${VAULT_BENCH_BUILD:-$root/build-bench-storage}
data=${1:-/tmp/vault-bench-storage}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target container_read_bench -j2 >/dev/null
shift $(( $# > 0 ? 1 : 0 ))
exec "$build/bin/container_read_bench" "$data" "$@"
