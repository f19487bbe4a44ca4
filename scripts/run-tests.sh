#!/usr/bin/env bash
# Builds and runs every test: the normal build, the web player (its core
# against the command-line player, its page in headless Chromium), the
# Debian packages installed and tried out (scripts/check-deb.sh), the Windows
# build under Wine, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threading tests under ThreadSanitizer, then
# each fuzz target for 40 seconds. Warnings are errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${TAMBELO_BUILD_ROOT:-$root/build-ci}
jobs=$(nproc)

step() { printf '\n=== %s\n' "$*"; }

# Runs ctest, keeping count of the tests run in every build for the summary.
passed=0
run_ctest() {
  local log
  log=$(mktemp)
  ctest "$@" --output-on-failure -j "$jobs" | tee "$log"
  local count
  count=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${count:-0}))
  rm -f "$log"
}

step "normal build and tests"
scripts/build.sh "$out/normal" -DTAMBELO_WERROR=ON
run_ctest --test-dir "$out/normal"

step "web player: its WebAssembly core against tambelo-cli, the page in headless Chromium"
scripts/build-web.sh "$out/web"
node web/tests/titles_test.js
node web/tests/core_matches_cli.js "$out/normal" "$out/web"
node web/tests/page_test.js "$out/web" "$out/normal/samples"

step "Debian packages: build, install, run the installed programs, library and plugins, remove"
scripts/package-deb.sh "$out/deb" "$out/deb-build"
scripts/check-deb.sh "$out"/deb/*.deb

step "Windows build (32-bit mingw-w64) and its tests under Wine"
TAMBELO_JOBS=$jobs scripts/build-windows.sh "$out/windows" -DTAMBELO_WERROR=ON \
  -DTAMBELO_REFERENCE_CLI="$out/normal/cli/tambelo-cli"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run_ctest --test-dir "$out/windows"
else
  # Some kernels (containers, small VMs) cannot run 32-bit programs, so
  # wine32 cannot start at all: check the 32-bit DLL's export table, and run
  # the Windows tests on the same code built as 64-bit, under wine64. The
  # 32-bit programs' export table and headers are checked all the same.
  echo "This kernel cannot run 32-bit programs: the Windows tests run on a 64-bit build."
  run_ctest --test-dir "$out/windows" -R "dll_export_table|pe_minimum_windows"
  TAMBELO_JOBS=$jobs scripts/build-windows.sh "$out/windows64" -DTAMBELO_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DTAMBELO_REFERENCE_CLI="$out/normal/cli/tambelo-cli"
  run_ctest --test-dir "$out/windows64"
fi

step "Windows zip, and its window under Wine on a virtual display"
TAMBELO_WINDOWS_BUILD="$out/windows" TAMBELO_SAMPLE_SET="$out/normal/samples" \
  scripts/package-windows.sh "$out/package"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  WINEPREFIX="$out/windows/wine-prefix" \
    scripts/test-windows-window.sh "$out/package/tambelo-windows-x86.zip" "$out/windows/window_probe.exe"
else
  # The same zip made from the 64-bit build, for the window test alone.
  TAMBELO_WINDOWS_BUILD="$out/windows64" TAMBELO_SAMPLE_SET="$out/normal/samples" \
    scripts/package-windows.sh "$out/package64"
  WINE=/usr/lib/wine/wine64 WINEPREFIX="$out/windows64/wine-prefix" \
    scripts/test-windows-window.sh "$out/package64/tambelo-windows-x86.zip" "$out/windows64/window_probe.exe"
fi

step "AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh "$out/asan" -DTAMBELO_WERROR=ON -DTAMBELO_SANITIZE=address,undefined \
  -DTAMBELO_BUILD_BENCH=OFF -DTAMBELO_BUILD_FRONTEND=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest --test-dir "$out/asan"

step "ThreadSanitizer (threading tests)"
scripts/build.sh "$out/tsan" -DTAMBELO_WERROR=ON -DTAMBELO_SANITIZE=thread \
  -DTAMBELO_BUILD_BENCH=OFF -DTAMBELO_BUILD_FRONTEND=OFF -DTAMBELO_BUILD_CLI=ON
# Races inside libraries built without ThreadSanitizer (whose own
# synchronisation it cannot see) are suppressed by name; any other report
# fails the step. A report ends its process with status 66 (halt_on_error),
# but a test need not look at the status of every process it starts; so
# every process, a test's children included, also writes its reports to a
# file of its own, and any such file fails the step.
tsan_reports="$out/tsan/reports"
rm -rf "$tsan_reports" && mkdir -p "$tsan_reports"
tsan_failed=0
TSAN_OPTIONS="halt_on_error=1 suppressions=$root/tests/thread_sanitizer.supp log_path=$tsan_reports/report" \
  run_ctest --test-dir "$out/tsan" -L threads || tsan_failed=1
if compgen -G "$tsan_reports/report.*" >/dev/null; then
  cat "$tsan_reports"/report.*
  echo "ThreadSanitizer reported the races above" >&2
  tsan_failed=1
fi
[ "$tsan_failed" = 0 ]

step "libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer"
CC=clang CXX=clang++ scripts/build.sh "$out/fuzz" -DTAMBELO_BUILD_FUZZ=ON -DTAMBELO_SANITIZE=address,undefined \
  -DTAMBELO_BUILD_TESTS=OFF -DTAMBELO_BUILD_CLI=OFF -DTAMBELO_BUILD_FRONTEND=OFF -DTAMBELO_BUILD_BENCH=OFF
scripts/run-fuzz.sh "$out/fuzz" 40

# Every step above stops the script on a failure, so reaching here means
# nothing failed.
step "summary"
echo "Fuzz targets: no findings. Tests of all builds together:"
echo "tests: ${passed} passed, 0 failed"
