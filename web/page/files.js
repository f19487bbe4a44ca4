// The files the user hands over, by drop (files or a folder) or picker,
// sorted into a music set and SoundFonts, with bounds on their sizes.

// A page archive numbers pages with 16-bit words: no archive is larger.
export const maxArchiveBytes = 65536 * 256;
export const maxTitleListBytes = 8 * 1024 * 1024;
export const maxSoundFontBytes = 1024 * 1024 * 1024;

const lower = (file) => file.name.toLowerCase();
const baseOf = (name) => name.replace(/\.[^.]*$/, '');

// Files of a drop, folders walked (a folder dropped gives its files).
export async function droppedFiles(dataTransfer) {
  const entries = Array.from(dataTransfer.items ?? [], (item) => item.webkitGetAsEntry?.()).filter(Boolean);
  if (entries.length === 0) return Array.from(dataTransfer.files ?? []);
  const files = [];
  const walk = async (entry, depth) => {
    if (entry.isFile) {
      files.push(await new Promise((resolve, reject) => entry.file(resolve, reject)));
    } else if (entry.isDirectory && depth < 3) {
      const reader = entry.createReader();
      for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (batch.length === 0) break;
        for (const child of batch) await walk(child, depth + 1);
      }
    }
  };
  for (const entry of entries) await walk(entry, 0);
  return files;
}

// {score, voices, titles, soundfont} (Files or null) from a list of files:
// amus.dat, amus.mda, amus.txt in any case; else the one .dat file there is
// and the .mda and .txt of the same name.
export function sortFiles(files) {
  const soundfont = files.find((file) => /\.sf[23]$/.test(lower(file))) ?? null;
  let score = files.find((file) => lower(file) === 'amus.dat');
  if (!score) {
    const dats = files.filter((file) => lower(file).endsWith('.dat'));
    if (dats.length === 1) [score] = dats;
  }
  const base = score ? baseOf(lower(score)) : 'amus';
  const named = (extension) => files.find((file) => lower(file) === `${base}.${extension}`) ?? null;
  return { score: score ?? null, voices: named('mda'), titles: named('txt'), soundfont, all: files };
}

// The bytes of `file`, or an Error that says what is wrong.
export async function readBounded(file, limit, what) {
  if (file.size > limit) {
    throw new Error(`${file.name} is ${Math.round(file.size / 1048576)} MB, too large for ${what} (at most ${Math.round(limit / 1048576)} MB)`);
  }
  return new Uint8Array(await file.arrayBuffer());
}
