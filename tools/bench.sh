#!/usr/bin/env bash
# Builds an optimised morlan and runs the benchmarks. Each prints its own figures; the driver
# benchmark ends with "ratio: X" (text-line driver time / C stdio time for the same copy); the INI
# store benchmark ends with "init+kill: S s" (start and end with the largest list count); the
# history window benchmark ends with "ratio: X" (100,000 history entries over 10); the filter
# benchmark ends with "ratio: X" (reading through a filtered view over reading without a filter).
# The fix benchmark prints "ratio: X" (the whole fix run over a bare C loop applying the same
# rule), the time from Cancel to the progress window closing, and the peak resident memory of a
# run over a 20 MB and a 200 MB dictionary.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}"

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORLAN_BUILD_TESTS=OFF
cmake --build build-release --target driver_copy_bench rewrite_bench file_manager_insert_bench \
  ini_store_bench history_window_bench filter_view_bench fix_bench
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build-release/bench/rewrite_bench "$work"
build-release/bench/file_manager_insert_bench "$work"
build-release/bench/driver_copy_bench "$work"
build-release/bench/ini_store_bench "$work"
build-release/bench/history_window_bench
build-release/bench/filter_view_bench "$work"
build-release/bench/fix_bench "$work"
