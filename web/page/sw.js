// The page's service worker: it keeps this version's files, so that the
// page opens and plays without a network once it has been visited. The
// build writes the version (a digest of the files) and the list below; a
// new deployment changes both, the browser installs the new worker beside
// this one, and the page offers to switch (a reload) when it is ready.
// The default SoundFont is not among the files: the page keeps it in its
// own cache, with the user's SoundFont.
const version = '@VERSION@';
const files = ['./', ...'@FILES@'.split(' ')];
const cacheName = `tambelo-page-${version}`;
// Fetched only when needed (the engine for compressed SoundFonts), then kept.
const keptOnUse = (url) => url.endsWith('-with-libsndfile.js');

self.addEventListener('install', (event) => {
  // Past the HTTP cache, which may still hold the files of the last version.
  event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(files.map((url) => new Request(url, { cache: 'reload' })))));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) if (name.startsWith('tambelo-page-') && name !== cacheName) await caches.delete(name);
    await self.clients.claim();
  })());
});

self.addEventListener('message', (event) => {
  if (event.data === 'take-over') self.skipWaiting();
});

self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith((async () => {
    const cache = await caches.open(cacheName);
    const kept = await cache.match(request, { ignoreSearch: request.mode === 'navigate' });
    if (kept) return kept;
    const response = await fetch(request);
    if (response.ok && keptOnUse(request.url)) await cache.put(request, response.clone());
    return response;
  })());
});
