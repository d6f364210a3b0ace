#!/usr/bin/env bash
# Builds the tests of the runtime and file layer, the data layer, the error manager, the settings,
# the window framework, the error history window, the record process and the
# program's end-to-end runs with ThreadSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}"

cmake -S . -B build-tsan -G Ninja -DMORLAN_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-tsan --target morlan_platform_tests morlan_errors_tests morlan_settings_tests \
  morlan_data_tests morlan_window_tests morlan_errors_window_tests morlan_process_tests \
  morlan_app_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
build-tsan/platform/morlan_platform_tests
build-tsan/errors/morlan_errors_tests
build-tsan/settings/morlan_settings_tests
build-tsan/data/morlan_data_tests
build-tsan/window/morlan_window_tests
build-tsan/errors/morlan_errors_window_tests
build-tsan/process/morlan_process_tests
build-tsan/app/morlan_app_tests
