#!/usr/bin/env bash
# Builds tambelo and plays a music set: the bundled sample set, or the
# amus.dat given as the first argument. With a desktop (DISPLAY or
# WAYLAND_DISPLAY set) the window program plays it; on a plain terminal
# tambelo-cli play does (keys: n/p next/previous, N/P ten, space stop/play,
# q quit).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/build.sh build -DTAMBELO_BUILD_TESTS=OFF -DTAMBELO_BUILD_BENCH=OFF

set_path=${1:-build/samples/amus.dat}
build/cli/tambelo-cli list "$set_path"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${1:-}" ]; then
  # The window program plays the set lying beside it, which the build put there.
  exec build/frontend/tambelo
fi
exec build/cli/tambelo-cli play "$set_path" 1
