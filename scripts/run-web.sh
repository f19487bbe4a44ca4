#!/usr/bin/env bash
# Builds the web player (into build-web/ unless told otherwise) and serves
# it on this machine only; open the printed address in a browser.
#   run-web.sh [OUT_DIR] [PORT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-web}
port=${2:-8642}
"$root/scripts/build-web.sh" "$out"
echo "The web player: http://127.0.0.1:$port/   (Ctrl-C stops the server)"
# 127.0.0.1 counts as a secure origin, which the page's audio worklet needs.
exec python3 -m http.server --bind 127.0.0.1 --directory "$out" "$port"
