#!/usr/bin/env bash
# Builds tambelo and lists the tracks of a music set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/build.sh build -DTAMBELO_BUILD_TESTS=OFF -DTAMBELO_BUILD_BENCH=OFF
set_path=${1:-}
# Without an argument: the bundled sample set, packed by the build.
if [ -z "$set_path" ] && [ -f build/samples/amus.dat ]; then
  echo "The bundled sample set (build/samples/amus.dat):"
  build/cli/tambelo-cli list build/samples/amus.dat
  tr -d '\r' < build/samples/amus.txt
  exit 0
fi
if [ -z "$set_path" ]; then
  echo "Built build/cli/tambelo-cli and build/library/libtambelo.so."
  echo "No music set is bundled yet; give the path of an amus.dat to list its tracks."
  exit 0
fi
build/cli/tambelo-cli list "$set_path"
