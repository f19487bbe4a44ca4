// Creating the player's audio worklet (the core's renderer and the
// synthesizer) in an audio context, and the SoundFonts it plays with: the default one served with
// the page, or the user's own, kept in the browser's cache storage so that
// it is there on the next visit.

const cacheName = 'tambelo-soundfonts';
const defaultSoundFontUrl = 'default.sf2';
const userSoundFontKey = 'user-soundfont';

// FluidSynth as js-synthesizer ships it; the larger build with libsndfile
// also reads compressed (version 3) SoundFonts, and is loaded only for them.
const engines = { plain: 'vendor/libfluidsynth-2.4.6.js', compressed: 'vendor/libfluidsynth-2.4.6-with-libsndfile.js' };

// True for an .sf3 (compressed) SoundFont: its version (RIFF sfbk, INFO ifil) is 3.
export function isCompressedSoundFont(buffer) {
  const bytes = new Uint8Array(buffer, 0, Math.min(34, buffer.byteLength));
  const text = (at, value) => String.fromCharCode(...bytes.subarray(at, at + value.length)) === value;
  return bytes.length >= 34 && text(8, 'sfbk') && text(24, 'ifil') && (bytes[32] | (bytes[33] << 8)) === 3;
}

// The worklet's next message of `type`, after `ask` (if given) has run.
export function answer(port, type, ask) {
  const answered = new Promise((resolve, reject) => {
    const listen = (event) => {
      if (event.data.type === type || event.data.type === 'error') {
        port.removeEventListener('message', listen);
        if (event.data.type === 'error') reject(new Error(event.data.text));
        else resolve(event.data);
      }
    };
    port.addEventListener('message', listen);
    port.start();
  });
  ask?.();
  return answered;
}

// The worklet node of `context`, with `soundfont` (an ArrayBuffer, copied)
// loaded. One engine per context: a compressed SoundFont needs a context
// made for it.
// The engine script that reads `soundfont`.
export const engineUrl = (soundfont) => (isCompressedSoundFont(soundfont) ? engines.compressed : engines.plain);

export async function createSynthNode(context, soundfont) {
  const engine = engineUrl(soundfont);
  const coreWasm = fetch('tambelo-core.wasm').then((response) => {
    if (!response.ok) throw new Error(`the player's core could not be fetched (HTTP ${response.status})`);
    return response.arrayBuffer();
  });
  for (const url of [engine, 'vendor/js-synthesizer.worklet.min.js', 'tambelo-core.js', 'synth-worklet.js']) await context.audioWorklet.addModule(url);
  context.tambeloEngine = engine;
  const node = new AudioWorkletNode(context, 'tambelo-synth',
    { numberOfInputs: 0, outputChannelCount: [2], processorOptions: { coreWasm: await coreWasm } });
  await answer(node.port, 'ready');
  await loadSoundFont(node, soundfont);
  return node;
}

// Loads a SoundFont into the node's synthesizer; false when the node's
// engine cannot read it (a compressed one), so that a new context is needed.
export function engineReads(context, soundfont) {
  return context.tambeloEngine === engines.compressed || !isCompressedSoundFont(soundfont);
}

export async function loadSoundFont(node, soundfont) {
  await answer(node.port, 'soundfont-loaded', () => node.port.postMessage({ type: 'soundfont', data: soundfont.slice(0) }));
}

// {name, bytes}: the user's SoundFont when one was chosen, else the default.
// `progress(received, total)` follows a download (total 0 when unknown).
export async function storedSoundFont(progress) {
  const cache = await openCache();
  const user = cache && (await cache.match(userSoundFontKey));
  if (user) return { name: decodeURIComponent(user.headers.get('x-name') ?? 'your SoundFont'), bytes: await user.arrayBuffer(), own: true };
  const cached = cache && (await cache.match(defaultSoundFontUrl));
  const bytes = cached ? await cached.arrayBuffer() : await download(defaultSoundFontUrl, progress);
  if (!cached && cache) await cache.put(defaultSoundFontUrl, new Response(bytes));
  return { name: 'TimGM6mb (default)', bytes, own: false };
}

async function download(url, progress) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`the default SoundFont could not be fetched (HTTP ${response.status})`);
  const total = Number(response.headers.get('content-length')) || 0;
  const reader = response.body.getReader();
  const chunks = [];
  let received = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    chunks.push(value);
    received += value.length;
    progress?.(received, total);
  }
  return new Blob(chunks).arrayBuffer();
}

export async function rememberSoundFont(name, bytes) {
  const cache = await openCache();
  if (cache) await cache.put(userSoundFontKey, new Response(bytes, { headers: { 'x-name': encodeURIComponent(name) } }));
}

export async function forgetSoundFont() {
  const cache = await openCache();
  if (cache) await cache.delete(userSoundFontKey);
}

async function openCache() {
  try {
    return typeof caches === 'undefined' ? null : await caches.open(cacheName);
  } catch {
    return null;
  }
}
