#!/usr/bin/env bash
# A private PulseAudio server that goes away while `tambelo-cli play` plays:
#   kill: killed, and started again five seconds later: the player says that
#         its output stopped, the sound is back within two seconds of the
#         restart, and the player says so too;
#   stop: stopped for three seconds (SIGSTOP), then let go on: the clicks
#         that follow are as regular as before, so the stall cost its own
#         sound and nothing after it.
#   server_restart_test.sh TAMBELO_CLI PRIVATE_AUDIO_SERVER_SCRIPT CLICK_SOURCE_DIR [kill|stop]
set -euo pipefail
cli=$1 server=$2 clicks=$3 mode=${4:-kill}
. "$(dirname "$0")/private_server.sh"
start_private_server pulseaudio
timeout 40 "$cli" play "$work/set/amus.dat" 1 --for 14 </dev/null >/dev/null 2>"$work/play.err" &
player=$!
sleep 3
pid=$(head -n 1 "$work/srv/pids")
if [ "$mode" = stop ]; then
  kill -STOP "$pid"
  sleep 3
  kill -CONT "$pid"
  # Settle, then four seconds of what the sink plays.
  sleep 1
  timeout 4 parec -d bench.monitor --format=s16le --channels=1 --rate=48000 --raw >"$work/after.raw" || true
else
  kill -9 "$pid"
  sleep 5
  "$server" start pulseaudio "$work/srv" >/dev/null
  set -a; . "$work/srv/env"; set +a
  # Two seconds of what the sink plays from the moment the server answers.
  timeout 2 parec -d bench.monitor --format=s16le --channels=1 --rate=48000 --raw >"$work/after.raw" || true
fi
wait "$player"
cat "$work/play.err"
if [ "$mode" = kill ]; then
  grep -q "the audio output stopped" "$work/play.err" || { echo "FAIL: the loss was not told"; exit 1; }
  grep -q "the audio output is back" "$work/play.err" || { echo "FAIL: the return was not told"; exit 1; }
fi
python3 - "$work/after.raw" "$mode" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
samples = struct.unpack('<%dh' % (len(data) // 2), data[: len(data) // 2 * 2])
loud = max((abs(s) for s in samples), default=0)
print(f"{len(samples) / 48000:.2f} s recorded after the server came back, peak {loud}")
if loud <= 300:
    sys.exit(1)
if sys.argv[2] == 'stop':
    # The woodblock's onsets, a sixteenth (125 ms) apart at 120 BPM. An
    # onset follows 20 ms of quiet: the recording may begin inside a click,
    # whose start it never heard.
    onsets, loud_at = [], 0
    for i, s in enumerate(samples):
        if abs(s) > loud // 2:
            if i - loud_at > 0.02 * 48000 and (not onsets or i - onsets[-1] > 0.08 * 48000):
                onsets.append(i)
            loud_at = i
    gaps = [(b - a) / 48.0 for a, b in zip(onsets, onsets[1:])]
    print(f"{len(onsets)} clicks, gaps from {min(gaps, default=0):.2f} to {max(gaps, default=0):.2f} ms")
    if len(onsets) < 20 or any(abs(gap - 125.0) > 3.0 for gap in gaps):
        print("FAIL: the clicks after the stall are not on the beat")
        sys.exit(1)
PY
