#!/usr/bin/env bash
# Starts or stops an audio server of our own, private to one folder, so that
# a benchmark or a test can play into it and record what it really outputs
# without touching the user's servers or another run's.
#
#   private-audio-server.sh start pulseaudio|pipewire|jack DIR
#   private-audio-server.sh stop DIR
#
# start waits until the server answers, then writes DIR/env: the variables a
# client needs (one NAME=VALUE a line). PulseAudio and PipeWire get a null
# sink named "bench" at 48 kHz as the default sink (record it from
# bench.monitor with parec), and a second one, "control", for a stock
# client's sound played at the same time; JACK runs its dummy driver at 44.1 kHz with
# 256-frame periods. On failure it says why on stderr, stops what it
# started, and exits non-zero.
set -euo pipefail

command=${1:-}
case $command in
  start) kind=${2:?server kind}; dir=${3:?folder} ;;
  stop) dir=${2:?folder} ;;
  *) echo "usage: $0 start pulseaudio|pipewire|jack DIR | stop DIR" >&2; exit 2 ;;
esac
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

stop_all() {
  if [ -f "$dir/pids" ]; then
    # The processes this script started, by id, newest first.
    tac "$dir/pids" | while read -r pid; do kill "$pid" 2>/dev/null || true; done
    sleep 0.3
    tac "$dir/pids" | while read -r pid; do kill -9 "$pid" 2>/dev/null || true; done
    rm -f "$dir/pids"
  fi
}

if [ "$command" = stop ]; then
  stop_all
  exit 0
fi

# Everything the server keeps lives in the folder: sockets, state, config.
runtime="$dir/run"
mkdir -p "$runtime" "$dir/home"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime" HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config"
export XDG_STATE_HOME="$dir/home/.state" PULSE_RUNTIME_PATH="$runtime/pulse"
unset PULSE_SERVER JACK_DEFAULT_SERVER DBUS_SESSION_BUS_ADDRESS || true
: > "$dir/pids"

start() {  # command... ; its output goes to DIR/<name>.log
  local name; name=$(basename "$1")
  "$@" > "$dir/$name.log" 2>&1 &
  echo $! >> "$dir/pids"
}

wait_for() {  # seconds, then a command that succeeds once the server answers
  local seconds=$1; shift
  for _ in $(seq $((seconds * 10))); do
    if "$@" > /dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

fail() {
  echo "private-audio-server.sh: $*" >&2
  stop_all
  exit 1
}

socket="$runtime/pulse/native"
case $kind in
  pulseaudio)
    command -v pulseaudio > /dev/null || fail "pulseaudio is not installed"
    mkdir -p "$runtime/pulse"
    start pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
      -L "module-null-sink sink_name=bench rate=48000" \
      -L "module-null-sink sink_name=control rate=48000" \
      -L "module-native-protocol-unix auth-anonymous=1 socket=$socket" \
      -L "module-always-sink"
    wait_for 10 pactl --server="unix:$socket" info || fail "PulseAudio did not start (see $dir/pulseaudio.log)"
    pactl --server="unix:$socket" set-default-sink bench
    printf 'PULSE_SERVER=unix:%s\nXDG_RUNTIME_DIR=%s\n' "$socket" "$runtime" > "$dir/env"
    ;;
  pipewire)
    command -v pipewire > /dev/null && command -v pipewire-pulse > /dev/null && command -v wireplumber > /dev/null ||
      fail "pipewire, pipewire-pulse and wireplumber are needed"
    # WirePlumber, which links the streams to the sink, needs a session bus.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
    start dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS"
    wait_for 10 test -S "$runtime/bus" || fail "no session bus for PipeWire (see $dir/dbus-daemon.log)"
    start pipewire
    wait_for 10 pw-cli info 0 || fail "PipeWire did not start (see $dir/pipewire.log)"
    start wireplumber
    start pipewire-pulse
    wait_for 10 pactl --server="unix:$socket" info || fail "PipeWire's PulseAudio server did not start (see $dir/pipewire-pulse.log)"
    pactl --server="unix:$socket" load-module module-null-sink sink_name=bench \
      rate=48000 channels=2 > /dev/null || fail "PipeWire made no null sink"
    pactl --server="unix:$socket" load-module module-null-sink sink_name=control \
      rate=48000 channels=2 > /dev/null || fail "PipeWire made no second null sink"
    wait_for 10 pactl --server="unix:$socket" set-default-sink bench || fail "PipeWire's null sink did not appear"
    printf 'PULSE_SERVER=unix:%s\nXDG_RUNTIME_DIR=%s\n' "$socket" "$runtime" > "$dir/env"
    ;;
  jack)
    command -v jackd > /dev/null || fail "jackd is not installed"
    name="tambelo-$(basename "$dir")-$$"
    start jackd -n "$name" -d dummy -r 44100 -p 256
    wait_for 10 env JACK_DEFAULT_SERVER="$name" jack_lsp || fail "JACK did not start (see $dir/jackd.log)"
    printf 'JACK_DEFAULT_SERVER=%s\nXDG_RUNTIME_DIR=%s\n' "$name" "$runtime" > "$dir/env"
    ;;
  *) fail "unknown server kind: $kind" ;;
esac
