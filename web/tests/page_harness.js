// What the page's browser tests share: the built page served on a free
// loopback port, and Debian's Chromium started headless on a profile of its
// own (autoplay allowed, so that the tests hear sound without a click).
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const types = {
  '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
  '.webmanifest': 'application/manifest+json', '.svg': 'image/svg+xml', '.png': 'image/png',
};

// Serves the files under `webDir`, and nothing outside it, on `port` (a free
// one by default). Resolves to the page's URL, its port and a function that
// stops the server and drops its connections.
export async function servePage(webDir, port = 0) {
  const server = createServer((request, response) => {
    const file = path.join(webDir, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const target = file.endsWith('/') ? path.join(file, 'index.html') : file;
    if (!target.startsWith(webDir)) { response.writeHead(403).end(); return; }
    try {
      const body = readFileSync(target);
      response.writeHead(200, { 'content-type': types[path.extname(target)] ?? 'application/octet-stream' }).end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    port: server.address().port,
    close: () => new Promise((resolve) => { server.close(resolve); server.closeAllConnections(); }),
  };
}

// Starts Chromium on a new empty profile; `close` ends it and removes the profile.
export async function launchChromium(profilePrefix) {
  const profile = mkdtempSync(path.join(tmpdir(), profilePrefix));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=no-user-gesture-required'],
  });
  browser.closeAndForget = async () => {
    await browser.close();
    rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}
