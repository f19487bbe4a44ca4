#!/usr/bin/env python3
"""Plays the sample set as a GStreamer application would, through playbin and
public GStreamer API only: lists its tracks from the TOC, jumps to track 4 by
a seek in the "track" format, hears it (its first seconds are the export's
samples) and seeks inside it, chooses a track from the TOC, and at the end
of the last track goes back to the first.

    album_check.py PLUGIN_DIR SYSTEM_PLUGIN_DIR TAMBELO_CLI SAMPLE_DIR

About 2 s of processor time, half of it the export of track 4.
"""
import json
import os
import subprocess
import sys
import tempfile
import wave

plugin_dir, system_plugin_dir, cli, samples = sys.argv[1:5]
work = tempfile.TemporaryDirectory()
# GStreamer reads these when it starts: a registry of our own, and the
# system's plugins without any tambelo plugin installed among them.
system_plugins = os.path.join(work.name, "system-plugins")
os.makedirs(system_plugins)
for name in os.listdir(system_plugin_dir):
    if name.endswith(".so") and name != "libgsttambelo.so":
        os.symlink(os.path.join(system_plugin_dir, name), os.path.join(system_plugins, name))
os.environ.update(GST_PLUGIN_PATH=plugin_dir, GST_PLUGIN_SYSTEM_PATH_1_0=system_plugins,
                  GST_REGISTRY=os.path.join(work.name, "registry.bin"))

import gi  # noqa: E402

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402

SECONDS_COMPARED = 3
RATE = 44100
failures = []


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    failures.append(message)


def run_cli(*args):
    return subprocess.run([cli, *args], capture_output=True, text=True, check=True).stdout


def forget_messages(pipeline):
    """Drops what the bus holds, so that what settle() sees next comes after
    a seek that follows."""
    while pipeline.get_bus().pop():
        pass


def settle(pipeline, what):
    """Waits for the pipeline to preroll; returns the TOC and the tags it
    posted on the way."""
    toc, tags = None, Gst.TagList.new_empty()
    kinds = Gst.MessageType.ASYNC_DONE | Gst.MessageType.ERROR | Gst.MessageType.TOC | Gst.MessageType.TAG
    while True:
        message = pipeline.get_bus().timed_pop_filtered(20 * Gst.SECOND, kinds)
        if message is None:
            sys.exit("album_check: timed out waiting for " + what)
        if message.type == Gst.MessageType.ERROR:
            sys.exit("album_check: %s: %s" % (what, message.parse_error()[0].message))
        if message.type == Gst.MessageType.TOC:
            toc = message.parse_toc()[0]
        elif message.type == Gst.MessageType.TAG:
            tags = tags.merge(message.parse_tag(), Gst.TagMergeMode.REPLACE)
        else:
            return toc, tags


def pull_frames(sink, frames):
    """The first `frames` stereo frames the sink receives, and the first
    buffer's time stamp."""
    data, first_pts = b"", None
    while len(data) < 4 * frames:
        sample = sink.emit("try-pull-sample", 10 * Gst.SECOND)
        if sample is None:
            break
        buffer = sample.get_buffer()
        first_pts = buffer.pts if first_pts is None else first_pts
        data += buffer.extract_dup(0, buffer.get_size())
    return data[:4 * frames], first_pts


Gst.init(None)
listing = json.loads(run_cli("list", os.path.join(samples, "amus.dat"), "--json"))
tracks = listing["tracks"]

# The set under a name of its own, found by content, with the files beside it.
for ext in ("dat", "mda", "txt"):
    os.symlink(os.path.abspath(os.path.join(samples, "amus." + ext)), os.path.join(work.name, "music." + ext))
player = Gst.ElementFactory.make("playbin")
player.set_property("uri", Gst.filename_to_uri(os.path.join(work.name, "music.dat")))
sink = Gst.ElementFactory.make("appsink")
sink.set_property("sync", False)
sink.set_property("caps", Gst.Caps.from_string("audio/x-raw,format=S16LE,rate=%d,channels=2" % RATE))
player.set_property("audio-sink", sink)
player.set_property("video-sink", Gst.ElementFactory.make("fakesink"))
player.set_state(Gst.State.PAUSED)
toc, _ = settle(player, "the set to open")
# The format is there once the element is: applications look it up then.
track_format = Gst.Format.get_by_nick("track")

# The album: its track count and, from the TOC, every track's title and length
# (a looping track plays its intro, two passes of its loop and 8 s of fade).
found, count = player.query_duration(track_format)
if not found or count != len(tracks):
    fail("a duration query in the track format answers %r, not %d" % ((found, count), len(tracks)))
entries = toc.get_entries() if toc else []
if len(entries) != len(tracks):
    fail("the TOC has %d entries for %d tracks" % (len(entries), len(tracks)))
for entry, track in zip(entries, tracks):
    entry_tags = entry.get_tags()
    title = entry_tags.get_string(Gst.TAG_TITLE)[1] if entry_tags else None
    length_ms = entry_tags.get_uint64(Gst.TAG_DURATION)[1] / 1e6 if entry_tags else -1
    if title != track["title"]:
        fail("TOC entry %d: title %r, not %r" % (track["number"], title, track["title"]))
    if track["loops"]:
        expected_ms, slack_ms = track["intro_ms"] + 2 * track["loop_ms"] + 8000, 1
    else:  # the music and a release tail of up to 10 s
        expected_ms, slack_ms = track["intro_ms"] + 5000, 5000
    if abs(length_ms - expected_ms) > slack_ms:
        fail("TOC entry %d: %.1f ms long, not %.1f" % (track["number"], length_ms, expected_ms))

# Track 4 by a seek in the track format, counted from 0 as on an audio CD.
forget_messages(player)
if not player.seek(1.0, track_format, Gst.SeekFlags.FLUSH, Gst.SeekType.SET, 3, Gst.SeekType.NONE, -1):
    fail("the seek to track 4 was refused")
_, tags = settle(player, "track 4 to preroll")
if tags.get_uint(Gst.TAG_TRACK_NUMBER)[1] != 4 or tags.get_string(Gst.TAG_TITLE)[1] != tracks[3]["title"]:
    fail("after the seek the tags say track %r, %r" % (tags.get_uint(Gst.TAG_TRACK_NUMBER)[1],
                                                       tags.get_string(Gst.TAG_TITLE)[1]))
position = player.query_position(track_format)
if position != (True, 3):
    fail("a position query in the track format answers %r, not track index 3" % (position,))
duration_ms = player.query_duration(Gst.Format.TIME)[1] / 1e6
if abs(duration_ms - entries[3].get_tags().get_uint64(Gst.TAG_DURATION)[1] / 1e6) > 1:
    fail("track 4 lasts %.1f ms, its TOC entry says otherwise" % duration_ms)

# Its first seconds are the export's samples, exactly.
player.set_state(Gst.State.PLAYING)
heard, first_pts = pull_frames(sink, SECONDS_COMPARED * RATE)
# The loops and the fade come later: the shortest export has the same start.
run_cli("export", os.path.join(samples, "amus.dat"), "4", "--format", "wav", "--loops", "1", "--fade", "0", "-o",
        os.path.join(work.name, "export"))
(exported,) = os.listdir(os.path.join(work.name, "export"))
with wave.open(os.path.join(work.name, "export", exported)) as w:
    expected = w.readframes(SECONDS_COMPARED * RATE)
if first_pts != 0 or heard != expected:
    fail("track 4 after the seek: %d bytes from %r ns differ from the export's first %d s" %
         (len(heard), first_pts, SECONDS_COMPARED))
if not any(heard[i] for i in range(0, len(heard), 97)):
    fail("track 4 is silent")

# A seek inside it lands where asked, and it is still track 4.
target = 20.5 * Gst.SECOND
player.set_state(Gst.State.PAUSED)
player.get_state(10 * Gst.SECOND)
forget_messages(player)
if not player.seek_simple(Gst.Format.TIME, Gst.SeekFlags.FLUSH | Gst.SeekFlags.ACCURATE, target):
    fail("the seek inside track 4 was refused")
settle(player, "the seek inside track 4")
player.set_state(Gst.State.PLAYING)
_, first_pts = pull_frames(sink, 1)
if first_pts is None or abs(first_pts - target) > Gst.MSECOND:
    fail("the first audio after a seek to 20.5 s is stamped %r ns" % first_pts)
if player.query_position(track_format) != (True, 3):
    fail("the seek inside track 4 changed the track")

# A chapter chosen from the TOC plays that track.
player.set_state(Gst.State.PAUSED)
player.get_state(10 * Gst.SECOND)
forget_messages(player)
if not player.send_event(Gst.Event.new_toc_select(entries[1].get_uid())):
    fail("selecting track 2 from the TOC was refused")
settle(player, "track 2 chosen from the TOC")
if player.query_position(track_format) != (True, 1):
    fail("selecting track 2 from the TOC plays track index %r" % (player.query_position(track_format),))

# At the end of the last track, the way to play the album through again: a
# seek to the first.
forget_messages(player)
player.seek(1.0, track_format, Gst.SeekFlags.FLUSH, Gst.SeekType.END, 0, Gst.SeekType.NONE, -1)
settle(player, "the last track")
# Played without keeping its audio, for the end to come at once.
sink.set_property("max-buffers", 1)
sink.set_property("drop", True)
sink.set_property("wait-on-eos", False)
player.set_state(Gst.State.PLAYING)
ended = player.get_bus().timed_pop_filtered(20 * Gst.SECOND, Gst.MessageType.EOS)
sink.set_property("max-buffers", 0)
sink.set_property("drop", False)
if not ended:
    fail("the last track did not end")
elif not player.seek(1.0, track_format, Gst.SeekFlags.FLUSH, Gst.SeekType.SET, 0, Gst.SeekType.NONE, -1):
    fail("at the end of the last track, the seek to the first was refused")
elif pull_frames(sink, 1)[1] != 0 or player.query_position(track_format) != (True, 0):
    fail("at the end of the last track, the seek to the first does not play it")

player.set_state(Gst.State.NULL)
sys.exit(1 if failures else 0)
