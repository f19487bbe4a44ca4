#!/usr/bin/env bash
# A private PulseAudio server killed while `tambelo-cli play` plays, and
# started again five seconds later: the player says that its output stopped,
# the sound is back within two seconds of the restart, and the player says
# so too.
#   server_restart_test.sh TAMBELO_CLI PRIVATE_AUDIO_SERVER_SCRIPT CLICK_SOURCE_DIR
set -euo pipefail
cli=$1 server=$2 clicks=$3
work=$(mktemp -d)
trap '"$server" stop "$work/srv" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
"$cli" pack "$clicks" -o "$work/set" >/dev/null
"$server" start pulseaudio "$work/srv" >/dev/null
set -a; . "$work/srv/env"; set +a
timeout 40 "$cli" play "$work/set/amus.dat" 1 --for 14 </dev/null >/dev/null 2>"$work/play.err" &
player=$!
sleep 3
kill -9 "$(head -n 1 "$work/srv/pids")"
sleep 5
"$server" start pulseaudio "$work/srv" >/dev/null
set -a; . "$work/srv/env"; set +a
# Two seconds of what the sink plays from the moment the server answers.
timeout 2 parec -d bench.monitor --format=s16le --channels=1 --rate=48000 --raw >"$work/after.raw" || true
wait "$player"
cat "$work/play.err"
grep -q "the audio output stopped" "$work/play.err" || { echo "FAIL: the loss was not told"; exit 1; }
grep -q "the audio output is back" "$work/play.err" || { echo "FAIL: the return was not told"; exit 1; }
python3 - "$work/after.raw" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
samples = struct.unpack('<%dh' % (len(data) // 2), data[: len(data) // 2 * 2])
loud = max((abs(s) for s in samples), default=0)
print(f"{len(samples) / 48000:.2f} s recorded after the restart, peak {loud}")
sys.exit(0 if loud > 300 else 1)
PY
