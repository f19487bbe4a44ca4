// The installed page off line and its update, for page_test.js: after a
// first visit the page reloads and plays with its server gone; when a new
// version is deployed the page offers it, and taking it reloads onto it.
import { cpSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { servePage } from './page_harness.js';

const controlled = (page) => page.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 30000 })
  .then(() => true, () => false);

// `copy`: a scratch folder for a deployment of `webDir` that the test changes.
export async function checkOffline(browser, webDir, copy, setFiles, check) {
  cpSync(webDir, copy, { recursive: true });
  let server = await servePage(copy);
  const { port } = server;
  const page = await browser.newPage();
  try {
    await page.goto(server.url);
    await page.waitForSelector('body[data-ready="true"]', { timeout: 60000 });
    check('the page installs its service worker', await controlled(page));
    // The browser's own verdict on whether the page can be installed.
    const { installabilityErrors } = await (await page.createCDPSession()).send('Page.getInstallabilityErrors');
    check('the browser can install the page', installabilityErrors.length === 0, JSON.stringify(installabilityErrors));

    await server.close();
    await page.setOfflineMode(true);
    await page.reload();
    const opened = await page.waitForSelector('body[data-ready="true"]', { timeout: 30000 }).then(() => true, () => false);
    if (!check('off line, the page reloads', opened)) return;
    await (await page.$('#pick-files')).uploadFile(...setFiles);
    const heard = await page.waitForFunction(() => window.tambeloPage.player?.peak > 0.001, { timeout: 20000 }).then(() => true, () => false);
    check('off line, it plays the set', heard);

    // A new deployment: the worker's version changes.
    await page.setOfflineMode(false);
    const worker = path.join(copy, 'sw.js');
    writeFileSync(worker, readFileSync(worker, 'utf8').replace(/const version = '([^']*)'/, "const version = '$1-next'"));
    server = await servePage(copy, port);
    await page.evaluate(() => navigator.serviceWorker.getRegistration().then((registration) => registration.update()));
    const offered = await page.waitForSelector('#update:not([hidden])', { timeout: 20000 }).then(() => true, () => false);
    check('a new version is offered', offered);
    if (offered) {
      const reloaded = page.waitForNavigation({ timeout: 20000 }).then(() => true, () => false);
      await page.click('#update-now');
      check('taking it reloads the page onto it', await reloaded && await page.evaluate(async () => (await caches.keys()).some((name) => name.endsWith('-next'))));
    }
  } finally {
    await page.close();
    await server.close();
  }
}
