// "Save as WAV" in a worker of its own (a second core-worker.js), with its
// own copy of the set and the engine the SoundFont needs, so that playing
// goes on undisturbed; ending that worker cancels the export.
import { CoreClient } from './core-client.js';
import { engineUrl } from './synth-host.js';

// The error message of an export that was cancelled.
export const cancelled = 'cancelled';

// Track `number` of the set in `files` ({score, voices}: Files, voices
// maybe null) with `soundfont` ({bytes}): {blob, frames}, {failure} or
// {refusal}. `started(exporter)` receives the worker's client (whose
// close(cancelled) cancels), `progress(fraction)` how far it is.
export async function exportInWorker(number, files, soundfont, { started, progress }) {
  const exporter = new CoreClient();
  started(exporter);
  exporter.on('export-progress', ({ fraction }) => progress(fraction));
  try {
    const bytes = await Promise.all([files.score, files.voices].map((file) => file && file.arrayBuffer().then((buffer) => new Uint8Array(buffer))));
    const opened = await exporter.request('openSet', { score: bytes[0], voices: bytes[1], titles: null, list: false });
    if (opened.refused) return { failure: 'cannot be read any more' };
    return await exporter.request('exportWav', { number, soundfont: soundfont.bytes, engineUrl: engineUrl(soundfont.bytes) });
  } finally {
    exporter.close(cancelled);
  }
}
