// "Save as WAV" rendered in the core's worker by the library's renderer: the
// track's loops, fade, release tail and 16-bit samples are the command
// line's export's, with the page's FluidSynth (js-synthesizer) as the
// synthesizer. A second at a time, kept as 16-bit blob parts, so that memory
// holds the file and not the floating-point rendering of it.
import { SynthBridge } from './synth-bridge.js';
import { exportLoops, exportSampleRate as rate, fadeMs, wavHeader } from './wav-file.js';

const chunkFrames = rate;

let engineLoaded = null;
function loadEngine(engineUrl) {
  if (!engineLoaded) {
    importScripts(engineUrl, 'vendor/js-synthesizer.min.js');
    engineLoaded = self.JSSynth.waitForReady();
  }
  return engineLoaded;
}

// The worker's synthesizer for exports: `soundfont` an ArrayBuffer,
// `engineUrl` the FluidSynth build that reads it.
export async function exportSynth(soundfont, engineUrl) {
  await loadEngine(engineUrl);
  const bridge = new SynthBridge(self.JSSynth, self.Module, rate, soundfont);
  await bridge.start();
  return bridge;
}

// Track `number` of the core's set through `bridge` (a SynthBridge at the
// export's rate): {blob, frames}, {failure} or {refusal}. `giveWay` lets
// other requests in, `progress(fraction)` reports how far it is.
export async function renderWav(core, number, bridge, { giveWay, progress }) {
  bridge.attach(core.module);
  const rendering = core.render(number, { rate, loops: exportLoops, fadeMs });
  if (rendering.failure || rendering.refusal) return rendering;
  try {
    const parts = [];
    let frames = 0;
    for (;;) {
      const samples = rendering.pcm16(chunkFrames);
      if (samples.length === 0) break;
      parts.push(new Blob([samples]));
      frames += samples.length / 2;
      progress(Math.min(1, frames / rendering.mostFrames));
      await giveWay();
    }
    return { blob: new Blob([wavHeader(frames, rate), ...parts], { type: 'audio/wav' }), frames };
  } finally {
    rendering.close();
  }
}
