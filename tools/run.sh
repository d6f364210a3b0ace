#!/usr/bin/env bash
# Builds morlan and runs it in the directory this command was started from, where it finds
# VRSQ1.qdl and writes VRSQ2.qdl.
set -euo pipefail
here="$(pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}"

cmake -S . -B build -G Ninja
cmake --build build
if [ ! -x build/app/morlan ]; then
  echo "Everything is built, but the morlan program itself is not there yet."
  exit 0
fi
cd "$here"
exec "$root/build/app/morlan"
