#!/usr/bin/env bash
# Cross-builds the Windows library, window program and command-line tool with Debian's 32-bit
# mingw-w64 compilers (installed by scripts/setup.sh; this script installs
# nothing).
#   build-windows.sh [OUT_DIR] [extra cmake arguments...]
# Leaves tambelo.exe, tambelo.dll and tambelo-cli.exe in OUT_DIR (default build-windows),
# with the tests that run under Wine (ctest --test-dir OUT_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-build-windows}
[ $# -gt 0 ] && shift
if ! command -v i686-w64-mingw32-g++-posix >/dev/null; then
  echo "build-windows.sh: i686-w64-mingw32-g++-posix not found; run scripts/setup.sh first" >&2
  exit 1
fi
# A compiler cache, where one is installed, makes rebuilds cheap.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
  -DTAMBELO_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$out" --parallel "${TAMBELO_JOBS:-$(nproc)}"
ls -l "$out/tambelo.exe" "$out/tambelo.dll" "$out/tambelo-cli.exe"
