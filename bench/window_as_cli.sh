#!/usr/bin/env bash
# Stands in for tambelo-cli where a measuring script plays a track with
#     window_as_cli.sh play SET 1 --output synth --for SECONDS
# so that the window program plays it instead (it plays track 1 of the set it
# is given as it starts), on Qt's offscreen platform, with settings of its
# own so that nothing is remembered. Every other command goes to the real
# tambelo-cli. Set TAMBELO_CLI and TAMBELO_WINDOW to the two programs.
set -u
cli=${TAMBELO_CLI:?set TAMBELO_CLI to tambelo-cli}
window=${TAMBELO_WINDOW:?set TAMBELO_WINDOW to the window program}
[ "${1:-}" = play ] || exec "$cli" "$@"
set_path=$2 seconds=20
shift 2
while [ $# -gt 0 ]; do
  [ "$1" = --for ] && [ $# -gt 1 ] && seconds=$2
  shift
done
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# The window plays a set lying beside it before the one it is given, and the
# build puts the sample set there: it runs from a folder of its own, with the
# playback library it loads.
mkdir "$config/program"
cp "$window" "$(dirname "$window")/libtambelo.so" "$config/program/"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$config timeout -s TERM "$seconds" "$config/program/$(basename "$window")" "$set_path"
status=$?
# Stopped by the timeout, as the player ends after --for seconds.
[ "$status" -eq 124 ] && exit 0
exit "$status"
