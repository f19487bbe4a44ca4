// The web player's core (WebAssembly) against the native command-line
// player: whether a file is a music set, in the same words; for every
// track of the sample set and of sets packed from odd scores, the messages
// the page would play are the messages that `tambelo-cli trace` sends, in
// the same order, each at its moment; and for every track of the sample
// set, the page's "Save as WAV" (the library's renderer in the core, driving
// the page's FluidSynth) is `tambelo-cli export` with the same SoundFont:
// the same frames, every sample within `wavBound` of the native one.
//   node core_matches_cli.js BUILD_DIR WEB_DIR
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { difference, exportedSamples, soundfont, wavBound, wavSamples } from './cli_export.js';

const [buildDir, webDir] = process.argv.slice(2);
if (!buildDir || !webDir) {
  console.error('usage: node core_matches_cli.js BUILD_DIR WEB_DIR');
  process.exit(2);
}
const here = path.dirname(fileURLToPath(import.meta.url));
const cli = path.resolve(buildDir, 'cli/tambelo-cli');
const { Core } = await import(path.resolve(webDir, 'core.js'));
const require = createRequire(import.meta.url);
const createTambeloCore = require(path.resolve(webDir, 'tambelo-core.js'));
// The module is handed its .wasm: left to itself under node it would fetch it.
const core = new Core(await createTambeloCore({ wasmBinary: readFileSync(path.resolve(webDir, 'tambelo-core.wasm')) }));

const spanMs = 120000;
// The player pauses this long after the device reset; the ticks that fall
// due meanwhile are played when it wakes.
const pauseMs = 100;
const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ');

function traceOf(setPath, track) {
  const text = execFileSync(cli, ['trace', setPath, String(track), '--for-ms', String(spanMs)],
    { encoding: 'utf8', maxBuffer: 1 << 28 });
  return text.split('\n').filter(Boolean).map((line) => {
    const space = line.indexOf(' ');
    return { ms: Number(line.slice(0, space)), bytes: line.slice(space + 1) };
  });
}

let failures = 0;
let compared = 0;
function check(label, condition, detail) {
  if (!condition) {
    ++failures;
    console.error(`FAIL ${label}: ${detail}`);
  }
  return condition;
}

function compareSet(name, dir, withVoices) {
  const score = readFileSync(path.join(dir, 'amus.dat'));
  core.loadSet(score, withVoices ? readFileSync(path.join(dir, 'amus.mda')) : null);
  const count = core.trackCount();
  check(name, count > 0, 'no tracks');
  for (let number = 1; number <= count; ++number) {
    const label = `${name} track ${number}`;
    const track = core.open(number);
    const trace = traceOf(path.join(dir, 'amus.dat'), number);
    if (track.failure) {
      check(label, trace.length === 0 || !trace.some((m) => m.bytes.startsWith('F0')), 'the web core refused a track the player plays');
      continue;
    }
    const played = track.playUntilMs(spanMs);
    const { ended } = track;
    track.close();
    // The trace starts with the silencing of the previous track; the
    // track's own messages start with the device reset.
    const start = trace.findIndex((m) => m.bytes === hex(played[0].bytes));
    if (!check(label, start >= 0, 'the trace has no device reset')) continue;
    const traced = trace.slice(start);
    const resetMs = traced[0].ms;
    for (let i = 0; i < played.length; ++i) {
      const mine = played[i];
      const theirs = traced[i];
      if (!check(label, theirs !== undefined, `the trace ends before message ${i}`)) break;
      if (!check(label, hex(mine.bytes) === theirs.bytes, `message ${i}: ${hex(mine.bytes)} but the player sent ${theirs.bytes}`)) break;
      // The player wakes on a millisecond clock, so it sends at the first
      // whole millisecond at or after the ideal moment (give or take the
      // rounding of its single-precision tick account).
      const due = mine.timeMs === 0 ? 0 : Math.max(pauseMs, mine.timeMs);
      const late = theirs.ms - resetMs - due;
      if (!check(label, late > -0.01 && late < 1.01, `message ${i} (${theirs.bytes}) ideally at ${due.toFixed(3)} ms, the player sent it at ${theirs.ms - resetMs}`)) break;
    }
    // Whatever the trace has beyond lies beyond the compared span, or, after
    // a track that ended, is the silencing of the player going idle (which
    // the page does itself).
    const silencing = /^B[0-9] 7[89] 00$/;
    const beyond = traced.slice(played.length).find((m) => !(ended && silencing.test(m.bytes)));
    check(label, beyond === undefined || beyond.ms - resetMs >= spanMs,
      `the player sent ${beyond?.bytes} at ${beyond?.ms} ms, which the web core did not`);
    ++compared;
  }
}

// Whether a file is a music set, and the words for one that is not: the
// page asks its core, and must answer as tambelo-cli list does.
function compareIdentity(name, file) {
  const page = core.identify(readFileSync(file)) > 0 ? 'a set' : `${file} ${core.notASetReason()}`;
  let native = 'a set';
  try {
    execFileSync(cli, ['list', file], { stdio: ['ignore', 'ignore', 'pipe'] });
  } catch (error) {
    native = error.stderr.toString().trim().replace(/^tambelo-cli: /, '');
  }
  check(`${name} is identified as tambelo-cli list identifies it`, page === native, `page: ${page}; tambelo-cli: ${native}`);
}

function compareIdentities(dir) {
  const table = (pages, tracks) => {
    const bytes = Buffer.alloc((pages + tracks + 1) * 256);
    bytes.writeUInt16LE(pages + 1, 0);
    for (let entry = 1; entry <= tracks + 1; ++entry) bytes.writeUInt16LE(pages + entry, 2 * entry);
    return bytes;
  };
  const sample = readFileSync(path.join(buildDir, 'samples', 'amus.dat'));
  const files = {
    'text.dat': Buffer.from('root:x:0:0:root:/root:/bin/bash\n'),
    'noise.dat': Buffer.from(Array.from({ length: 64 }, (_, i) => (i * 97 + 13) & 0xff)),
    'ones.dat': Buffer.alloc(4096, 0xff),
    'widest.dat': table(16, 2045),
    'too-wide.dat': table(17, 2100),
    'cut.dat': sample.subarray(0, 1200),
    'sample.dat': sample,
  };
  for (const [name, bytes] of Object.entries(files)) {
    writeFileSync(path.join(dir, name), bytes);
    compareIdentity(name, path.join(dir, name));
  }
  // A set cut short: each track is playable, or not, for the same reason.
  core.loadSet(files['cut.dat'], null);
  const listed = JSON.parse(execFileSync(cli, ['list', '--json', path.join(dir, 'cut.dat')], { encoding: 'utf8' })).tracks;
  for (const { number, failure } of listed) {
    const track = core.open(number);
    check(`cut set track ${number} is told as tambelo-cli list tells it`, (track.failure ?? null) === failure,
      `page: ${track.failure}; tambelo-cli: ${failure}`);
    if (!track.failure) track.close();
  }
  const corpus = path.join(here, '../../fuzz/corpus/fuzz_set_identity');
  for (const name of readdirSync(corpus)) compareIdentity(`corpus ${name}`, path.join(corpus, name));
}

async function compareWavs(dir, scratch) {
  const exported = exportedSamples(cli, path.join(dir, 'amus.dat'), path.join(scratch, 'wav'));
  core.loadSet(readFileSync(path.join(dir, 'amus.dat')), readFileSync(path.join(dir, 'amus.mda')));
  check('sample set', exported.length === core.trackCount(), `${exported.length} exported tracks, ${core.trackCount()} in the core`);
  // The page's FluidSynth under node: the engine script leaves its module as
  // the global the synthesizer's script binds to.
  const vendor = path.resolve(webDir, 'vendor');
  globalThis.Module = require(path.join(vendor, 'libfluidsynth-2.4.6.js'));
  const JSSynth = require(path.join(vendor, 'js-synthesizer.min.js'));
  await JSSynth.waitForReady();
  const { SynthBridge } = await import(path.resolve(webDir, 'synth-bridge.js'));
  const { renderWav } = await import(path.resolve(webDir, 'wav-render.js'));
  const font = readFileSync(soundfont);
  const figures = [];
  for (let number = 1; number <= exported.length; ++number) {
    const label = `sample set track ${number} as WAV`;
    const bridge = new SynthBridge(JSSynth, globalThis.Module, 44100, font.buffer.slice(font.byteOffset, font.byteOffset + font.length));
    await bridge.start();
    const saved = await renderWav(core, number, bridge, { giveWay: async () => {}, progress: () => {} });
    bridge.close();
    if (!check(label, saved.blob, `not saved: ${saved.failure ?? saved.refusal}`)) continue;
    const mine = wavSamples(Buffer.from(await saved.blob.arrayBuffer()));
    const theirs = exported[number - 1];
    if (!check(label, mine.length === theirs.length, `${mine.length / 2} frames, the export ${theirs.length / 2}`)) continue;
    const { largest, rms } = difference(mine, theirs);
    check(label, largest <= wavBound, `a sample differs by ${largest} from the export's`);
    figures.push(`${number}: ${mine.length / 2} frames, largest ${largest}, RMS ${rms.toFixed(2)}`);
  }
  console.log(`WAV against tambelo-cli export (16-bit samples): ${figures.join('; ')}`);

  // The core's GS reset (device id 0x20) is honoured by the page's
  // FluidSynth: it brings back the volume turned down before it. A reset for
  // another device id is not, and the note stays silent.
  const { applyMessage } = await import(path.resolve(webDir, 'synth-bridge.js'));
  const peakAfterReset = async (deviceId) => {
    const bridge = new SynthBridge(JSSynth, globalThis.Module, 44100, font.buffer.slice(font.byteOffset, font.byteOffset + font.length));
    await bridge.start();
    const left = new Float32Array(4410);
    const right = new Float32Array(4410);
    let peak = 0;
    for (const bytes of [[0xb0, 7, 0], [0xf0, 0x41, deviceId, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41, 0xf7], [0x90, 60, 100]]) {
      applyMessage(bridge.synth, new Uint8Array(bytes));
      bridge.synth.render([left, right]);
      peak = left.reduce((most, v) => Math.max(most, Math.abs(v)), peak);
    }
    bridge.close();
    return peak;
  };
  const peaks = [await peakAfterReset(0x20), await peakAfterReset(0x10)];
  check('the GS reset', peaks[0] > 0.01 && peaks[1] < 1e-4, `peaks after a reset for 0x20 and 0x10: ${peaks}`);
}

const scratch = mkdtempSync(path.join(tmpdir(), 'tambelo-web-core-'));
try {
  compareIdentities(scratch);
  compareSet('sample set', path.join(buildDir, 'samples'), true);
  await compareWavs(path.join(buildDir, 'samples'), scratch);
  const odd = path.join(scratch, 'odd');
  execFileSync(cli, ['pack', path.join(here, 'odd-set'), '-o', odd], { stdio: ['ignore', 'ignore', 'inherit'] });
  compareSet('odd set', odd, true);
  // The same set without its voice archive: default voices on both sides.
  const bare = path.join(scratch, 'bare');
  execFileSync('mkdir', ['-p', bare]);
  copyFileSync(path.join(odd, 'amus.dat'), path.join(bare, 'amus.dat'));
  compareSet('odd set without voices', bare, false);
} finally {
  rmSync(scratch, { recursive: true, force: true });
}
if (failures > 0) {
  console.error(`${failures} difference(s)`);
  process.exit(1);
}
console.log(`web core matches tambelo-cli trace on ${compared} tracks`);
