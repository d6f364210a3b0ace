#!/usr/bin/env bash
# Builds morlan with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DMORLAN_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure -j2 --timeout 300
