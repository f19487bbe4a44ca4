// "Save as WAV": a track rendered off line in the page, with the player's
// own synthesizer worklet in an OfflineAudioContext. A looping track plays
// its intro and two loops, then fades out over 8 s while it goes on; a
// track that ends by itself plays to its end and the sound dying away.
import { answer, createSynthNode } from './synth-host.js';

export const exportSampleRate = 44100;
export const exportLoops = 2;
export const fadeMs = 8000;
// The sound dying away after a track's end: until 100 ms below -80 dBFS,
// at most 10 s.
const quietMs = 100;
const maxTailMs = 10000;
const silentLevel = 10 ** (-80 / 20);

const frameAt = (ms, rate) => Math.round(ms * rate / 1000);

// The frames of the track's export (before a track's release tail is cut).
export function exportFrames(length, rate = exportSampleRate) {
  const music = frameAt(length.exportMusicMs(exportLoops), rate);
  return length.kind === 'loops' ? music + frameAt(fadeMs, rate) : music + frameAt(maxTailMs, rate);
}

// Renders the messages ([{timeMs, bytes}]) into an AudioBuffer of `frames`.
export async function renderOffline(messages, frames, soundfont, rate = exportSampleRate) {
  const context = new OfflineAudioContext({ numberOfChannels: 2, length: frames, sampleRate: rate });
  const node = await createSynthNode(context, soundfont);
  node.connect(context.destination);
  node.port.postMessage({ type: 'start', leadMs: 0 });
  const chunk = 20000;
  for (let i = 0; i < messages.length; i += chunk) {
    node.port.postMessage({ type: 'messages', list: messages.slice(i, i + chunk).map((m) => [m.timeMs, m.bytes]) });
  }
  // The port delivers in order: once the sync is answered, all are in.
  await answer(node.port, 'synced', () => node.port.postMessage({ type: 'sync' }));
  return context.startRendering();
}

// The WAV file of `track` (a CoreTrack, fresh) as a Blob.
export async function exportWav(track, soundfont) {
  const { length } = track;
  const messages = track.playUntilMs(length.exportMusicMs(exportLoops) + (length.kind === 'loops' ? fadeMs : 0));
  const rendered = await renderOffline(messages, exportFrames(length), soundfont);
  const left = rendered.getChannelData(0);
  const right = rendered.getChannelData(1);
  let frames = rendered.length;
  const music = frameAt(length.exportMusicMs(exportLoops), exportSampleRate);
  if (length.kind === 'loops') {
    for (let i = music; i < frames; ++i) {
      const gain = 1 - (i - music) / (frames - music);
      left[i] *= gain;
      right[i] *= gain;
    }
  } else {
    let loudEnd = music;
    for (let i = music; i < frames; ++i) if (Math.abs(left[i]) >= silentLevel || Math.abs(right[i]) >= silentLevel) loudEnd = i + 1;
    frames = Math.min(frames, loudEnd + frameAt(quietMs, exportSampleRate));
  }
  return encodeWav(left.subarray(0, frames), right.subarray(0, frames), exportSampleRate);
}

// 16-bit PCM stereo.
export function encodeWav(left, right, rate) {
  const frames = left.length;
  const buffer = new ArrayBuffer(44 + frames * 4);
  const view = new DataView(buffer);
  const text = (at, value) => { for (let i = 0; i < value.length; ++i) view.setUint8(at + i, value.charCodeAt(i)); };
  text(0, 'RIFF');
  view.setUint32(4, 36 + frames * 4, true);
  text(8, 'WAVE');
  text(12, 'fmt ');
  view.setUint32(16, 16, true);
  view.setUint16(20, 1, true);
  view.setUint16(22, 2, true);
  view.setUint32(24, rate, true);
  view.setUint32(28, rate * 4, true);
  view.setUint16(32, 4, true);
  view.setUint16(34, 16, true);
  text(36, 'data');
  view.setUint32(40, frames * 4, true);
  const sample = (value) => Math.max(-32768, Math.min(32767, Math.round(value * 32767)));
  for (let i = 0, at = 44; i < frames; ++i, at += 4) {
    view.setInt16(at, sample(left[i]), true);
    view.setInt16(at + 2, sample(right[i]), true);
  }
  return new Blob([buffer], { type: 'audio/wav' });
}
