// Measures how far the page's "Save as WAV", saved through the page in
// headless Chromium, lies from `tambelo-cli export` with the same SoundFont,
// for every track of the sample set: frame counts, the differences sample
// for sample, and the shift that best lines the two up. Both come from the
// library's renderer; only the FluidSynth builds differ (core_matches_cli.js
// bounds the difference).
//   node measure_wav.js BUILD_DIR WEB_DIR
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { difference, exportedSamples, wavSamples } from './cli_export.js';
import { launchChromium, servePage } from './page_harness.js';

const [buildDir, webDir] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!buildDir || !webDir) {
  console.error('usage: node measure_wav.js BUILD_DIR WEB_DIR');
  process.exit(2);
}
const setDir = path.join(buildDir, 'samples');

// The mean square difference of the left channels when `b` is shifted by `lag` frames, over `span` frames from `from`.
function meanSquare(a, b, lag, from, span) {
  let sum = 0;
  for (let i = from; i < from + span; ++i) sum += (a[2 * i] - (b[2 * (i + lag)] ?? 0)) ** 2;
  return sum / span;
}

const scratch = mkdtempSync(path.join(tmpdir(), 'tambelo-wav-'));
const server = await servePage(webDir);
const browser = await launchChromium('tambelo-web-wav-');
try {
  const exported = exportedSamples(path.join(buildDir, 'cli/tambelo-cli'), path.join(setDir, 'amus.dat'), scratch);
  const page = await browser.newPage();
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready="true"]', { timeout: 60000 });
  await (await page.$('#pick-files')).uploadFile(...['amus.dat', 'amus.mda', 'amus.txt'].map((name) => path.join(setDir, name)));
  await page.waitForFunction((count) => window.tambeloPage.lengths.length === count, { timeout: 30000 }, exported.length);
  for (let number = 1; number <= exported.length; ++number) {
    await page.evaluate((n) => { window.tambeloPage.lastExport = null; document.querySelectorAll('#tracks .track')[n - 1].click(); }, number);
    await page.click('#cmdStop');
    await page.click('#save-wav');
    await page.waitForFunction(() => window.tambeloPage.lastExport, { timeout: 300000 });
    const mine = wavSamples(Buffer.from(await page.evaluate(async () => Array.from(new Uint8Array(await window.tambeloPage.lastExport.blob.arrayBuffer())))));
    const theirs = exported[number - 1];
    const frames = Math.min(mine.length, theirs.length) / 2;
    const { largest, rms } = difference(mine.subarray(0, 2 * frames), theirs.subarray(0, 2 * frames));
    // The best shift within ±2,048 frames over a second from the middle.
    const from = Math.floor(frames / 2) - 44100;
    let best = 0;
    for (let lag = -2048; lag <= 2048; ++lag) if (meanSquare(mine, theirs, lag, from, 44100) < meanSquare(mine, theirs, best, from, 44100)) best = lag;
    console.log(`track ${number}: page ${mine.length / 2} frames, CLI ${theirs.length / 2}; largest difference ${largest}, RMS ${rms.toFixed(1)};`
      + ` best shift ${best} frames, RMS there ${Math.sqrt(meanSquare(mine, theirs, best, from, 44100)).toFixed(1)} (left channel, 1 s from the middle)`);
  }
} finally {
  await browser.closeAndForget();
  await server.close();
  rmSync(scratch, { recursive: true, force: true });
}
