// The web player's core (WebAssembly) against the native command-line
// player: whether a file is a music set, in the same words; and for every
// track of the sample set and of sets packed from odd scores, the messages
// the page would play are the messages that `tambelo-cli trace` sends, in
// the same order, each at its moment.
//   node core_matches_cli.js BUILD_DIR WEB_DIR
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [buildDir, webDir] = process.argv.slice(2);
if (!buildDir || !webDir) {
  console.error('usage: node core_matches_cli.js BUILD_DIR WEB_DIR');
  process.exit(2);
}
const here = path.dirname(fileURLToPath(import.meta.url));
const cli = path.resolve(buildDir, 'cli/tambelo-cli');
const { Core } = await import(path.resolve(webDir, 'core.js'));
const createTambeloCore = createRequire(import.meta.url)(path.resolve(webDir, 'tambelo-core.js'));
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

const scratch = mkdtempSync(path.join(tmpdir(), 'tambelo-web-core-'));
try {
  compareIdentities(scratch);
  compareSet('sample set', path.join(buildDir, 'samples'), true);
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
