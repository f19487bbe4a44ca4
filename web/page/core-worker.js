// The playback core's worker: everything a music set's files make the core
// do (checking them, listing lengths, playing ahead of the sound, seeking,
// rendering "Save as WAV") runs here, so that no file, however large or
// hostile, holds up the page. Long jobs run in slices and give way to newer
// requests between them. Requests are {id, op, ...}; each is answered
// {id, result} or {id, error}; unasked reports carry a `type`.
/* global createTambeloCore */
importScripts('tambelo-core.js');

let modules;
let core;
let setGeneration = 0;   // changes with each set opened: its length listing stops
let playToken = 0;       // changes with each play and stop: a seek in progress stops
let playing = null;      // the CoreTrack being played
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
const asPairs = (messages) => messages.map((m) => [m.timeMs, m.bytes, m.channel]);

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
    playing?.close();
    playing = null;
    ++playToken;
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

  // Opens track `number` to be played from `fromMs`: its length and the
  // messages up to there (at a seek, all but the notes, at `fromMs`), or
  // {failure}, or {abandoned} when a newer request came first.
  async play({ number, fromMs }) {
    playing?.close();
    playing = null;
    const token = ++playToken;
    const track = core.open(number);
    if (track.failure) return { failure: track.failure };
    let first = [];
    if (fromMs > 0) {
      let sliceStart = performance.now();
      for (let untilMs = 0; untilMs < fromMs && !track.ended;) {
        untilMs = Math.min(fromMs, untilMs + 5000);
        for (const m of track.playUntilMs(untilMs)) if (!modules.isNoteOrKey(m.bytes)) first.push([fromMs, m.bytes]);
        if (performance.now() - sliceStart > sliceMs) {
          await giveWay();
          if (token !== playToken) {
            track.close();
            return { abandoned: true };
          }
          sliceStart = performance.now();
        }
      }
    } else {
      first = asPairs(track.playUntilMs(0));
    }
    playing = track;
    return { length: lengthOf(track), messages: first, ended: track.ended };
  },

  more({ untilMs }) {
    if (!playing) return { messages: [], ended: true };
    return { messages: asPairs(playing.playUntilMs(untilMs)), ended: playing.ended };
  },

  stop() {
    ++playToken;
    playing?.close();
    playing = null;
  },

  // "Save as WAV" of track `number`: {blob, frames}, {failure} or {refusal}.
  exportWav({ number, soundfont, engineUrl }) {
    return modules.renderWav(core, number, soundfont, engineUrl, {
      giveWay,
      progress: (fraction) => postMessage({ type: 'export-progress', fraction }),
    });
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
