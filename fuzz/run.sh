#!/usr/bin/env bash
# Builds every libFuzzer target (any target whose name ends in _fuzzer, under
# fuzz/<area>/) with clang in build-fuzz/ and runs each for N seconds
# (default 60), seeded from fuzz/corpus/<name>/ when that folder exists.
# Exits non-zero when any fuzzer finds a crash, leak or sanitizer report;
# the failing inputs are kept in build-fuzz/artifacts/.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build-fuzz"

# Libraries get coverage instrumentation too, so the fuzzers can steer
# into the parsers they call.
CC=clang CXX=clang++ cmake -S "${root}" -B "${build}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVAULT_FUZZ=ON -DVAULT_SANITIZE="address;undefined" \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link" -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null

mapfile -t targets < <(cmake --build "${build}" --target help | sed -n 's/^\.\.\. \([A-Za-z0-9_.-]*_fuzzer\)$/\1/p' | sort -u)
if [ "${#targets[@]}" -eq 0 ]; then
  echo "no fuzz targets found" >&2
  exit 1
fi
cmake --build "${build}" -j2 --target "${targets[@]}"

failed=()
mkdir -p "${build}/artifacts"
for name in "${targets[@]}"; do
  binary="$(find "${build}/bin" "${build}/fuzz" -type f -name "${name}" -perm -u+x 2>/dev/null | head -n 1)"
  if [ -z "${binary}" ]; then
    echo "fuzzer ${name}: built program not found" >&2
    failed+=("${name}")
    continue
  fi
  # New inputs go to a scratch corpus; the seed folder is only read.
  work="${build}/corpus/${name}"
  mkdir -p "${work}"
  corpora=("${work}")
  if [ -d "${root}/fuzz/corpus/${name}" ]; then
    corpora+=("${root}/fuzz/corpus/${name}")
  fi
  echo "== ${name}: ${seconds} s"
  if ! (cd "${build}" && "${binary}" -max_total_time="${seconds}" -timeout=25 -rss_limit_mb=2048 \
          -artifact_prefix="${build}/artifacts/${name}-" -print_final_stats=1 "${corpora[@]}"); then
    failed+=("${name}")
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzzers with findings: ${failed[*]}" >&2
  exit 1
fi
echo "all ${#targets[@]} fuzzers ran ${seconds} s without findings"
