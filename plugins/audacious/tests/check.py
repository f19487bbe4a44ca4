#!/usr/bin/env python3
"""Plays the sample set in Audacious, headless, through the tambelo input
plugin, and reads back through audtool what the player shows:

    check.py PLUGIN AUDACIOUS_PLUGIN_DIR TAMBELO_CLI SAMPLE_DIR FUZZ_CORPUS

Run it on a session bus of its own (dbus-run-session): audtool finds the
player there. Audacious loads plugins only from its own plugin folder, which
it places relative to where its program lies; so the test runs a copy of the
program in a folder of its own whose plugin folder holds this plugin, the
file writer as the only output and the playlist format it saves in. Plugins
installed on the system are never seen, and the user's settings neither.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import wave

plugin, system_plugin_dir, cli, samples, corpus = sys.argv[1:6]
failures = []


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    failures.append(message)


def audtool(*args):
    done = subprocess.run(["audtool", *args], capture_output=True, text=True, timeout=30)
    return done.stdout.strip()


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    fail("timed out waiting for " + what)
    return False


def frames_of(path):
    with wave.open(path) as w:
        return (w.getnchannels(), w.getsampwidth(), w.getframerate()), w.readframes(w.getnframes())


work = tempfile.mkdtemp()
player = None
try:
    # The private installation: Audacious goes from /usr/bin to the plugin
    # folder below /usr, so the copy goes from PREFIX/bin to the same folder
    # below PREFIX.
    prefix = os.path.join(work, "prefix")
    plugin_dir = prefix + system_plugin_dir[len("/usr"):]
    for kind, source in (("Input", plugin), ("Output", os.path.join(system_plugin_dir, "Output", "filewriter.so")),
                         ("Container", os.path.join(system_plugin_dir, "Container", "audpl.so"))):
        os.makedirs(os.path.join(plugin_dir, kind))
        os.symlink(source, os.path.join(plugin_dir, kind, os.path.basename(source)))
    os.makedirs(os.path.join(prefix, "bin"))
    program = os.path.join(prefix, "bin", "audacious")
    # A copy, not a link: Audacious finds itself through /proc/self/exe.
    shutil.copy(shutil.which("audacious"), program)

    config = os.path.join(work, "config")
    os.makedirs(os.path.join(config, "audacious"))
    out = os.path.join(work, "out")
    os.makedirs(out)
    with open(os.path.join(config, "audacious", "config"), "w") as f:
        # 16-bit WAV files, as the export writes.
        # ReplayGain off to begin with, so that the output is the track's own samples.
        f.write("[audacious]\noutput_bit_depth=16\nenable_replay_gain=FALSE\n[filewriter]\nfileext=0\nfile_path=file://%s\n"
                "filenamefromtags=FALSE\n" % out)
    # The file writer chosen as the output before the player starts.
    with open(os.path.join(config, "audacious", "plugin-registry"), "w") as f:
        f.write("format 11\noutput %s\nstamp 0\nenabled 1\n" % os.path.join(plugin_dir, "Output", "filewriter.so"))

    sets = os.path.join(work, "set")
    os.makedirs(sets)
    for name in ("amus.dat", "amus.mda", "amus.txt"):
        shutil.copy(os.path.join(samples, name), sets)
    score = os.path.join(sets, "amus.dat")

    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_CACHE_HOME=os.path.join(work, "cache"))
    log = open(os.path.join(work, "audacious.log"), "w+")
    # Verbose: Audacious logs the ReplayGain it is handed.
    player = subprocess.Popen([program, "-H", "-V"], env=env, stdout=log, stderr=subprocess.STDOUT)
    if not wait_for(lambda: audtool("version").startswith("Audacious"), 20, "Audacious to answer"):
        sys.exit(1)

    def entries():
        return int(audtool("playlist-length") or 0)

    def add(uri, count):
        before = entries()
        audtool("playlist-addurl", uri)
        wait_for(lambda: entries() >= before + count, 30, "%s in the playlist" % uri)
        return range(before + 1, before + count + 1)

    def tag(field, entry):
        return audtool("playlist-tuple-data", field, str(entry))

    def play(entry):
        """Plays the entry to its end (the player stops after it), or until
        it fails."""
        audtool("playlist-jump", str(entry))
        audtool("playback-play")
        # A track that cannot play may stop before it is seen playing.
        deadline = time.monotonic() + 5
        while audtool("playback-status") != "playing" and time.monotonic() < deadline:
            time.sleep(0.05)
        return wait_for(lambda: audtool("playback-status") == "stopped", 300, "entry %d to end" % entry)

    def alive():
        return player.poll() is None and audtool("version").startswith("Audacious")

    # Every track a subtune, with its title, album and length (loops 2, fade 8 s).
    listing = json.loads(subprocess.run([cli, "list", score, "--json"], capture_output=True, text=True,
                                        check=True).stdout)
    tracks = listing["tracks"]
    added = add("file://" + score, len(tracks))
    if entries() != len(tracks):
        fail("%d playlist entries for %d tracks" % (entries(), len(tracks)))
    subprocess.run([cli, "export", score, "6", "--format", "wav", "-o", os.path.join(work, "export6")],
                   capture_output=True, check=True)
    (fmt, pcm), = [frames_of(os.path.join(work, "export6", n)) for n in os.listdir(os.path.join(work, "export6"))]
    ending_ms = len(pcm) // 4 * 1000 // fmt[2]
    for entry, track in zip(added, tracks):
        title = track["title"]
        if tag("title", entry) != title:
            fail("entry %d: title %r, not %r" % (entry, tag("title", entry), title))
        if tag("album", entry) != listing["title"] or tag("track-number", entry) != str(track["number"]):
            fail("entry %d: album %r, number %r" % (entry, tag("album", entry), tag("track-number", entry)))
        if track["loops"]:
            want = track["intro_ms"] + 2 * track["loop_ms"] + 8000
        else:
            # What is played is the music and its release tail, whose length
            # only rendering finds; the entry shows the shortest it can be,
            # the music and 100 ms of quiet, answered without rendering.
            want = track["intro_ms"] + 100
            if not want <= ending_ms <= want + 10000:
                fail("track 6 plays %d ms, outside the bounds of its length" % ending_ms)
        got = int(tag("length", entry) or -1)
        if abs(got - want) > 1.5:
            fail("entry %d: length %d ms, not %.1f" % (entry, got, want))

    # The settings are read: looping forever, a looping track's length is its
    # intro and one pass of its loop, the span a seek reaches; it plays on.
    audtool("config-set", "tambelo:loop_forever", "TRUE")
    (forever,) = add("file://%s?1" % score, 1)
    span_ms = round(tracks[0]["intro_ms"] + tracks[0]["loop_ms"])
    if tag("length", forever) != str(span_ms):
        fail("looping forever, track 1's length is %r, not %d ms" % (tag("length", forever), span_ms))
    # Seeks while it loops forever, paused so that the file writer, faster
    # than real time, stands still: each lands where it was asked to.
    audtool("playlist-jump", str(forever))
    audtool("playback-play")
    if wait_for(lambda: audtool("playback-status") == "playing", 10, "track 1 to play"):
        audtool("playback-pause")
        for target_s in (30, 10):
            audtool("playback-seek", str(target_s))
            deadline = time.monotonic() + 10
            while not 0 <= int(audtool("current-song-output-length-frames")) - 1000 * target_s < 500 and \
                    time.monotonic() < deadline:
                time.sleep(0.05)
            position_ms = int(audtool("current-song-output-length-frames"))
            if not 0 <= position_ms - 1000 * target_s < 500:
                fail("looping forever, a seek to %d s stands at %d ms" % (target_s, position_ms))
    audtool("playback-stop")
    wait_for(lambda: audtool("playback-status") == "stopped", 10, "track 1 to stop")
    audtool("config-set", "tambelo:loop_forever", "FALSE")
    for written in os.listdir(out):
        os.remove(os.path.join(out, written))

    # One track played through the file writer: the export's samples.
    audtool("playlist-stop-after-toggle")
    audtool("config-set", "tambelo:loops", "1")
    audtool("config-set", "tambelo:fade_s", "2")
    if play(3):
        subprocess.run([cli, "export", score, "3", "--format", "wav", "--loops", "1", "--fade", "2", "-o",
                        os.path.join(work, "export3")], capture_output=True, check=True)
        written = [os.path.join(out, n) for n in os.listdir(out)]
        exported = [os.path.join(work, "export3", n) for n in os.listdir(os.path.join(work, "export3"))]
        if len(written) != 1:
            fail("the file writer wrote %r" % written)
        else:
            got, want = frames_of(written[0]), frames_of(exported[0])
            if got != want:
                fail("Audacious played %s, %d bytes; the export holds %s, %d bytes" %
                     (got[0], len(got[1]), want[0], len(want[1])))

    # ReplayGain on: the track's, as the export writes it, handed over while
    # it plays (looping forever, so that it is still playing when it comes).
    subprocess.run([cli, "export", score, "3", "--format", "flac", "--loops", "1", "--fade", "2", "-o",
                    os.path.join(work, "export3-flac")], capture_output=True, check=True)
    flac = os.path.join(work, "export3-flac", os.listdir(os.path.join(work, "export3-flac"))[0])
    want_gain = float(subprocess.run(["metaflac", "--show-tag=REPLAYGAIN_TRACK_GAIN", flac], capture_output=True,
                                     text=True, check=True).stdout.split("=")[1].split()[0])
    audtool("config-set", "audacious:enable_replay_gain", "TRUE")
    audtool("config-set", "tambelo:loop_forever", "TRUE")
    audtool("playlist-jump", "3")
    audtool("playback-play")

    def told_gains():
        with open(os.path.join(work, "audacious.log")) as f:
            return [float(g) for g in re.findall(r" track gain: ([-0-9.]+) dB", f.read())]
    wait_for(told_gains, 30, "the ReplayGain of track 3")
    audtool("playback-stop")
    for written in os.listdir(out):
        os.remove(os.path.join(out, written))
    audtool("config-set", "tambelo:loop_forever", "FALSE")
    audtool("config-set", "audacious:enable_replay_gain", "FALSE")
    if not told_gains() or abs(told_gains()[-1] - want_gain) > 0.1:
        fail("ReplayGain handed over: %r dB; the export has %.2f dB" % (told_gains(), want_gain))

    # A set cut short lists every track and plays the ones it still holds;
    # the others say why they cannot play.
    cut = os.path.join(work, "cut")
    os.makedirs(cut)
    with open(score, "rb") as whole, open(os.path.join(cut, "amus.dat"), "wb") as part:
        part.write(whole.read(1200))
    cut_entries = add("file://" + os.path.join(cut, "amus.dat"), len(tracks))
    if "cannot play" in tag("title", cut_entries[0]) or int(tag("length", cut_entries[0]) or 0) <= 0:
        fail("track 1 of a set cut short is not listed as playable: %r" % tag("title", cut_entries[0]))
    if "ends before it" not in tag("title", cut_entries[-1]):
        fail("the last track of a set cut short does not say why it cannot play: %r" % tag("title", cut_entries[-1]))

    # Tracks of hours and years (tests/long_set): listed at once, nothing
    # rendered to learn a length, every length a sensible number.
    long_set = os.path.join(work, "long")
    subprocess.run([cli, "pack", os.path.join(os.path.dirname(__file__), "..", "..", "..", "tests", "long_set"),
                    "-o", long_set], capture_output=True, check=True)
    started = time.monotonic()
    long_entries = add("file://" + os.path.join(long_set, "amus.dat"), 3)
    lengths = [int(tag("length", entry) or -1) for entry in long_entries]
    if time.monotonic() - started > 10 or not alive():
        fail("the set of very long tracks took %.1f s to list" % (time.monotonic() - started))
    if "more than 3 hours" not in tag("title", long_entries[0]) or not 0 < lengths[1] < 3 * 3600 * 1000 \
            or not 0 < lengths[2] < 3 * 3600 * 1000:
        fail("the very long tracks are listed as %r, %r" % ([tag("title", e) for e in long_entries], lengths))

    # A SoundFont that cannot be loaded: the player says so and goes on.
    audtool("config-set", "tambelo:soundfont", os.path.join(work, "missing.sf2"))
    play(1)
    audtool("config-set", "tambelo:soundfont", "")

    # Damaged archives and other files: never a crash; a damaged archive
    # shows why it cannot play, another file is left to other plugins quietly.
    hostile = os.path.join(work, "hostile")
    os.makedirs(hostile)
    for folder in ("fuzz_page_archive", "fuzz_score_compiler"):
        for name in sorted(os.listdir(os.path.join(corpus, folder))):
            shutil.copy(os.path.join(corpus, folder, name), os.path.join(hostile, name + ".dat"))
    with open(os.path.join(hostile, "notes.dat"), "w") as f:
        f.write("not music at all\n")
    # A score archive larger than any can be, and one with such a voice
    # archive beside it: refused for their size.
    for name in ("huge.dat", "big_voices.dat", "big_voices.mda"):
        shutil.copy(score, os.path.join(hostile, name))
    for name in ("huge.dat", "big_voices.mda"):
        os.truncate(os.path.join(hostile, name), 17 << 20)
    log.flush()
    quiet_from = log.tell()
    first = entries() + 1
    audtool("playlist-addurl", "file://" + hostile)
    # Done when the folder's entries stop coming.
    counts = []
    wait_for(lambda: counts.append(entries()) or (len(counts) > 20 and counts[-1] == counts[-20] >= first),
             60, "the folder's entries")
    for entry in range(first, entries() + 1):
        play(entry)
    if not alive():
        fail("Audacious did not survive the damaged archives")
    else:
        titles = [tag("title", entry) for entry in range(first, entries() + 1)]
        if not any("cannot play" in title for title in titles):
            fail("no damaged archive is shown as unplayable: %r" % titles)
        for refused in ("huge.dat (cannot play: the file is larger than 16 MiB",
                        "big_voices.dat (cannot play: big_voices.mda is larger than 16 MiB"):
            if not any(title.startswith(refused) for title in titles):
                fail("no entry %r...: %r" % (refused, titles))
        log.seek(0)
        text = log.read()
        if "Cannot play track 1 of amus.dat" not in text:
            fail("a SoundFont that cannot be loaded gives no clear error")
        repeated = re.search(r"Cannot play track (\d+) of .*\btrack \1\b.*", text)
        if repeated:
            fail("an error names its track twice: " + repeated[0])
        # The plugin logs nothing itself (what it has to say is in the titles
        # and the errors shown), and no error is about the other file.
        logged = [line for line in text.splitlines() if "tambelo_input.cpp" in line]
        if logged or any("notes" in title and "cannot play" in title for title in titles) or \
                "of notes.dat" in text[quiet_from:]:
            print("\n".join(logged), file=sys.stderr)
            fail("a file of another kind is not declined quietly")
finally:
    if player is not None:
        if player.poll() is None:
            subprocess.run(["audtool", "shutdown"], timeout=30)
            try:
                player.wait(20)
            except subprocess.TimeoutExpired:
                player.kill()
                player.wait()
        if player.returncode not in (0, None) and not failures:
            fail("Audacious ended with status %d" % player.returncode)
        if failures:
            with open(os.path.join(work, "audacious.log")) as f:
                sys.stderr.write(f.read())
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)
