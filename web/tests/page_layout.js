// The page's layout on a phone (390 x 844, touch) and a desktop (1280 x 800),
// for page_test.js: with the sample set open, nothing runs off the side,
// everything a finger presses is 44 px each way on the phone, a track's
// length takes at most two lines, the drop box has shrunk to a line, and
// keyboard hints and tooltips show on the desktop only. Screenshots of both
// are written to `shotsDir` to be looked at.
import { mkdirSync } from 'node:fs';
import path from 'node:path';

const screens = [
  { name: 'phone', width: 390, height: 844, isMobile: true, hasTouch: true },
  { name: 'desktop', width: 1280, height: 800, isMobile: false, hasTouch: false },
];
const touchPx = 44;

export async function checkLayout(browser, url, setFiles, shotsDir, check) {
  mkdirSync(shotsDir, { recursive: true });
  for (const { name, ...viewport } of screens) {
    const context = await browser.createBrowserContext();
    const page = await context.newPage();
    try {
      await page.setViewport({ ...viewport, deviceScaleFactor: 1 });
      await page.goto(url);
      await page.waitForSelector('body[data-ready="true"]', { timeout: 60000 });
      await (await page.$('#pick-files')).uploadFile(...setFiles);
      await page.waitForFunction(() => window.tambeloPage.lengths.length === 6, { timeout: 30000 });
      await page.click('#cmdStop');
      const seen = await page.evaluate((least) => {
        const shown = (element) => element.getClientRects().length > 0 && getComputedStyle(element).visibility !== 'hidden';
        const small = [...document.querySelectorAll('button, summary, label.pick, #tracks .track, input[type=range]')]
          .filter(shown).map((element) => [element.id || element.textContent.trim().slice(0, 20), element.getBoundingClientRect()])
          .filter(([, box]) => box.width < least || box.height < least).map(([label, box]) => `${label} ${Math.round(box.width)}x${Math.round(box.height)}`);
        const style = getComputedStyle(document.querySelector('#tracks .track > :nth-child(2)'));
        const lineHeight = parseFloat(style.lineHeight) || parseFloat(style.fontSize) * 1.2;
        const textLines = (cell) => {
          const range = document.createRange();
          range.selectNodeContents(cell);
          return Math.round(range.getBoundingClientRect().height / lineHeight);
        };
        const lengthLines = [...document.querySelectorAll('#tracks .track > :nth-child(2)')].map(textLines);
        return {
          overflow: document.documentElement.scrollWidth - window.innerWidth,
          small,
          lengthLines: Math.max(...lengthLines),
          dropHeight: document.getElementById('drop').getBoundingClientRect().height,
          keys: shown(document.querySelector('.keys')),
          tooltips: document.querySelectorAll('[title]').length,
        };
      }, touchPx);
      const file = path.join(shotsDir, `${name}-${viewport.width}x${viewport.height}.png`);
      await page.screenshot({ path: file, fullPage: true });
      console.log(`     screenshot: ${file}`);
      check(`${name}: nothing runs off the side`, seen.overflow <= 0, `${seen.overflow} px too wide`);
      check(`${name}: a track's length takes at most two lines`, Number.isFinite(seen.lengthLines) && seen.lengthLines <= 2, `${seen.lengthLines} lines`);
      check(`${name}: the drop box is one line once a set is open`, seen.dropHeight <= 2 * touchPx, `${seen.dropHeight} px`);
      if (viewport.hasTouch) {
        check('phone: every target is at least 44 px each way', seen.small.length === 0, seen.small.join(', '));
        check('phone: no keyboard hints, no tooltips', !seen.keys && seen.tooltips === 0, JSON.stringify(seen));
      } else {
        check('desktop: keyboard hints and tooltips', seen.keys && seen.tooltips === 6, JSON.stringify(seen));
      }
    } finally {
      await context.close();
    }
  }
}
