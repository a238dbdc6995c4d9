#!/usr/bin/env bash
# Installs what is missing, configures and builds. Usage: build.sh [BUILD_DIR] [extra cmake args]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
bash "$root/scripts/install-deps.sh"
launcher=()
if command -v ccache >/dev/null; then
  # Paths relative to the checkout, so that several checkouts share cached objects.
  export CCACHE_BASEDIR=$root
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
