#!/usr/bin/env bash
# Installs what is missing, configures and builds. Usage: build.sh [BUILD_DIR] [extra cmake args]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
