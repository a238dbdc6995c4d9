#!/usr/bin/env bash
# Installs every Debian 12 package Quorvil needs to build, run and test.
# Idempotent: installs only what is missing, and updates the package lists at most once.
# Usage: install-deps.sh [--run]   (--run: only what building and running the program needs)
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git curl ca-certificates
  # libraries
  qt6-base-dev libqt6svg6 libcurl4-openssl-dev libpugixml-dev libjpeg62-turbo-dev libgif-dev
  libsqlite3-dev libcpp-httplib-dev libicu-dev libgeographiclib-dev
  # real imagery for the local map service
  libgdal-dev gdal-bin
  # compiler cache: rebuilds of several work trees share object files
  ccache
)
[ "${1:-}" = --run ] || packages+=(
  clang-format
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # fuzzing (clang's libFuzzer) and checks of printed and copied output
  clang libfuzzer-14-dev libclang-rt-14-dev poppler-utils xclip
  # a standard SOAP toolkit that calls the local map service from its WSDL
  python3-zeep
  # running the program headless and looking at it
  xvfb xauth xdotool imagemagick openbox
  # the Debian package and its checks; nginx in front of several map services
  dpkg-dev file desktop-file-utils appstream nginx
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
