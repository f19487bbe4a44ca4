#!/usr/bin/env bash
# Starts tambelo.exe from the unpacked Windows zip under Wine on a virtual
# display, as a user would with a double click, and checks the window: its
# client area is 258 x 58, the caption and status line come from the sample
# set's title list, and a click on "next" (xdotool) moves to track 2. Then
# closes it and expects status 0. Also checks what the zip holds, and that
# without tambelo.dll the program names it in an error box and ends with a
# non-zero status.
#   test-windows-window.sh ZIP [PROBE_EXE] [SCREENSHOT.png]
# PROBE_EXE (default build-windows/window_probe.exe) reads the window from
# inside Wine. Uses WINE (default wine) and WINEPREFIX (default
# build-windows/wine-prefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zip=$(realpath "$1")
probe=$(realpath "${2:-$root/build-windows/window_probe.exe}")
screenshot=${3:-}
wine=${WINE:-wine}
export WINEPREFIX=${WINEPREFIX:-$root/build-windows/wine-prefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" TAMBELO_MIDI_OUT=none LC_ALL=C.UTF-8

fail() { echo "test-windows-window.sh: $*" >&2; exit 1; }
for tool in Xvfb xdotool unzip; do
  command -v "$tool" >/dev/null || fail "$tool is missing; install it (scripts/setup.sh)"
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# What the zip holds, and the README's CR LF line ends.
expected="README.txt amus.dat amus.mda amus.txt tambelo-cli.exe tambelo.dll tambelo.exe"
listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ' | sed 's/ $//')
[ "$listed" = "$expected" ] || fail "the zip holds '$listed', not '$expected'"
# Unpacked into a folder with a Japanese name, as a Japanese game's folder
# is, on a Western code page (1252, Wine's for this locale; the Unix side
# names files in UTF-8): the set's paths must still reach the library whole,
# or "next" would not reach track 2.
app="$work/ゲーム 第二作"
unzip -q "$zip" -d "$app"
if grep -q $'[^\r]$' "$app/README.txt"; then fail "README.txt has lines without CR LF"; fi

# The caption and the first two status lines the title list promises.
titles=$app/amus.txt
game=$(sed -n 's/^0 \(.*\)\r$/\1/p' "$titles" | head -n 1)
track1=$(grep -a -m1 '^1 ' "$titles" | tr -d '\r')
track2=$(grep -a -m1 '^2 ' "$titles" | tr -d '\r')
[ -n "$game" ] && [ -n "$track1" ] && [ -n "$track2" ] || fail "the sample set's title list lacks lines 0, 1 or 2"

mkdir "$work/screen"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 400x200x24 -fbdir "$work/screen" -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/display")

(cd "$app" && exec "$wine" tambelo.exe) >"$work/program.log" 2>&1 &
program=$!
pids+=($program)

probe_window() { "$wine" "$probe" "$@" 2>/dev/null | tr -d '\r'; }
field() { sed -n "s/^$1 //p" <<<"$2"; }

# Wine may have to build its prefix first: allow it a few minutes.
state=
for _ in $(seq 180); do
  state=$(probe_window || true)
  [ -n "$state" ] && break
  kill -0 "$program" 2>/dev/null || fail "tambelo.exe ended early: $(cat "$work/program.log")"
  sleep 1
done
[ -n "$state" ] || fail "no window appeared"
echo "$state"
[ "$(field client "$state")" = "258 58" ] || fail "client area is $(field client "$state"), not 258 58"
[ "$(field caption "$state")" = "TAMBELO - $game" ] || fail "caption is '$(field caption "$state")'"
[ "$(field status "$state")" = " $track1" ] || fail "status line is '$(field status "$state")', not ' $track1'"

# "next" is the fifth button: x 168..208, y 8..32 in the client area.
read -r x y <<<"$(field origin "$state")"
xdotool mousemove $((x + 188)) $((y + 20)) click 1
for _ in $(seq 20); do
  state=$(probe_window || true)
  [ "$(field status "$state")" = " $track2" ] && break
  sleep 0.5
done
[ "$(field status "$state")" = " $track2" ] || fail "after next the status line is '$(field status "$state")', not ' $track2'"
echo "after next: $(field status "$state")"

if [ -n "$screenshot" ] && command -v xwdtopnm >/dev/null; then
  xwdtopnm "$work/screen/Xvfb_screen0" 2>/dev/null | pnmtopng >"$screenshot"
  echo "Saved $screenshot"
fi

probe_window close
status=0
wait "$program" || status=$?
[ "$status" -eq 0 ] || fail "tambelo.exe ended with status $status after closing"

# Without the library: an error box naming it, then a non-zero status.
rm "$app/tambelo.dll"
(cd "$app" && exec "$wine" tambelo.exe) >"$work/program.log" 2>&1 &
program=$!
pids+=($program)
message=
for _ in $(seq 60); do
  message=$(probe_window error || true)
  [ -n "$message" ] && break
  sleep 1
done
echo "$message"
[[ "$message" == *tambelo.dll* ]] || fail "no error box naming tambelo.dll, but '$message'"
status=0
wait "$program" || status=$?
[ "$status" -ne 0 ] || fail "tambelo.exe without its library ended with status 0"
echo "test-windows-window.sh: the window shows, steps to track 2 and closes; a missing library is named"
