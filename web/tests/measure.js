// Measures the web player in headless Chromium, for web/README.md: the page's
// weight without the SoundFont, the time from handing over the sample set to
// its first sound with the SoundFont cached, and how far the onsets of a click
// track lie from their ideal frames, rendered in an OfflineAudioContext and
// played live through a tap.
//   node measure.js WEB_DIR SAMPLE_SET_DIR
import { readdirSync, statSync } from 'node:fs';
import { cpus, loadavg } from 'node:os';
import path from 'node:path';
import { launchChromium, servePage } from './page_harness.js';

const [webDir, setDir] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!webDir || !setDir) {
  console.error('usage: node measure.js WEB_DIR SAMPLE_SET_DIR');
  process.exit(2);
}

function weight(dir) {
  let bytes = 0;
  for (const name of readdirSync(dir)) {
    // The SoundFont, the build folder, and the engine loaded only for a
    // compressed SoundFont the user chooses are not part of what a visit loads.
    if (name === 'default.sf2' || name.startsWith('.') || name.includes('with-libsndfile')) continue;
    const file = path.join(dir, name);
    bytes += statSync(file).isDirectory() ? weight(file) : statSync(file).size;
  }
  return bytes;
}
console.log(`page weight without the SoundFont: ${weight(webDir)} bytes`);
console.log(`machine: ${cpus().length} cores, load average ${loadavg().map((v) => v.toFixed(1)).join(' ')}`);

const pageServer = await servePage(webDir);
const url = pageServer.url;
const browser = await launchChromium('tambelo-web-measure-');
const quantile = (values, q) => [...values].sort((a, b) => a - b)[Math.min(values.length - 1, Math.floor(q * values.length))];
try {
  const setFiles = ['amus.dat', 'amus.mda', 'amus.txt'].map((name) => path.join(setDir, name));
  // First visits: a fresh profile each, the set handed over as soon as the
  // page can take it, while the core compiles and the SoundFont downloads.
  const firstVisits = [];
  for (let round = 0; round < 3; ++round) {
    const context = await browser.createBrowserContext();
    const fresh = await context.newPage();
    await fresh.goto(url, { waitUntil: 'domcontentloaded' });
    await (await fresh.waitForSelector('#pick-files')).uploadFile(...setFiles);
    firstVisits.push(await (await fresh.waitForFunction(() => window.tambeloPage?.firstSoundMs, { timeout: 60000 })).jsonValue());
    await context.close();
  }
  console.log(`drop to first sound on a first visit (SoundFont served from 127.0.0.1, 3 fresh profiles): ${firstVisits.map((v) => v.toFixed(0)).join(', ')} ms`);

  const page = await browser.newPage();
  // The first visit puts the SoundFont into the browser's cache; the
  // measured ones find it there.
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]', { timeout: 60000 });
  const firstSounds = [];
  for (let round = 0; round < 5; ++round) {
    await page.goto(url);
    await page.waitForSelector('body[data-ready="true"]', { timeout: 60000 });
    await (await page.$('#pick-files')).uploadFile(...setFiles);
    const handle = await page.waitForFunction(() => window.tambeloPage.firstSoundMs, { timeout: 30000 });
    firstSounds.push(await handle.jsonValue());
  }
  console.log(`drop to first sound, SoundFont cached (5 page loads): ${firstSounds.map((v) => v.toFixed(0)).join(', ')} ms; median ${quantile(firstSounds, 0.5).toFixed(0)} ms`);

  for (const rate of [44100, 48000]) {
    const result = await page.evaluate(async (sampleRate) => {
      const { renderOffline } = await import('./wav.js');
      // A click every 12 ticks of sample track 1's tick length (a length in
      // ms that is no whole number of frames), 400 clicks: a side stick on
      // the drum channel after a GS reset.
      const step = window.tambeloPage.lengths[0].tickMs * 12;
      // No reverb and chorus: their tails would blur where a click begins.
      const messages = [{ timeMs: 0, bytes: new Uint8Array([0xf0, 0x41, 0x20, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41, 0xf7]) },
        { timeMs: 0, bytes: new Uint8Array([0xb9, 91, 0]) }, { timeMs: 0, bytes: new Uint8Array([0xb9, 93, 0]) }];
      const times = [];
      for (let k = 0; k < 400; ++k) {
        const at = 200 + k * step;
        times.push(at);
        messages.push({ timeMs: at, bytes: new Uint8Array([0x99, 37, 127]) });
        messages.push({ timeMs: at + step / 2, bytes: new Uint8Array([0x89, 37, 0]) });
      }
      const frames = Math.ceil((times[times.length - 1] + 1000) * sampleRate / 1000);
      const rendered = await renderOffline(messages, frames, window.tambeloPage.soundfont.bytes, sampleRate);
      const left = rendered.getChannelData(0);
      let peak = 0;
      for (const v of left) peak = Math.max(peak, Math.abs(v));
      const threshold = peak * 0.1;
      const deviations = [];
      for (const at of times) {
        const ideal = at * sampleRate / 1000;
        // The first frame above the threshold from a little before the ideal frame.
        let frame = Math.max(0, Math.floor(ideal) - Math.round(sampleRate * 0.003));
        const end = Math.floor(ideal + step * sampleRate / 2000);
        while (frame < end && Math.abs(left[frame]) < threshold) ++frame;
        deviations.push((frame - ideal) * 1000 / sampleRate);
      }
      return deviations;
    }, rate);
    const median = quantile(result, 0.5);
    const spread = result.map((d) => Math.abs(d - median));
    console.log(`onsets at ${rate} Hz (OfflineAudioContext, 400 clicks): constant attack offset ${median.toFixed(3)} ms; `
      + `deviation from it p50 ${quantile(spread, 0.5).toFixed(3)} ms, p99 ${quantile(spread, 0.99).toFixed(3)} ms, max ${Math.max(...spread).toFixed(3)} ms`);
  }

  // The same clicks live: sent to the page's running worklet as the player
  // sends a track, and recorded after it through a tap worklet that keeps
  // every frame with its number in the context.
  const live = await page.evaluate(async () => {
    const { context, node, lengths } = window.tambeloPage;
    window.tambeloPage.player.stop();
    const tapSource = `registerProcessor('tap', class extends AudioWorkletProcessor {
      process(inputs) { const x = inputs[0][0]; if (x) this.port.postMessage({ frame: currentFrame, data: x.slice() }); return true; } });`;
    await context.audioWorklet.addModule(URL.createObjectURL(new Blob([tapSource], { type: 'text/javascript' })));
    const tap = new AudioWorkletNode(context, 'tap', { numberOfOutputs: 0 });
    const chunks = [];
    tap.port.onmessage = (event) => chunks.push(event.data);
    node.connect(tap);
    const step = lengths[0].tickMs * 12;
    const started = new Promise((resolve) => {
      const listen = (event) => { if (event.data.type === 'started') { node.port.removeEventListener('message', listen); resolve(event.data); } };
      node.port.addEventListener('message', listen);
    });
    node.port.postMessage({ type: 'start', leadMs: 300 });
    const { originFrame, position, atFrame } = await started;
    const list = [[0, new Uint8Array([0xf0, 0x41, 0x20, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41, 0xf7])],
      [0, new Uint8Array([0xb9, 91, 0])], [0, new Uint8Array([0xb9, 93, 0])]];
    const times = [];
    for (let k = 0; k < 100; ++k) {
      const at = 200 + k * step;
      times.push(at);
      list.push([at, new Uint8Array([0x99, 37, 127])], [at + step / 2, new Uint8Array([0x89, 37, 0])]);
    }
    node.port.postMessage({ type: 'messages', list });
    await new Promise((resolve) => setTimeout(resolve, times[times.length - 1] + 1500));
    node.disconnect(tap);
    const first = chunks[0].frame;
    const total = chunks[chunks.length - 1].frame + chunks[chunks.length - 1].data.length - first;
    const signal = new Float32Array(total);
    for (const chunk of chunks) signal.set(chunk.data, chunk.frame - first);
    let peak = 0;
    for (const v of signal) peak = Math.max(peak, Math.abs(v));
    const threshold = peak * 0.1;
    const rate = context.sampleRate;
    // The synth's frames run ahead of the context's by a constant.
    const contextOrigin = originFrame - (position - atFrame);
    return { rate, deviations: times.map((at) => {
      const ideal = contextOrigin + at * rate / 1000 - first;
      let frame = Math.max(0, Math.floor(ideal) - Math.round(rate * 0.003));
      const end = Math.floor(ideal + step * rate / 2000);
      while (frame < end && Math.abs(signal[frame]) < threshold) ++frame;
      return (frame - ideal) * 1000 / rate;
    }) };
  });
  const median = quantile(live.deviations, 0.5);
  const spread = live.deviations.map((d) => Math.abs(d - median));
  console.log(`onsets live at ${live.rate} Hz (AudioContext through a tap, 100 clicks): constant offset ${median.toFixed(3)} ms; `
    + `deviation from it p50 ${quantile(spread, 0.5).toFixed(3)} ms, p99 ${quantile(spread, 0.99).toFixed(3)} ms, max ${Math.max(...spread).toFixed(3)} ms`);
} finally {
  await browser.closeAndForget();
  pageServer.close();
}
