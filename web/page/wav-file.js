// What "Save as WAV" writes: 44.1 kHz 16-bit stereo; a looping track's
// intro and two loops, then a fade of 8 s while it goes on; a track that
// ends by itself to its end and the sound dying away. Exports are bounded as
// the command line bounds them.

export const exportSampleRate = 44100;
export const exportLoops = 2;
export const fadeMs = 8000;
// The sound dying away after a track's end: until 100 ms below -80 dBFS,
// at most 10 s.
export const quietMs = 100;
export const maxTailMs = 10000;
export const silentLevel = 10 ** (-80 / 20);
// A damaged or hostile set can describe music that plays for years.
export const maxExportHours = 3;
const maxExportMs = maxExportHours * 3600 * 1000;
export const tooLongReason = `would play for more than ${maxExportHours} hours`;

export const frameAt = (ms, rate = exportSampleRate) => Math.round(ms * rate / 1000);

// The music's milliseconds (before a fade or tail); null when over the bound.
export function exportMusicMs(length) {
  const music = length.exportMusicMs(exportLoops);
  return music + (length.kind === 'loops' ? fadeMs : 0) > maxExportMs ? null : music;
}

// The frames of the track's export (before a track's release tail is cut).
export function exportFrames(length, rate = exportSampleRate) {
  const music = frameAt(length.exportMusicMs(exportLoops), rate);
  return length.kind === 'loops' ? music + frameAt(fadeMs, rate) : music + frameAt(maxTailMs, rate);
}

// The 44 bytes before a 16-bit stereo WAV file's `frames` frames.
export function wavHeader(frames, rate) {
  const view = new DataView(new ArrayBuffer(44));
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
  return view.buffer;
}

// Interleaved little-endian 16-bit samples of two channels.
export function pcm16(left, right) {
  const out = new DataView(new ArrayBuffer(left.length * 4));
  const sample = (value) => Math.max(-32768, Math.min(32767, Math.round(value * 32767)));
  for (let i = 0; i < left.length; ++i) {
    out.setInt16(4 * i, sample(left[i]), true);
    out.setInt16(4 * i + 2, sample(right[i]), true);
  }
  return out.buffer;
}
