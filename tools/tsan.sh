#!/usr/bin/env bash
# Builds the threaded test programs with ThreadSanitizer and runs them: the runtime and file
# layer, the error manager and its history window, the settings, the data layer, the window
# framework, the record process and the program's end-to-end runs. Build folder:
# $MORLAN_TSAN_BUILD_DIR or build-tsan.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}"

build=${MORLAN_TSAN_BUILD_DIR:-build-tsan}
tests=(platform/morlan_platform_tests errors/morlan_errors_tests settings/morlan_settings_tests
  data/morlan_data_tests window/morlan_window_tests errors/morlan_errors_window_tests
  process/morlan_process_tests app/morlan_app_tests)

# -O1 with line tables only: quicker to build than the default, and fast enough under the
# sanitizer that the tests' bounded waits hold.
cmake -S . -B "$build" -G Ninja -DMORLAN_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DMORLAN_BUILD_BENCH=OFF
cmake --build "$build" -j2 --target "${tests[@]##*/}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
for test in "${tests[@]}"; do
  echo "--- $test"
  "$build/$test"
done
