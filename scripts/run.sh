#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quorvil with its local map service.
# Until the viewer window exists, this starts the local map service and exports the
# first sample favourite (New York's Central Park at 4 metres per pixel) to a picture.
# Usage: run.sh [OUTPUT_FILE]   (default: central-park.jpg in the current folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$PWD/central-park.jpg}
bash "$root/scripts/build.sh" "$root/build"
bin=$root/build/bin

# Use a map service that already answers on the default address, or start one.
service_pid=
if ! curl -s -o /dev/null --max-time 2 "http://127.0.0.1:47015/terraservice.asmx?WSDL"; then
  "$bin/quorvil-mapservice" >/dev/null &
  service_pid=$!
  trap '[ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null' EXIT
  for _ in $(seq 50); do
    curl -s -o /dev/null --max-time 1 "http://127.0.0.1:47015/terraservice.asmx?WSDL" && break
    sleep 0.1
  done
fi

"$bin/quorvil-export" --center -73.965,40.784 --size 1200x800 --zoom 4m -o "$out"
echo "Saved $out"
