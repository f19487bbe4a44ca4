// "Save as WAV" rendered in the core's worker, a second at a time: the
// track's messages go to a FluidSynth of its own set up as the player's
// worklet sets it, and each second is faded or scanned for the end of the
// tail and kept as 16-bit samples, so that memory holds the file and not
// the floating-point rendering of it.
import { Timeline, setDeviceId, silence, synthSettings } from './timeline.js';
import {
  exportFrames, exportMusicMs, exportSampleRate as rate, frameAt, pcm16, quietMs, silentLevel, tooLongReason, wavHeader,
} from './wav-file.js';

const chunkFrames = rate;
// Messages are handed over this far ahead of the frames rendered, so that
// none arrives after the block it belongs to.
const aheadMs = 50;

let engineLoaded = null;
function loadEngine(engineUrl) {
  if (!engineLoaded) {
    importScripts(engineUrl, 'vendor/js-synthesizer.min.js');
    engineLoaded = self.JSSynth.waitForReady();
  }
  return engineLoaded;
}

async function newSynth(soundfont, engineUrl) {
  await loadEngine(engineUrl);
  const synth = new self.JSSynth.Synthesizer();
  synth.init(rate, synthSettings);
  setDeviceId(self.Module, synth);
  await synth.loadSFont(soundfont);
  return synth;
}

// `soundfont` an ArrayBuffer; `giveWay` lets other requests in,
// `progress(fraction)` reports how far it is.
export async function renderWav(core, number, soundfont, engineUrl, { giveWay, progress }) {
  const track = core.open(number);
  if (track.failure) return { failure: track.failure };
  const synth = await newSynth(soundfont, engineUrl).catch((error) => { track.close(); throw error; });
  try {
    const { length } = track;
    const musicMs = exportMusicMs(length);
    if (musicMs === null) return { refusal: tooLongReason };
    const music = frameAt(musicMs);
    const planned = exportFrames(length);
    const timeline = new Timeline(synth, rate);
    silence(synth);
    timeline.restart(0);
    const parts = [];
    let loudEnd = music;
    const left = new Float32Array(chunkFrames);
    const right = new Float32Array(chunkFrames);
    for (let at = 0; at < planned; at += chunkFrames) {
      const frames = Math.min(chunkFrames, planned - at);
      if (!track.ended) {
        for (const m of track.playUntilMs((at + frames) * 1000 / rate + aheadMs)) timeline.post(m.timeMs, m.bytes);
      }
      const l = left.subarray(0, frames);
      const r = right.subarray(0, frames);
      timeline.render(l, r);
      for (let i = Math.max(0, music - at); i < frames; ++i) {
        if (length.kind === 'loops') {
          const gain = 1 - (at + i - music) / (planned - music);
          l[i] *= gain;
          r[i] *= gain;
        } else if (Math.abs(l[i]) >= silentLevel || Math.abs(r[i]) >= silentLevel) {
          loudEnd = at + i + 1;
        }
      }
      parts.push(new Blob([pcm16(l, r)]));
      progress((at + frames) / planned);
      await giveWay();
    }
    const kept = length.kind === 'loops' ? planned : Math.min(planned, loudEnd + frameAt(quietMs));
    const data = new Blob(parts).slice(0, kept * 4);
    return { blob: new Blob([wavHeader(kept, rate), data], { type: 'audio/wav' }), frames: kept };
  } finally {
    track.close();
    synth.close();
  }
}
