#!/usr/bin/env bash
# Starts the built window program on a virtual display and saves a picture
# of the screen, so the window can be looked at without a desktop.
#   screenshot-window.sh [BUILD_DIR] [OUTPUT.png]
# BUILD_DIR defaults to build; OUTPUT to BUILD_DIR/tambelo-window.png.
# The program plays the music set beside it (BUILD_DIR/frontend); set
# TAMBELO_SCREENSHOT_SET to a folder holding amus.dat, amus.mda and amus.txt
# to show another set. Sound goes to TAMBELO_MIDI_OUT (default: none).
# Needs Xvfb, netpbm (xwdtopnm, pnmtopng) and, for a title bar, twm.
# Windows mode: screenshot-window.sh --windows ZIP OUTPUT.png starts
# tambelo.exe from the Windows zip under Wine (see test-windows-window.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--windows" ]; then
  exec "$root/scripts/test-windows-window.sh" "${2:?the zip}" "$root/build-windows/window_probe.exe" \
    "${3:-$root/build-windows/tambelo-window.png}"
fi
build=${1:-$root/build}
output=${2:-$build/tambelo-window.png}
program_dir=$build/frontend

for tool in Xvfb xwdtopnm pnmtopng; do
  if ! command -v "$tool" >/dev/null; then
    echo "screenshot-window.sh: $tool is missing; install xvfb and netpbm (scripts/setup.sh)" >&2
    exit 1
  fi
done
if [ ! -x "$program_dir/tambelo" ]; then
  echo "screenshot-window.sh: no program at $program_dir/tambelo; build first (scripts/build.sh $build)" >&2
  exit 1
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ -n "${TAMBELO_SCREENSHOT_SET:-}" ]; then
  # The program finds its library and its music set in its own folder.
  mkdir "$work/program"
  cp "$program_dir/tambelo" "$program_dir/libtambelo.so" "$work/program/"
  for name in amus.dat amus.mda amus.txt; do
    if [ -f "$TAMBELO_SCREENSHOT_SET/$name" ]; then cp "$TAMBELO_SCREENSHOT_SET/$name" "$work/program/"; fi
  done
  program_dir=$work/program
fi

mkdir "$work/screen"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 360x160x24 -fbdir "$work/screen" -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
display=:$(head -n1 "$work/display")
export DISPLAY=$display QT_QPA_PLATFORM=xcb
export TAMBELO_MIDI_OUT=${TAMBELO_MIDI_OUT:-none}

if command -v twm >/dev/null; then
  # Place windows without asking, at the position the program asks for.
  # Xvfb has only its built-in font "fixed".
  printf '%s\n' RandomPlacement 'UsePPosition "on"' NoGrabServer 'TitleFont "fixed"' \
    'MenuFont "fixed"' 'IconFont "fixed"' 'ResizeFont "fixed"' 'IconManagerFont "fixed"' \
    >"$work/twmrc"
  twm -f "$work/twmrc" >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
fi
"$program_dir/tambelo" 2>"$work/program.log" &
pids+=($!)
sleep 2

if ! kill -0 "${pids[-1]}" 2>/dev/null; then
  echo "screenshot-window.sh: the program ended early:" >&2
  cat "$work/program.log" >&2
fi
xwdtopnm "$work/screen/Xvfb_screen0" 2>/dev/null | pnmtopng >"$output"
echo "Saved $output"
