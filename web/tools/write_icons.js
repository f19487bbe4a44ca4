// Writes the page's icons from the program's own drawing, through the core
// just built: icon.svg (scalable), icon-192.png and icon-512.png (the
// 32 x 32 icon enlarged pixel for pixel, as installed web apps need).
//   node write_icons.js OUT_DIR   (OUT_DIR holds tambelo-core.js and .wasm)
import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { crc32, deflateSync } from 'node:zlib';

const [out] = process.argv.slice(2);
const createTambeloCore = createRequire(import.meta.url)(path.resolve(out, 'tambelo-core.js'));
const core = await createTambeloCore({ wasmBinary: readFileSync(path.resolve(out, 'tambelo-core.wasm')) });

writeFileSync(path.join(out, 'icon.svg'), core.UTF8ToString(core._web_icon_svg()));

const pixels = core._web_icon_picture() >> 2;
const side = core._web_picture_size(0);
const argb = core.HEAPU32.slice(pixels, pixels + side * side);

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, crc]);
}

// An RGBA PNG of the icon at `size` (a whole multiple of its side).
function png(size) {
  const scale = size / side;
  const rows = Buffer.alloc(size * (1 + 4 * size));
  for (let y = 0; y < size; ++y) {
    const row = y * (1 + 4 * size);
    for (let x = 0; x < size; ++x) {
      const word = argb[Math.floor(y / scale) * side + Math.floor(x / scale)];
      rows.writeUInt32BE(((word << 8) | (word >>> 24)) >>> 0, row + 1 + 4 * x);
    }
  }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header.set([8, 6, 0, 0, 0], 8);
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
    chunk('IDAT', deflateSync(rows)), chunk('IEND', Buffer.alloc(0))]);
}
for (const size of [192, 512]) writeFileSync(path.join(out, `icon-${size}.png`), png(size));
