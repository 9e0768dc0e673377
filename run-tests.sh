#!/usr/bin/env bash
# Installs missing build packages, builds everything in build/ and runs every test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

bash .ci/install-packages.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
cd build
ctest --output-on-failure --timeout 900 -j2
