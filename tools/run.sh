#!/usr/bin/env bash
# Builds morlan and runs it.
#
#   tools/run.sh        runs it on a fresh copy of the sample dictionary examples/VRSQ1.qdl in
#                       the scratch folder build/run/, where it writes VRSQ2.qdl
#   tools/run.sh DIR    runs it in DIR, on the VRSQ1.qdl found there (an empty one is made when
#                       there is none)
#
# Installs what the build needs first (tools/packages.sh). Without a display the program says so
# in one line and ends; xvfb-run tools/run.sh gives it a virtual one.
set -euo pipefail
if [ $# -gt 1 ]; then
  echo "usage: tools/run.sh [DIR]" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -eq 1 ]; then
  if [ ! -d "$1" ]; then
    echo "tools/run.sh: $1 is not a folder" >&2
    exit 2
  fi
  folder="$(cd "$1" && pwd)"
fi

cd "$root"
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}"
cmake -S . -B build -G Ninja
cmake --build build --target morlan

if [ -z "${folder:-}" ]; then
  folder="$root/build/run"
  mkdir -p "$folder"
  cp examples/VRSQ1.qdl "$folder/VRSQ1.qdl"
  echo "Running morlan in $folder on a copy of the sample dictionary."
fi
cd "$folder"
exec "$root/build/app/morlan"
