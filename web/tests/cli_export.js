// The command line's WAV export beside the page's: what the tests that
// compare them share.
import { execFileSync } from 'node:child_process';
import { mkdirSync, readdirSync, readFileSync } from 'node:fs';
import path from 'node:path';

export const soundfont = '/usr/share/sounds/sf2/TimGM6mb.sf2';
// The largest difference of a sample (16-bit scale) between the page's
// FluidSynth (2.4) and the native one (2.3), both driven by the library's
// renderer with the same messages on the same blocks and the same effect
// settings: 258 was measured (sample track 3, whose violins the two builds
// voice a little differently; most channels differ by at most 1).
export const wavBound = 280;

// The samples of a 16-bit WAV file's data chunk.
export function wavSamples(file) {
  for (let at = 12; at + 8 <= file.length;) {
    const size = file.readUInt32LE(at + 4);
    if (file.toString('latin1', at, at + 4) === 'data') {
      return new Int16Array(file.buffer.slice(file.byteOffset + at + 8, file.byteOffset + at + 8 + size));
    }
    at += 8 + size + (size & 1);
  }
  throw new Error('no data chunk');
}

// `tambelo-cli export` of the set's `tracks` (such as "3"; all when empty)
// as WAV with the tests' SoundFont into `folder`: the files' samples in
// track order (the playlist written beside them left out).
export function exportedSamples(cli, scorePath, folder, tracks = '') {
  mkdirSync(folder, { recursive: true });
  execFileSync(cli, ['export', scorePath, ...(tracks ? [tracks] : []), '--format', 'wav', '--soundfont', soundfont, '-o', folder],
    { stdio: 'ignore' });
  return readdirSync(folder).filter((name) => name.endsWith('.wav')).sort().map((name) => wavSamples(readFileSync(path.join(folder, name))));
}

// How `mine` differs from `theirs`, sample for sample: {largest, rms}.
export function difference(mine, theirs) {
  let largest = 0;
  let squares = 0;
  for (let i = 0; i < mine.length; ++i) {
    const d = Math.abs(mine[i] - theirs[i]);
    largest = Math.max(largest, d);
    squares += d * d;
  }
  return { largest, rms: Math.sqrt(squares / Math.max(1, mine.length)) };
}
