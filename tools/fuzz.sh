#!/usr/bin/env bash
# Builds a fuzz target with clang and libFuzzer and runs it for a while:
#   tools/fuzz.sh TARGET SECONDS        (TARGET: a folder of fuzz/corpus, e.g. filter_fuzz)
# The target runs on a copy of fuzz/corpus/TARGET (with fuzz/TARGET.dict when there is one);
# afterwards the inputs that reach code the corpus did not are merged into fuzz/corpus/TARGET.
# An input that fails is left in <build>/fuzz-artifacts/TARGET/ and the script exits non-zero.
# Build folder: build-fuzz, or $MORLAN_FUZZ_BUILD_DIR. The run uses one core.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: tools/fuzz.sh TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
corpus=fuzz/corpus/$target
if [ ! -d "$corpus" ]; then
  echo "no corpus folder $corpus" >&2
  exit 2
fi
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}" "${MORLAN_FUZZ_PACKAGES[@]}"

build=${MORLAN_FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORLAN_FUZZ=ON -DMORLAN_BUILD_TESTS=OFF
cmake --build "$build" --target "$target" -j2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -R "$corpus"/. "$work"/
artifacts=$build/fuzz-artifacts/$target
mkdir -p "$artifacts"
options=(-max_total_time="$seconds" -artifact_prefix="$artifacts/" -print_final_stats=1
  -max_len=8192 -timeout=10 -rss_limit_mb=2048)
[ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")

status=0
"$build/fuzz/$target" "${options[@]}" "$work" || status=$?
# The corpus folder first, so its inputs stay; an input joins them only when it reaches code
# (edges, not hit counts) that none of them reaches, which keeps the folder small.
"$build/fuzz/$target" -merge=1 -use_counters=0 -artifact_prefix="$artifacts/" "$corpus" "$work" ||
  status=$?
exit $status
