#!/usr/bin/env bash
# Plays the sample set through the tambelo GStreamer plugin, as GStreamer's
# own tools do, and checks what comes out:
#   check.sh PLUGIN_DIR TAMBELO_CLI SAMPLE_DIR FUZZ_CORPUS SEEK_CHECK SYSTEM_PLUGIN_DIR
set -euo pipefail
plugin_dir=$1 cli=$2 samples=$3 corpus=$4 seek_check=$5 system_plugin_dir=$6
export GST_PLUGIN_PATH=$plugin_dir
# A registry of our own: the tests never read or write the user's.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_REGISTRY=$work/registry.bin
# The system's plugins without a tambelo plugin installed among them, so that
# the one under test is the only one GStreamer sees.
mkdir "$work/system-plugins"
for system_plugin in "$system_plugin_dir"/*.so; do
  [ "$(basename "$system_plugin")" = libgsttambelo.so ] || ln -s "$system_plugin" "$work/system-plugins/"
done
export GST_PLUGIN_SYSTEM_PATH_1_0=$work/system-plugins
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# The plugin loads and describes itself without complaint.
if ! gst-inspect-1.0 tambelo >"$work/inspect.txt" 2>"$work/inspect.err"; then
  fail "gst-inspect-1.0 cannot load the plugin"; cat "$work/inspect.err" >&2
fi
grep -q tambelodec "$work/inspect.txt" || fail "gst-inspect-1.0 lists no tambelodec"
[ ! -s "$work/inspect.err" ] || { fail "gst-inspect-1.0 complains"; cat "$work/inspect.err" >&2; }

# The set under another name: the type finder must go by content, and the
# element must find the voices and titles beside it by the same name.
mkdir "$work/set"
cp "$samples/amus.dat" "$work/set/music.bin"
cp "$samples/amus.mda" "$work/set/music.mda"
cp "$samples/amus.txt" "$work/set/music.txt"

# The same samples as the export, with the same settings.
track=3
"$cli" export "$samples/amus.dat" $track --format wav --sample-rate 44100 --loops 1 --fade 2 -o "$work/export" >/dev/null
gst-launch-1.0 -q filesrc location="$work/set/music.bin" ! tambelodec track=$track loops=1 fade=2 \
  ! wavenc ! filesink location="$work/gst.wav" >"$work/launch.log" 2>&1 || { fail "gst-launch-1.0 failed"; cat "$work/launch.log" >&2; }
python3 - "$work/gst.wav" "$work"/export/*.wav <<'PY' || fail "the element's PCM differs from the export's"
import sys, wave
def frames(path):
    with wave.open(path) as w:
        return (w.getnchannels(), w.getsampwidth(), w.getframerate()), w.readframes(w.getnframes())
got, want = frames(sys.argv[1]), frames(sys.argv[2])
if got[0] != want[0] or got[1] != want[1]:
    sys.exit(f"{sys.argv[1]}: {got[0]}, {len(got[1])} bytes; export {want[0]}, {len(want[1])} bytes")
PY

# The track's ReplayGain, measured while it plays, is the export's.
"$cli" export "$samples/amus.dat" $track --format flac --sample-rate 44100 --loops 1 --fade 2 -o "$work/export-flac" >/dev/null
want_gain=$(metaflac --show-tag=REPLAYGAIN_TRACK_GAIN "$work"/export-flac/*.flac | sed 's/^[^=]*=//; s/ dB$//')
timeout -s INT 15 gst-launch-1.0 -t filesrc location="$work/set/music.bin" ! tambelodec track=$track loops=1 fade=2 \
  ! fakesink sync=true >"$work/gain.log" 2>&1 || true
got_gain=$(sed -n 's/.*replaygain track gain: \([-0-9.e]*\).*/\1/p' "$work/gain.log" | tail -1)
grep -q "replaygain reference level: 89" "$work/gain.log" || fail "no ReplayGain reference level told"
awk -v got="$got_gain" -v want="$want_gain" 'BEGIN { d = got - want; exit !(got != "" && want != "" && d < 0.1 && d > -0.1) }' \
  || { fail "track gain '$got_gain' dB told while playing, the export has '$want_gain'"; cat "$work/gain.log" >&2; }

# A track that ends by itself: its length is what is played, release tail
# included, and the tail is the export's.
"$cli" export "$samples/amus.dat" 6 --format wav --sample-rate 44100 -o "$work/export6" >/dev/null
gst-launch-1.0 -t filesrc location="$work/set/music.bin" ! tambelodec track=6 \
  ! wavenc ! filesink location="$work/gst6.wav" >"$work/launch6.log" 2>&1 || { fail "gst-launch-1.0 failed on track 6"; cat "$work/launch6.log" >&2; }
python3 - "$work/gst6.wav" "$work"/export6/*.wav "$work/launch6.log" <<'PY' || fail "track 6: the length told is not what is played"
import re, sys, wave
def frames(path):
    with wave.open(path) as w:
        return w.getframerate(), w.readframes(w.getnframes())
(rate, got), (_, want) = frames(sys.argv[1]), frames(sys.argv[2])
if got != want:
    sys.exit(f"{len(got)} bytes played, the export holds {len(want)}")
# Told at the start within the bounds the library gives without rendering
# (the tail's length is known only once it has died away), and at the end
# exactly.
told = [int(ns) for ns in re.findall(r"duration: (\d+)$", open(sys.argv[3]).read(), re.M)]  # nanoseconds
played_ns = len(got) // 4 * 10**9 // rate
if not told or abs(told[-1] - played_ns) > 10**6 or not played_ns - 10 * 10**9 <= told[0] <= played_ns + 10**6:
    sys.exit(f"duration tags {told} ns, {played_ns} ns played")
PY

# Discovered by content, with its length and its tags.
gst-discoverer-1.0 -v "$work/set/music.bin" >"$work/discover.txt" 2>&1 || true
title=$(sed -n '2p' "$samples/amus.txt" | sed 's/^[0-9]*[[:space:]]*//' | tr -d '\r')
grep -q "Duration: 0:0[1-9]" "$work/discover.txt" || fail "gst-discoverer-1.0 reports no duration"
grep -q "title: $title" "$work/discover.txt" || fail "gst-discoverer-1.0 reports no title '$title'"
grep -q "track number: 1" "$work/discover.txt" || fail "gst-discoverer-1.0 reports no track number"
[ "$failed" = 0 ] || cat "$work/discover.txt" >&2

# A seek lands where it was asked to.
"$seek_check" "$work/set/music.bin" 2 10.5 || fail "seeking"

# Something else is not claimed by the type finder.
head -c 4096 /dev/urandom >"$work/noise.bin"
printf 'RIFF plain text, not music' >"$work/text.dat"
for other in "$work/noise.bin" "$work/text.dat"; do
  if gst-discoverer-1.0 -v "$other" 2>&1 | grep -q tambelo; then fail "the type finder claims $(basename "$other")"; fi
done

# Damaged archives end with a clear error, never a crash or a pipeline
# left waiting. Errors come at once, so each runs several times: an error
# that gst-launch-1.0 may miss must still let the pipeline end.
for hostile in "$corpus"/fuzz_page_archive/* "$corpus"/fuzz_score_compiler/*; do
  for round in 1 2 3 4 5; do
    set +e
    timeout 30 gst-launch-1.0 -q filesrc location="$hostile" ! tambelodec ! fakesink >"$work/hostile.log" 2>&1
    status=$?
    set -e
    if [ $status = 0 ]; then
      break  # a valid archive among them: it plays
    elif [ $status = 124 ]; then
      fail "$(basename "$hostile") left the pipeline waiting"; cat "$work/hostile.log" >&2; break
    elif [ $status -ge 128 ]; then
      fail "$(basename "$hostile") crashed the element"; cat "$work/hostile.log" >&2; break
    elif ! grep -q 'Cannot play' "$work/hostile.log"; then
      fail "$(basename "$hostile"): no clear error"; cat "$work/hostile.log" >&2; break
    elif grep -qE 'Cannot play track ([0-9]+): .*track \1' "$work/hostile.log"; then
      fail "$(basename "$hostile"): the error names its track twice"; cat "$work/hostile.log" >&2; break
    fi
  done
done

# A score archive larger than any can be is refused before it is gathered,
# whether upstream tells its size or not, and so is such a voice archive.
mkdir "$work/huge"
cp "$samples/amus.dat" "$work/huge/music.bin"
truncate -s 17M "$work/huge/music.bin"
cp "$samples/amus.dat" "$work/huge/voices.bin"
cp "$samples/amus.dat" "$work/huge/voices.mda"
truncate -s 17M "$work/huge/voices.mda"
for source in "filesrc location=$work/huge/music.bin" "fdsrc fd=0" "filesrc location=$work/huge/voices.bin"; do
  set +e
  timeout 30 gst-launch-1.0 -q $source ! tambelodec ! fakesink <"$work/huge/music.bin" >"$work/huge.log" 2>&1
  status=$?
  set -e
  if [ $status = 0 ] || [ $status = 124 ] || [ $status -ge 128 ] || ! grep -q 'larger than 16 MiB' "$work/huge.log"; then
    fail "$source: a 17 MiB file of the set is not refused for its size (status $status)"; cat "$work/huge.log" >&2
  fi
done
# A set cut short still plays the tracks it holds: found by its content, with
# a length, and track 1 played to its end.
mkdir "$work/cut"
head -c 1200 "$samples/amus.dat" >"$work/cut/amus.dat"
gst-discoverer-1.0 "$work/cut/amus.dat" >"$work/cut.txt" 2>&1 || true
grep -q "Duration: 0:0[1-9]" "$work/cut.txt" || { fail "a set cut short is not discovered"; cat "$work/cut.txt" >&2; }
timeout 60 gst-launch-1.0 -q filesrc location="$work/cut/amus.dat" ! tambelodec ! fakesink >"$work/cut.log" 2>&1 \
  || { fail "track 1 of a set cut short does not play"; cat "$work/cut.log" >&2; }

# Sets that describe music of hours, years (tests/long_set): nothing is
# rendered to learn a length, so every tool answers at once (track 1 lasts
# about twenty hours, track 2 an hour).
"$cli" pack "$(dirname "$0")/../../../tests/long_set" -o "$work/long/out" >/dev/null
# The refusal comes as the pipeline prerolls, so it runs several times.
started=$SECONDS
for round in 1 2 3 4 5 6 7 8 9 10; do
  timeout 20 gst-discoverer-1.0 -t 5 "$work/long/out/amus.dat" >"$work/long.txt" 2>&1 || true
  grep -q "more than 3 hours" "$work/long.txt" || { fail "a track of twenty hours is not refused clearly"; cat "$work/long.txt" >&2; break; }
done
[ $((SECONDS - started)) -le 10 ] || fail "gst-discoverer-1.0 took $((SECONDS - started)) s for ten looks at a set of very long tracks"
# Track 2 plays, its length told at once (it would play for an hour).
timeout -s INT 5 gst-launch-1.0 -t filesrc location="$work/long/out/amus.dat" ! tambelodec track=2 \
  ! fakesink sync=true >"$work/long2.log" 2>&1 || true
grep -q "duration: [0-9]\{13\}$" "$work/long2.log" \
  || { fail "track 2 of the long set tells no length at once"; cat "$work/long2.log" >&2; }

exit $failed
