#!/usr/bin/env bash
# Builds morlan with warnings as errors and runs every test, in stages, stopping at the first
# stage that fails:
#   1. the normal suite                                  (build folder: $MORLAN_BUILD_DIR or build)
#   2. the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer        (build-asan)
#   3. the threaded suites under ThreadSanitizer (tools/tsan.sh)                   (build-tsan)
#   4. every fuzz target, built with clang and libFuzzer, run once over each input of its corpus
#      folder fuzz/corpus/<target>                                         (build-fuzz-replay)
# tools/test.sh --quick runs the first stage only. Each stage prints its duration as it ends.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *)
    echo "usage: tools/test.sh [--quick]" >&2
    exit 2
    ;;
esac

source tools/packages.sh
if [ $quick -eq 1 ]; then
  morlan_ensure_packages "${MORLAN_PACKAGES[@]}"
else
  morlan_ensure_packages "${MORLAN_PACKAGES[@]}" "${MORLAN_FUZZ_PACKAGES[@]}"
fi

build=${MORLAN_BUILD_DIR:-build}
asan_build=${MORLAN_ASAN_BUILD_DIR:-build-asan}
fuzz_build=${MORLAN_FUZZ_REPLAY_BUILD_DIR:-build-fuzz-replay}
export MORLAN_TSAN_BUILD_DIR=${MORLAN_TSAN_BUILD_DIR:-build-tsan}

started=$SECONDS
stage_start=$SECONDS
stage() {
  stage_start=$SECONDS
  echo
  echo "=== test stage: $1"
}
stage_done() {
  echo "=== test stage passed: $1 in $((SECONDS - stage_start)) s (total $((SECONDS - started)) s)"
}

stage "normal suite"
# Optimised as shipped; line tables only, which build a fifth quicker than full debug information.
cmake -S . -B "$build" -G Ninja -DMORLAN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300
stage_done "normal suite"
[ $quick -eq 1 ] && exit 0

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
# Unoptimised with line tables only: compiling is most of the stage's time, the tests run in
# seconds, and the sanitizers miss nothing at -O0.
cmake -S . -B "$asan_build" -G Ninja -DMORLAN_WERROR=ON -DMORLAN_SANITIZE=address,undefined \
  -DMORLAN_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g1 -DNDEBUG"
cmake --build "$asan_build" -j2
ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir "$asan_build" --output-on-failure -j2 --timeout 600
stage_done "AddressSanitizer and UndefinedBehaviorSanitizer"

stage "ThreadSanitizer"
bash tools/tsan.sh
stage_done "ThreadSanitizer"

stage "fuzz corpus replay"
# Unoptimised as well: each input runs once, so compiling is what costs.
cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g1 -DNDEBUG" -DMORLAN_FUZZ=ON -DMORLAN_BUILD_TESTS=OFF \
  -DMORLAN_BUILD_BENCH=OFF
# Each corpus folder with a fuzz target of its own name; a folder without one is named, not run.
targets=()
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  if ninja -C "$fuzz_build" -t query "$target" >/dev/null 2>&1; then
    targets+=("$target")
  else
    echo "fuzz/corpus/$target: no fuzz target of that name, not replayed"
  fi
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz target has a corpus folder" >&2
  exit 1
fi
cmake --build "$fuzz_build" -j2 --target "${targets[@]}"
for target in "${targets[@]}"; do
  echo "--- $target over fuzz/corpus/$target"
  # -runs=0: every input of the folder once, then stop; a crash, a sanitizer report or an input
  # running past the timeout fails the stage and leaves the input in the artifacts folder.
  artifacts=$fuzz_build/fuzz-artifacts/$target
  mkdir -p "$artifacts"
  "$fuzz_build/fuzz/$target" -runs=0 -timeout=30 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" \
    "fuzz/corpus/$target"
done
stage_done "fuzz corpus replay"
echo "all test stages passed in $((SECONDS - started)) s"
