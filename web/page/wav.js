// Messages rendered off line by the player's own synthesizer worklet in an
// OfflineAudioContext, for the page's tests and measurements of what the
// worklet sounds.
import { answer, createSynthNode } from './synth-host.js';
import { exportSampleRate } from './wav-file.js';

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
