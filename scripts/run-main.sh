#!/usr/bin/env bash
# Builds tambelo and lists the tracks of a music set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/build.sh build -DTAMBELO_BUILD_TESTS=OFF -DTAMBELO_BUILD_BENCH=OFF
set_path=${1:-}
if [ -z "$set_path" ]; then
  echo "Built build/cli/tambelo-cli and build/library/libtambelo.so."
  echo "No music set is bundled yet; give the path of an amus.dat to list its tracks."
  exit 0
fi
build/cli/tambelo-cli list "$set_path"
