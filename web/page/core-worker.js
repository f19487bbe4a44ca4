// The playback core's worker: everything a music set's files make the core
// do but playing (checking them, listing lengths, rendering "Save as WAV")
// runs here, so that no file, however large or
// hostile, holds up the page. Long jobs run in slices and give way to newer
// requests between them. Requests are {id, op, ...}; each is answered
// {id, result} or {id, error}; unasked reports carry a `type`.
/* global createTambeloCore */
importScripts('tambelo-core.js');

let modules;
let core;
let setGeneration = 0;   // changes with each set opened: its length listing stops
const ready = (async () => {
  const [coreModule, titles, wavRender] = await Promise.all([
    import('./core.js'), import('./titles.js'), import('./wav-render.js')]);
  modules = { ...coreModule, ...titles, ...wavRender };
  core = new modules.Core(await createTambeloCore());
})();

// Lets queued requests in; a job running in slices calls it between them.
const giveWay = () => new Promise((resolve) => {
  const channel = new MessageChannel();
  channel.port1.onmessage = () => resolve();
  channel.port2.postMessage(null);
});
const sliceMs = 20;

const lengthOf = (track) => ({ ...track.length });

// The lengths of every track, reported in batches while the set stays open.
async function listLengths(count, generation) {
  let batch = [];
  let from = 1;
  let sliceStart = performance.now();
  for (let number = 1; number <= count; ++number) {
    const track = core.open(number);
    batch.push(track.failure ? { failure: track.failure } : lengthOf(track));
    if (!track.failure) track.close();
    if (performance.now() - sliceStart > sliceMs || number === count) {
      postMessage({ type: 'lengths', generation, from, list: batch });
      batch = [];
      from = number + 1;
      await giveWay();
      if (generation !== setGeneration) return;
      sliceStart = performance.now();
    }
  }
}

const ops = {
  // The window's six button pictures, as the window's own code draws them.
  pictures() {
    const m = core.module;
    return Array.from({ length: 6 }, (_, which) => {
      const pixels = m._web_button_picture(which) >> 2;
      const width = m._web_picture_size(0);
      const height = m._web_picture_size(1);
      return { width, height, argb: m.HEAPU32.slice(pixels, pixels + width * height) };
    });
  },

  // Refuses what is no music set, else puts it in place of the last one
  // and starts listing its lengths. `voices` may be null.
  // `list`: whether to list the lengths (a worker that only exports does not).
  openSet({ score, voices, titles, list = true }) {
    if (core.identify(score) === 0) return { refused: true, reason: core.notASetReason() };
    const voicesHeld = voices !== null && core.identify(voices) > 0;
    core.loadSet(score, voicesHeld ? voices : null);
    const count = core.trackCount();
    const generation = ++setGeneration;
    // After the answer, which tells the page the set's generation.
    if (list) giveWay().then(() => listLengths(count, generation));
    return { count, generation, voicesHeld, titleLines: titles ? modules.searchedTitleList(titles) : [] };
  },

  // The track `times` steps on or back from `track`, as the window steps.
  step({ track, forward, times }) {
    let number = track;
    for (let i = 0; i < times; ++i) number = forward ? core.next(number) : core.prev(number);
    return number;
  },

  // The length of track `number`, or null when it cannot be played.
  length({ number }) {
    const track = core.open(number);
    if (track.failure) return null;
    const length = lengthOf(track);
    track.close();
    return length;
  },

  // "Save as WAV" of track `number`: {blob, frames}, {failure} or {refusal}.
  async exportWav({ number, soundfont, engineUrl }) {
    const bridge = await modules.exportSynth(soundfont, engineUrl);
    try {
      return await modules.renderWav(core, number, bridge, {
        giveWay,
        progress: (fraction) => postMessage({ type: 'export-progress', fraction }),
      });
    } finally {
      bridge.close();
    }
  },
};

onmessage = async (event) => {
  const { id, op, ...args } = event.data;
  try {
    await ready;
    postMessage({ id, result: await ops[op](args) });
  } catch (error) {
    postMessage({ id, error: error.message ?? String(error) });
  }
};
