#!/usr/bin/env bash
# Builds and runs Quorvil with its local map service: the service is started on
# loopback when nothing answers on the program's default address, and stopped when the
# window closes. Without a display, exports the first sample favourite (New York's
# Central Park at 4 metres per pixel) to a picture instead.
# With --usgs the service it starts serves real photographs and topographic maps of the
# U.S. Geological Survey's The National Map (quorvil-mapservice --preset usgs).
# Usage: run.sh [--usgs] [OUTPUT_FILE]   (the picture without a display; default central-park.jpg)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=()
if [ "${1:-}" = --usgs ]; then
  preset=(--preset usgs)
  shift
fi
out=${1:-$PWD/central-park.jpg}
build=$root/build
# Only what runs is built: the program, the map service and the export tool. A build
# folder the test command made is reused as it is; a new one leaves tests and benchmarks
# out (the test command turns them on again).
bash "$root/scripts/install-deps.sh" --run
options=()
if [ ! -f "$build/CMakeCache.txt" ]; then
  options=(-DQUORVIL_BUILD_TESTS=OFF -DQUORVIL_BUILD_BENCHMARKS=OFF)
fi
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root
  options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target quorvil quorvil-mapservice quorvil-export
bin=$build/bin
wsdl=http://127.0.0.1:47015/terraservice.asmx?WSDL

# Use a map service that already answers on the default address, or start one.
service_pid=
stop_service() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
}
trap stop_service EXIT
if [ ${#preset[@]} -gt 0 ] && curl -s -o /dev/null --max-time 2 "$wsdl"; then
  echo "A map service already answers on $wsdl; stop it to start the one with --usgs." >&2
  exit 1
fi
if ! curl -s -o /dev/null --max-time 2 "$wsdl"; then
  "$bin/quorvil-mapservice" --host 127.0.0.1 "${preset[@]}" >/dev/null &
  service_pid=$!
  for _ in $(seq 50); do
    curl -s -o /dev/null --max-time 1 "$wsdl" && break
    sleep 0.1
  done
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): exporting the sample picture instead."
elif [ ! -x "$bin/quorvil" ]; then
  echo "The viewer window is not built yet: exporting the sample picture instead."
else
  "$bin/quorvil"
  exit
fi
"$bin/quorvil-export" --center -73.965,40.784 --size 1200x800 --zoom 4m -o "$out"
echo "Saved $out"
