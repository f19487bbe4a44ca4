// Measures the web player in headless Chromium, for web/README.md: the page's
// weight without the SoundFont, the time from handing over the sample set to
// its first sound with the SoundFont cached, and whether the page's worklet
// sounds what "Save as WAV" (the library's renderer) holds, rendered in an
// OfflineAudioContext and played live through a tap.
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

  // What the page sounds is the renderer's: "Save as WAV" of track 1 (the
  // export's worker, the same renderer and FluidSynth) beside the page's
  // worklet playing it, off line in an OfflineAudioContext and live through
  // a tap that keeps each frame's number in the context. Up to the export's
  // fade the two must agree sample for sample, so every message sounds on the
  // export's block: on the block start nearest its moment.
  await page.evaluate(() => document.querySelectorAll('#tracks .track')[0].click());
  await page.click('#cmdStop');
  await page.evaluate(() => { window.tambeloPage.lastExport = null; });
  await page.click('#save-wav');
  await page.waitForFunction(() => window.tambeloPage.lastExport, { timeout: 300000 });
  const compared = await page.evaluate(async () => {
    const { answer, createSynthNode } = await import('./synth-host.js');
    const state = window.tambeloPage;
    const view = new DataView(await state.lastExport.blob.arrayBuffer());
    let data = 12;
    while (String.fromCharCode(...new Uint8Array(view.buffer, data, 4)) !== 'data') data += 8 + view.getUint32(data + 4, true);
    data += 8;
    const exported = (frame, channel) => view.getInt16(data + 4 * frame + 2 * channel, true);
    // The renderer's conversion of a float sample to 16 bits.
    const to16 = (v) => Math.max(-2147483648, Math.min(2147483647, Math.round(v * 2147483648))) >> 16;
    const differ = (channels, firstTrackFrame, count) => {
      let largest = 0;
      for (let i = 0; i < count; ++i) {
        for (let c = 0; c < 2; ++c) largest = Math.max(largest, Math.abs(to16(channels[c][i]) - exported(firstTrackFrame + i, c)));
      }
      return largest;
    };
    const setBytes = () => Promise.all([state.setFiles.score, state.setFiles.voices]
      .map((file) => file && file.arrayBuffer().then((buffer) => new Uint8Array(buffer))));
    const rate = 44100;
    const frames = 20 * rate;

    const offline = new OfflineAudioContext({ numberOfChannels: 2, length: frames, sampleRate: rate });
    const node = await createSynthNode(offline, state.soundfont.bytes);
    node.connect(offline.destination);
    const [score, voices] = await setBytes();
    node.port.postMessage({ type: 'set', score, voices });
    await answer(node.port, 'started', () => node.port.postMessage({ type: 'play', token: 1, number: 1, fromMs: 0 }));
    const rendered = await offline.startRendering();
    const offlineLargest = differ([rendered.getChannelData(0), rendered.getChannelData(1)], 0, frames);

    // Live: the running worklet plays track 1 again; each level report says
    // which track frame the context heard at which of its frames.
    const { context } = state;
    const tapSource = `registerProcessor('tap', class extends AudioWorkletProcessor {
      process(inputs) { const [l, r] = inputs[0]; if (r) this.port.postMessage({ frame: currentFrame, l: l.slice(), r: r.slice() }); return true; } });`;
    await context.audioWorklet.addModule(URL.createObjectURL(new Blob([tapSource], { type: 'text/javascript' })));
    const tap = new AudioWorkletNode(context, 'tap', { numberOfOutputs: 0 });
    const chunks = [];
    tap.port.onmessage = (event) => chunks.push(event.data);
    let anchor = null;
    const listen = (event) => { if (event.data.type === 'level' && anchor === null) anchor = event.data; };
    state.node.port.addEventListener('message', listen);
    state.node.connect(tap);
    await state.player.play(1);
    await new Promise((resolve) => setTimeout(resolve, 10000));
    state.node.disconnect(tap);
    state.node.port.removeEventListener('message', listen);
    state.player.stop();
    // Frames of the context from the anchor on, mapped to the track's frames.
    let liveLargest = 0;
    let liveFrames = 0;
    for (const { frame, l, r } of chunks) {
      if (!anchor || frame < anchor.frame) continue;
      const trackFrame = anchor.position + (frame - anchor.frame);
      liveLargest = Math.max(liveLargest, differ([l, r], trackFrame, l.length));
      liveFrames += l.length;
    }
    return { offlineLargest, frames, liveLargest, liveFrames };
  });
  console.log(`the worklet against Save as WAV of track 1 (16-bit samples, up to the fade): off line ${compared.frames} frames, `
    + `largest difference ${compared.offlineLargest}; live through a tap ${compared.liveFrames} frames, largest difference ${compared.liveLargest}`);
} finally {
  await browser.closeAndForget();
  pageServer.close();
}
