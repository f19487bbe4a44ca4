#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into corpus/<target>/: a few small,
well-formed scores, voice sets and archives that reach every part of their
formats. Run it again after changing it; the seeds are kept in the tree."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def score(channels, phrases):
    """channels: {k: (phrase numbers, loop start)}; phrases: lists of command bytes."""
    head = bytearray(48)
    head[0] = 40
    head[41] = 15
    lists = bytearray()
    list_offsets = {}
    body_start = 48 + sum(2 * len(p) + 2 for p, _ in channels.values())
    phrase_offsets = []
    at = body_start
    for phrase in phrases:
        phrase_offsets.append(at)
        at += len(phrase) + 1
    for k, (numbers, loop) in sorted(channels.items()):
        list_offsets[k] = 48 + len(lists)
        for n in numbers:
            lists += struct.pack('<H', phrase_offsets[n])
        lists += bytes([loop, 255])
    for k, offset in list_offsets.items():
        struct.pack_into('<H', head, 4 + 4 * k, offset)
    body = b''.join(bytes(p) + b'\xff' for p in phrases)
    return bytes(head + lists + body)


def voice_set(tempo_base, size, start, numbered, triples=None):
    out = bytearray(27)
    out[7] = tempo_base
    out[24:27] = bytes([size, len(numbered), 1 if triples is not None else 0])
    record = lambda v: bytes(v[:size]) + bytes(max(0, size - 7))
    for v in start:
        out += record(v)
    for index, v in numbered:
        out += bytes([index]) + record(v)
    if triples is not None:
        out += bytes([len(triples)]) + b''.join(bytes(t) for t in triples)
    return bytes(out)


def archive(entries):
    """Page table: word n is entry n's first page (pages of 256 bytes, page 1
    at byte 0), word L + 1 the page after the last, then a 0 word."""
    word_count = len(entries) + 3
    table_pages = (2 * word_count + 255) // 256
    page = table_pages + 1
    firsts = []
    body = b''
    for entry in entries:
        pages = max(1, (len(entry) + 255) // 256)
        firsts.append(page)
        body += entry + bytes(pages * 256 - len(entry))
        page += pages
    words = [firsts[0] if firsts else 0] + firsts + [page, 0]
    table = b''.join(struct.pack('<H', w) for w in words)
    return table + bytes(table_pages * 256 - len(table)) + body


def every_command():
    """One phrase with each command code once, argument bytes included."""
    args = {**{c: [24] for c in range(13)}, **{c: [44, 1] for c in range(13, 26)},
            224: [1], 225: [250], 228: [1, 2, 3], 229: [1], 230: [0] * 8, 231: [0] * 8,
            232: [0] * 10, 234: [6], 235: [40], 240: [3], 241: [0], 242: [5], 243: [129, 0],
            244: [100], 245: [2], 246: [0, 0], 249: [90], 250: [0], 251: [0, 0], 252: [66],
            253: [0], 254: [0, 0, 0]}
    phrase = []
    for code in range(255):
        phrase += [code] + args.get(code, [])
    return phrase


def write(target, name, data):
    folder = os.path.join(here, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


minimal = score({0: ([0], 0)}, [[129]])
write('fuzz_score_compiler', 'minimal', minimal)
write('fuzz_score_compiler', 'repeated_phrase', score({0: ([0, 0], 1)}, [[129]]))
write('fuzz_score_compiler', 'every_command', score({0: ([0], 0), 3: ([1, 0, 1], 2)}, [every_command(), []]))
write('fuzz_score_compiler', 'octaves_and_ties', score(
    {1: ([0, 1], 1), 8: ([1], 0)},
    [[240, 0, 239, 1, 8, 233, 248, 248, 5, 12, 247, 0, 4], [242, 7, 2, 48, 234, 10, 131, 244, 80, 236]]))

piano = [0, 1, 110, 20, 10, 64, 30]
drums = [255, 0, 127, 0, 0, 64, 64]
worked = voice_set(72, 7, [piano, piano, drums], [(5, piano), (255, drums)], [(0, 23, 36), (1, 0, 40)])
write('fuzz_voice_set', 'worked_layout', worked)
write('fuzz_voice_set', 'record_size_10', voice_set(60, 10, [piano] * 3, [(1, drums)], []))
write('fuzz_voice_set', 'record_size_3', voice_set(64, 3, [piano] * 3, [(9, piano)]))

write('fuzz_page_archive', 'two_entries', archive([minimal, worked]))
write('fuzz_page_archive', 'one_long_entry', archive([bytes(range(256)) * 3]))
write('fuzz_page_archive', 'cut_short', archive([minimal, worked])[:300])


def render_input(mode, track, flags, seek_ms, scores, voices, titles):
    """The render harness's input: its header, then voices, titles, scores."""
    head = struct.pack('<BBBBdHH', mode, track, flags, 0, seek_ms, len(voices), len(titles))
    return head + voices + titles + scores


looping = score({0: ([0, 1], 1), 3: ([1], 0)}, [every_command(), [129, 130, 131]])
scores = archive([looping, minimal])
voices = archive([worked, worked])
titles = '0 Game\r\n1 One \u202egnp.exe\r\n2 Two\r\n'.encode()
write('fuzz_render_api', 'fade_to_infinity', render_input(0, 0, 1, float('inf'), scores, voices, titles))
write('fuzz_render_api', 'seamless_to_1e300', render_input(1, 0, 2, 1e300, scores, voices, titles))
write('fuzz_render_api', 'forever_to_1e17', render_input(2, 0, 0, 1e17, scores, voices, titles))
write('fuzz_render_api', 'forever_back_near', render_input(2, 1, 1, 20.0, scores, voices, b''))
one_loop = archive([score({0: ([0, 1], 1)}, [[129], [130, 131, 129]])])
write('fuzz_render_api', 'seamless_one_loop', render_input(1, 0, 0, 30.0, one_loop, voices, b''))


def smf(fmt, tracks, division=96):
    """A Standard MIDI File; tracks are event bytes without their end-of-track."""
    out = b'MThd' + struct.pack('>IHHH', 6, fmt, len(tracks), division)
    for body in tracks:
        body = bytes(body) + b'\x00\xff\x2f\x00'
        out += b'MTrk' + struct.pack('>I', len(body)) + body
    return out


tempo = b'\x00\xff\x51\x03\x07\xa1\x20'
notes = b'\x00\xc0\x28\x00\xb0\x07\x5a\x00\x90\x3c\x50\x60\x3c\x00\x00\x40\x50\x30\x40\x00'  # running status
chord = b'\x00\x90\x3c\x50\x00\x40\x50\x00\x43\x50\x60\x80\x3c\x00\x00\x40\x00\x00\x43\x00'
drums = b'\x00\x99\x24\x64\x00\x2a\x46\x30\x89\x2a\x00\x00\x99\x26\x64\x30\x89\x24\x00\x00\x26\x00'
loop = (b'\x00\xff\x06\x09loopStart' + b'\x00\xb0\x6f\x00\x00\x91\x45\x40\x60\x45\x00' +
        b'\x00\xe1\x00\x50\x00\xb1\x0a\x20\x00\xb1\x65\x00\x00\xb1\x64\x01\x00\xb1\x06\x48' +
        b'\x00\xf0\x03\x7e\x7f\xf7\x00\xff\x06\x07loopEnd')
write('fuzz_midi_import', 'format0_running_status', smf(0, [tempo + notes]))
write('fuzz_midi_import', 'format1_chord_and_drums', smf(1, [tempo, chord, drums], division=480))
write('fuzz_midi_import', 'loop_markers_and_controllers', smf(1, [tempo + b'\x00\xff\x58\x04\x03\x02\x18\x08', loop]))
