#!/usr/bin/env bash
# Builds and runs every test: the normal build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threading tests under
# ThreadSanitizer. Warnings are errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${TAMBELO_BUILD_ROOT:-$root/build-ci}
jobs=$(nproc)

step() { printf '\n=== %s\n' "$*"; }

step "normal build and tests"
scripts/build.sh "$out/normal" -DTAMBELO_WERROR=ON
ctest --test-dir "$out/normal" --output-on-failure -j "$jobs"

step "AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh "$out/asan" -DTAMBELO_WERROR=ON -DTAMBELO_SANITIZE=address,undefined \
  -DTAMBELO_BUILD_BENCH=OFF -DTAMBELO_BUILD_FRONTEND=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$out/asan" --output-on-failure -j "$jobs"

step "ThreadSanitizer (threading tests)"
scripts/build.sh "$out/tsan" -DTAMBELO_WERROR=ON -DTAMBELO_SANITIZE=thread \
  -DTAMBELO_BUILD_BENCH=OFF -DTAMBELO_BUILD_FRONTEND=OFF -DTAMBELO_BUILD_CLI=ON
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$out/tsan" --output-on-failure -L threads -j "$jobs"

step "libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer"
CC=clang CXX=clang++ scripts/build.sh "$out/fuzz" -DTAMBELO_BUILD_FUZZ=ON -DTAMBELO_SANITIZE=address,undefined \
  -DTAMBELO_BUILD_TESTS=OFF -DTAMBELO_BUILD_CLI=OFF -DTAMBELO_BUILD_FRONTEND=OFF -DTAMBELO_BUILD_BENCH=OFF
scripts/run-fuzz.sh "$out/fuzz" 60
