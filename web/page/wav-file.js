// What "Save as WAV" writes: 44.1 kHz 16-bit stereo, as the command line
// exports by default: a looping track's intro and two loops, then a fade of
// 8 s while it goes on; a track that ends by itself to its end and the sound
// dying away (the library's renderer decides both, and the bound on length).

export const exportSampleRate = 44100;
export const exportLoops = 2;
export const fadeMs = 8000;

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
