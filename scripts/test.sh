#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
# Usage: test.sh [BUILD_DIR] [extra cmake args]   (e.g. test.sh build-asan -DQUORVIL_SANITIZE=ON)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
# Tests and benchmarks on, also in a build folder the run command made without them.
bash "$root/scripts/build.sh" "$build" -DQUORVIL_BUILD_TESTS=ON -DQUORVIL_BUILD_BENCHMARKS=ON "$@"
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 300
