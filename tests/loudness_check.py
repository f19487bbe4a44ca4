#!/usr/bin/env python3
"""Loudness, ReplayGain, normalization and playlists of audio exports,
checked with readers that share no code with tambelo: ffmpeg's loudness
meter, Python's WAV reader, soxi, metaflac and vorbiscomment.

  loudness_check.py TAMBELO-CLI SET.dat RENDER_API_LOUDNESS_TEST

Exits 0 when everything holds, 1 with the failures listed."""

import json
import math
import os
import re
import subprocess
import sys
import tempfile
import wave
from array import array

CLI, SET, API_PROGRAM = sys.argv[1:4]
CEILING = 10 ** (-1 / 20)
failures = []


def check(holds, what):
    if not holds:
        failures.append(what)
        print("FAILED:", what, file=sys.stderr)


def run(*arguments):
    return subprocess.run(arguments, check=True, capture_output=True, text=True).stdout


def ffmpeg_lufs(*inputs):
    """ffmpeg's integrated loudness of the files played one after another:
    its EBU R128 meter's last running value, which it tells to three places
    (its summary rounds to one)."""
    arguments = ["ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error"]
    for path in inputs:
        arguments += ["-i", path]
    chain = "".join(f"[{i}:a]" for i in range(len(inputs)))
    arguments += ["-filter_complex", f"{chain}concat=n={len(inputs)}:v=0:a=1,ebur128=metadata=1,"
                  "ametadata=print:key=lavfi.r128.I:file=-", "-f", "null", "-"]
    log = subprocess.run(arguments, check=True, capture_output=True, text=True).stdout
    return float(re.findall(r"lavfi\.r128\.I=(\S+)", log)[-1])


def wav_peak(path):
    """The largest absolute sample of a 16-bit WAV file, 1.0 = full scale."""
    with wave.open(path) as file:
        samples = array("h", file.readframes(file.getnframes()))
    return max(max(samples), -min(samples)) / 32768.0


def wav_files(folder):
    return sorted(os.path.join(folder, name) for name in os.listdir(folder) if name.endswith(".wav"))


def tags(path):
    if path.endswith(".flac"):
        lines = run("metaflac", "--export-tags-to=-", path).splitlines()
    else:
        lines = run("vorbiscomment", "-l", path).splitlines()
    return dict(line.split("=", 1) for line in lines if "=" in line)


def export(folder, *options, tracks=None):
    arguments = [CLI, "export", SET, "-o", folder, "--jobs", "2", *options]
    if tracks:
        arguments.append(tracks)
    return run(*arguments)


with tempfile.TemporaryDirectory() as scratch:
    # The library's measurement against ffmpeg's of the WAV export.
    measured = {}
    for line in run(API_PROGRAM, SET).splitlines():
        number, lufs, peak = line.split()
        measured[int(number)] = (float(lufs), float(peak))
    plain = os.path.join(scratch, "wav")
    export(plain, "--format", "wav")
    files = wav_files(plain)
    check(len(files) == len(measured), "every track is exported")
    for number, path in enumerate(files, 1):
        lufs, peak = measured[number]
        theirs = ffmpeg_lufs(path)
        check(abs(lufs - theirs) <= 0.1, f"track {number}: {lufs:.2f} LUFS measured, ffmpeg {theirs:.2f}")
        # 16-bit samples are rounded down: within one step of the float peak.
        check(abs(peak - wav_peak(path)) <= 1.5 / 32768, f"track {number}: peak {peak} vs {wav_peak(path)}")

    # The playlist beside a whole set: its files in order, lengths as soxi reads them.
    playlists = [name for name in os.listdir(plain) if name.endswith(".m3u")]
    check(len(playlists) == 1, "a whole set's export writes one playlist")
    if playlists:
        with open(os.path.join(plain, playlists[0]), encoding="utf-8") as file:
            lines = file.read().splitlines()
        check(lines[0] == "#EXTM3U", "the playlist starts with #EXTM3U")
        entries = list(zip(lines[1::2], lines[2::2]))
        check([name for _, name in entries] == [os.path.basename(path) for path in files],
              "the playlist names the files in track order")
        for info, name in entries:
            seconds = int(re.match(r"#EXTINF:(\d+),.+", info).group(1))
            length = float(run("soxi", "-D", os.path.join(plain, name)))
            check(seconds == round(length), f"{name}: {seconds} s in the playlist, {length:.3f} s in the file")
    export(os.path.join(scratch, "one"), "--format", "wav", tracks="1")
    check(not any(name.endswith(".m3u") for name in os.listdir(os.path.join(scratch, "one"))),
          "an export of chosen tracks writes no playlist")

    # ReplayGain in FLAC (a whole set: the album's too) and in Ogg Vorbis.
    flac = os.path.join(scratch, "flac")
    export(flac, "--format", "flac")
    album = ffmpeg_lufs(*files)
    for number, name in enumerate(sorted(n for n in os.listdir(flac) if n.endswith(".flac")), 1):
        read = tags(os.path.join(flac, name))
        gain = read.get("REPLAYGAIN_TRACK_GAIN", "")
        check(re.fullmatch(r"-?\d+\.\d\d dB", gain) is not None, f"{name}: track gain {gain!r}")
        check(re.fullmatch(r"\d\.\d{6}", read.get("REPLAYGAIN_TRACK_PEAK", "")) is not None, f"{name}: peak")
        if gain:
            check(abs(float(gain.split()[0]) - (-18 - measured[number][0])) <= 0.006, f"{name}: gain {gain}")
        album_gain = read.get("REPLAYGAIN_ALBUM_GAIN", "0 dB")
        check(abs(float(album_gain.split()[0]) - (-18 - album)) <= 0.1,
              f"{name}: album gain {album_gain}, ffmpeg's album loudness {album:.2f}")
        check(float(read.get("REPLAYGAIN_ALBUM_PEAK", "0")) == max(round(p, 6) for _, p in measured.values()),
              f"{name}: album peak")
    ogg = os.path.join(scratch, "ogg")
    export(ogg, "--format", "ogg", tracks="2")
    read = tags(os.path.join(ogg, os.listdir(ogg)[0]))
    check(read.get("REPLAYGAIN_TRACK_GAIN") == "%.2f dB" % (-18 - measured[2][0]), "Ogg track gain")
    check(read.get("REPLAYGAIN_TRACK_PEAK") == "%.6f" % measured[2][1], "Ogg track peak")
    check("REPLAYGAIN_ALBUM_GAIN" not in read, "chosen tracks carry no album gain")

    # Normalized: at the target, or at the -1 dBFS ceiling and said so; never clipped.
    for target, options in ((-16.0, ["--normalize"]), (-30.0, ["--normalize=-30"])):
        folder = os.path.join(scratch, f"normalized{int(-target)}")
        said = export(folder, "--format", "wav", *options)
        for number, path in enumerate(wav_files(folder), 1):
            lufs, peak = ffmpeg_lufs(path), wav_peak(path)
            check(peak <= CEILING, f"{target} LUFS, track {number}: peak {peak:.4f} above -1 dBFS")
            missed = any(line.startswith(f"Track {number} (") and "not %.1f LUFS" % target in line
                         for line in said.splitlines())
            if missed:
                check(peak >= CEILING - 4 / 32768 and lufs < target + 0.1,
                      f"{target} LUFS, track {number}: said missed, but {lufs:.2f} LUFS, peak {peak:.4f}")
            else:
                check(abs(lufs - target) <= 0.1, f"{target} LUFS, track {number}: {lufs:.2f} LUFS")

print("all held" if not failures else f"{len(failures)} failed")
sys.exit(1 if failures else 0)
