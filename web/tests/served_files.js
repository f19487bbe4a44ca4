// What the built web player's folder holds: what a web server should serve
// and nothing else (no build folders, caches or files of the build machine).

export const servedFiles = [
  'app.js', 'button-pictures.js', 'core-client.js', 'core-worker.js', 'core.js', 'default.sf2', 'files.js', 'index.html', 'player.js',
  'icon.svg', 'icon-192.png', 'icon-512.png', 'install.js', 'manifest.webmanifest', 'media-session.js', 'sw.js',
  'set-memory.js', 'style.css', 'synth-bridge.js', 'synth-host.js', 'synth-worklet.js', 'tambelo-core.js', 'tambelo-core.wasm',
  'titles.js', 'track-list.js', 'wav-export.js', 'wav-file.js', 'wav-render.js',
  'vendor/LICENSE.fluidsynth.txt', 'vendor/js-synthesizer.min.js', 'vendor/js-synthesizer.worklet.min.js',
  'vendor/libfluidsynth-2.4.6-with-libsndfile.js', 'vendor/libfluidsynth-2.4.6.js',
].sort();
