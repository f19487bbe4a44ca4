// Whether a file can be a music set's archive, read from its page table
// alone, so that the answer is quick for any file: a table of 16-bit
// little-endian page numbers (pages of 256 bytes, page 1 at byte 0) that
// never decrease up to the zero word ending it, inside the pages word 0 says
// the table takes, naming at least one entry whose first page lies inside
// the file. Entries after the first may lie beyond a cut file's end: they
// are listed and do not compile. This stands in for the library's own
// identification of a set until the page's core has one; the rest of the
// page only asks `archiveEntries`.

const pageBytes = 256;
const word = (bytes, index) => bytes[2 * index] | (bytes[2 * index + 1] << 8);

// The number of entries `bytes` holds as an archive, or 0 when it is none.
export function archiveEntries(bytes) {
  if (bytes.length < 4) return 0;
  const tableWords = Math.min(((word(bytes, 0) - 1) * pageBytes) / 2, Math.floor(bytes.length / 2));
  let end = 1;
  while (end < tableWords && word(bytes, end) !== 0) {
    if (word(bytes, end) < word(bytes, end - 1)) return 0;
    ++end;
  }
  // Words 1 .. end - 1 bound the entries; the zero at `end` must be there.
  if (end >= tableWords || end < 3) return 0;
  if ((word(bytes, 1) - 1) * pageBytes >= bytes.length) return 0;
  return end - 2;
}
