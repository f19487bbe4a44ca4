// The web player in headless Chromium, as a user meets it: upload the sample
// set, see its six titles, hear track 1, step to track 2, seek, stop, save a
// track as WAV, and get a clear message for a broken file.
//   node page_test.js WEB_DIR SAMPLE_SET_DIR
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { launchChromium, servePage } from './page_harness.js';

const [webDir, setDir] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!webDir || !setDir) {
  console.error('usage: node page_test.js WEB_DIR SAMPLE_SET_DIR');
  process.exit(2);
}

const pageServer = await servePage(webDir);
const url = pageServer.url;
const browser = await launchChromium('tambelo-web-chromium-');

let failures = 0;
function check(label, condition, detail = '') {
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${label}${detail ? `: ${detail}` : ''}`);
  if (!condition) ++failures;
}

const scratch = mkdtempSync(path.join(tmpdir(), 'tambelo-web-files-'));
try {
  const page = await browser.newPage();
  page.on('pageerror', (error) => check('no script error', false, error.message));
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]', { timeout: 60000 });

  const setFiles = ['amus.dat', 'amus.mda', 'amus.txt'].map((name) => path.join(setDir, name));
  await (await page.$('#pick-files')).uploadFile(...setFiles);
  await page.waitForFunction(() => document.querySelectorAll('#tracks tbody tr').length > 0, { timeout: 30000 });

  const titleLines = readFileSync(path.join(setDir, 'amus.txt'), 'utf8').split('\r\n').filter((line) => /^[1-9]/.test(line));
  const shown = await page.$$eval('#tracks tbody tr td:nth-child(3)', (cells) => cells.map((cell) => cell.textContent));
  check('the six titles are listed', JSON.stringify(shown) === JSON.stringify(titleLines), JSON.stringify(shown));
  const caption = await page.$eval('#caption', (element) => element.textContent);
  check('the caption names the game', caption === 'TAMBELO - Tambelo Sample Set', caption);
  const lengths = await page.$$eval('#tracks tbody tr td:nth-child(2)', (cells) => cells.map((cell) => cell.textContent));
  check('every track has its length', lengths.every((text) => /^\d+:\d\d\.\d{3}( \+ \d+:\d\d\.\d{3} loop)?/.test(text)), JSON.stringify(lengths));

  // Track 1 plays and is heard.
  const heard = await page.waitForFunction(() => window.tambeloPage.player.number === 1 && window.tambeloPage.player.peak > 0.001,
    { timeout: 20000 }).then(() => true, () => false);
  check('track 1 plays, not silent', heard, await page.evaluate(() => `peak ${window.tambeloPage.player.peak}`));

  await page.click('#cmdNext');
  const status = await page.$eval('#status', (element) => element.textContent);
  check('next shows track 2', status === ` ${titleLines[1]}`, JSON.stringify(status));
  check('next plays track 2', await page.evaluate(() => window.tambeloPage.player.number) === 2);

  // Seek by the bar to 10 s: the position follows from there.
  await page.$eval('#position', (bar) => { bar.value = '10000'; bar.dispatchEvent(new Event('change')); });
  const sought = await page.waitForFunction(() => {
    const ms = window.tambeloPage.player.positionMs();
    return ms >= 10000 && ms < 13000 && window.tambeloPage.player.peak > 0.001;
  }, { timeout: 10000 }).then(() => true, () => false);
  check('seeking to 10 s plays on from there', sought, await page.evaluate(() => `${window.tambeloPage.player.positionMs()} ms`));

  await page.click('#cmdStop');
  check('stop stops', await page.evaluate(() => !window.tambeloPage.player.playing));

  // Save as WAV: the shortest track, whose default export is known.
  const expected = await page.evaluate(async () => {
    const { lengths: all } = window.tambeloPage;
    const { exportFrames } = await import('./wav.js');
    let best = 1;
    all.forEach((length, index) => { if (length.exportMusicMs() < all[best - 1].exportMusicMs()) best = index + 1; });
    const music = Math.round(all[best - 1].exportMusicMs() * 44100 / 1000);
    return { track: best, frames: exportFrames(all[best - 1]), music, kind: all[best - 1].kind };
  });
  await page.evaluate((track) => document.querySelectorAll('#tracks tbody tr')[track - 1].click(), expected.track);
  await page.click('#cmdStop');
  await page.click('#save-wav');
  const saved = await page.waitForFunction(() => window.tambeloPage.lastExport, { timeout: 300000 }).then((h) => h.jsonValue(), () => null);
  // A looping track: its loops and the fade exactly; one that ends: to its
  // end and the sound dying away (at most the bound of that tail).
  const rightLength = saved && (expected.kind === 'loops' ? saved.frames === expected.frames
    : saved.frames > expected.music && saved.frames <= expected.frames);
  check('Save as WAV gives the export\'s length', rightLength, `${JSON.stringify(saved)}, expected ${expected.frames} frames (${expected.kind})`);

  // The core's GS reset (device id 0x20) is honoured: it brings back the
  // volume that was turned down before it. A reset for another device id
  // is not, and the note stays silent.
  const peaks = await page.evaluate(async () => {
    const { renderOffline } = await import('./wav.js');
    const peakAfterReset = async (deviceId) => {
      const reset = [0xf0, 0x41, deviceId, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41, 0xf7];
      const rendered = await renderOffline([
        { timeMs: 0, bytes: new Uint8Array([0xb0, 7, 0]) },
        { timeMs: 10, bytes: new Uint8Array(reset) },
        { timeMs: 50, bytes: new Uint8Array([0x90, 60, 100]) },
      ], 22050, window.tambeloPage.soundfont.bytes);
      return rendered.getChannelData(0).reduce((peak, v) => Math.max(peak, Math.abs(v)), 0);
    };
    return [await peakAfterReset(0x20), await peakAfterReset(0x10)];
  });
  check('the GS reset is honoured', peaks[0] > 0.01 && peaks[1] < 1e-4, `peaks ${peaks}`);

  // A score archive cut short before entry 5, without its voice archive:
  // the default voices with a note, and tracks 5 and 6 listed as not
  // compiling; next steps onto track 5, which is silent.
  const whole = readFileSync(setFiles[0]);
  const cut = path.join(scratch, 'amus.dat');
  writeFileSync(cut, whole.subarray(0, (whole.readUInt16LE(2 * 5) - 1) * 256));
  await (await page.$('#pick-files')).uploadFile(cut);
  await page.waitForSelector('#note:not([hidden])', { timeout: 10000 });
  const note = await page.$eval('#note', (element) => element.textContent);
  check('no voice archive: a note of the default voices', /default voices/.test(note), note);
  const fifth = await page.$eval('#tracks tbody tr:nth-child(5) td:nth-child(2)', (cell) => cell.textContent);
  check('a track that does not compile is listed so', fifth === 'does not compile', fifth);
  await page.evaluate(() => document.querySelectorAll('#tracks tbody tr')[3].click());
  await page.click('#cmdNext');
  const after = await page.evaluate(() => [window.tambeloPage.curTrack, window.tambeloPage.player.playing, document.getElementById('note').textContent]);
  check('next steps onto it, silent', after[0] === 5 && !after[1] && /Track 5 does not compile/.test(after[2]), JSON.stringify(after));

  // A broken file: a clear message, and the set stays.
  const broken = path.join(scratch, 'AMUS.DAT');
  writeFileSync(broken, 'this is not an archive at all');
  await (await page.$('#pick-files')).uploadFile(broken);
  await page.waitForSelector('#message:not([hidden])', { timeout: 10000 });
  const message = await page.$eval('#message', (element) => element.textContent);
  check('a broken file gives its message', /AMUS\.DAT is not a music archive/.test(message), message);
  const rows = await page.$$eval('#tracks tbody tr', (all) => all.length);
  check('the set that was open stays', rows === titleLines.length, `${rows} rows`);
} finally {
  await browser.closeAndForget();
  pageServer.close();
  rmSync(scratch, { recursive: true, force: true });
}
if (failures > 0) {
  console.error(`${failures} check(s) failed`);
  process.exit(1);
}
console.log('web page: all checks passed');
