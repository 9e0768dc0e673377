#!/usr/bin/env bash
# Builds the small program in consumer/ against an installed prefix with
# find_package(VaultMaintenance) and runs it: installed headers, libraries,
# the CMake package and the libraries' RPATHs must all work from there.
# Usage: find_package_test.sh PREFIX [extra cmake arguments...]
set -euo pipefail
PREFIX=$1
shift
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TMP=$(mktemp -d /tmp/vault-consumer-XXXXXX)
trap 'rm -rf "$TMP"' EXIT

cmake -S "$HERE/consumer" -B "$TMP/build" -DCMAKE_PREFIX_PATH="$PREFIX" "$@" >"$TMP/configure.log" 2>&1 ||
    { cat "$TMP/configure.log"; exit 1; }
cmake --build "$TMP/build" >"$TMP/build.log" 2>&1 || { cat "$TMP/build.log"; exit 1; }

# The program must load the installed libraries, not those of a build folder.
libraries=$(ldd "$TMP/build/consumer")
grep -q "libCarrowen\.so\.[0-9.]* => $PREFIX/" <<<"$libraries" ||
    { echo "consumer does not load libCarrowen from $PREFIX:"; echo "$libraries"; exit 1; }

mkdir "$TMP/task"
output=$("$TMP/build/consumer" "$TMP/task")
[ "$output" = "wrote $TMP/task/pool/synclist.vsl"$'\n'"Carrowen CRC Error" ] || { echo "unexpected output: $output"; exit 1; }
[ -s "$TMP/task/pool/synclist.vsl" ] || { echo "no sync list written"; exit 1; }
echo "a program outside the tree built and ran against $PREFIX"
