#!/usr/bin/env bash
# PipeWire runs its graph at the largest power of two of frames that fits in
# the period our stream asks its PulseAudio server for. A period that comes
# out one frame short of a power of two halves the graph's period, and at
# 512 frames the null sink now and then misses a cycle and plays silence
# into the music. This plays through a private PipeWire server and checks the
# period our node asked for: a power of two of at least 1,024 frames.
#   pipewire_period_test.sh TAMBELO_CLI PRIVATE_AUDIO_SERVER_SCRIPT CLICK_SOURCE_DIR
set -euo pipefail
cli=$1 server=$2 clicks=$3
. "$(dirname "$0")/private_server.sh"
start_private_server pipewire
timeout 30 "$cli" play "$work/set/amus.dat" 1 --for 8 </dev/null >/dev/null 2>"$work/play.err" &
player=$!
latency=
for _ in $(seq 50); do
  sleep 0.2
  latency=$(pw-dump 2>/dev/null | python3 -c '
import json, sys
for node in json.load(sys.stdin):
    props = (node.get("info") or {}).get("props") or {}
    if node.get("type", "").endswith(":Node") and props.get("application.name") == "tambelo":
        print(props.get("node.latency", ""))
        break
' || true)
  [ -n "$latency" ] && break
done
wait "$player" || { cat "$work/play.err"; echo "FAIL: the player failed"; exit 1; }
[ -n "$latency" ] || { echo "FAIL: no node of ours appeared in PipeWire's graph"; exit 1; }
python3 - "$latency" <<'PY'
import sys
frames, rate = (int(part) for part in sys.argv[1].split("/"))
print(f"our node asks for {frames} frames at {rate} Hz")
if frames & (frames - 1) or frames * 48000 < 1024 * rate:
    sys.exit("FAIL: not a power of two of at least 1,024 frames at 48 kHz: the graph runs at a shorter period")
PY
