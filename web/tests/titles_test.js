// The page's reading of title lists: line ends, the choice between UTF-8
// and CP932 for the whole list, leading numbers, and the searches' limits.
//   node titles_test.js
import assert from 'node:assert/strict';
import { captionText, decodeTitleList, leadingNumber, maxSearchedLines, searchedTitleList, titleIndex, trackTitleLine } from '../page/titles.js';

const bytes = (...parts) => new Uint8Array(parts.flatMap((part) => (typeof part === 'string' ? [...Buffer.from(part, 'utf8')] : part)));

// CR LF, a lone CR and a lone LF all end lines; empty lines count; a BOM is dropped.
assert.deepEqual(decodeTitleList(bytes([0xef, 0xbb, 0xbf], '0 G\r\n1 a\r2 b\n\n3 c')), ['0 G', '1 a', '2 b', '', '3 c']);
assert.deepEqual(decodeTitleList(bytes('1 a\r\n')), ['1 a']);
assert.deepEqual(decodeTitleList(bytes('')), []);

// A list whose CP932-only lines outnumber its UTF-8 kana lines is CP932:
// a line of half-width katakana that is also valid UTF-8 reads as CP932.
const sjisA = [0x82, 0xa0];  // "あ" in CP932
const sjisI = [0x82, 0xa2];  // "い" in CP932
const halfWidthMisuti = [0xd0, 0xbd, 0xc3, 0xa8];  // valid UTF-8 too
assert.deepEqual(decodeTitleList(bytes('1 ', sjisA, '\r\n2 ', sjisI, '\r\n6 ', halfWidthMisuti)),
                 ['1 \u3042', '2 \u3044', '6 \uff90\uff7d\uff83\uff68']);
// One stray CP932 line does not tip a UTF-8 list: "café" stays UTF-8.
assert.deepEqual(decodeTitleList(bytes('1 \u3042\r\n2 caf\u00e9\r\n3 ', sjisA)), ['1 \u3042', '2 caf\u00e9', '3 \u3042']);
// Without such a line every line is UTF-8, one that is neither with a replacement.
assert.deepEqual(decodeTitleList(bytes('1 caf\u00e9\r\n2 ', [0xff], 'x')), ['1 caf\u00e9', '2 \ufffdx']);

// Leading numbers: blanks inside, decimals, exponents, &H and &O.
const numbers = { '05 a': 5, '5.0 a': 5, '1 2nd': 12, '3.5 a': 3.5, '': 0, '0 Game': 0, '&H1F': 31, '&o17': 15, '1e2': 100, '-2 x': -2, 'Title': 0 };
for (const [text, value] of Object.entries(numbers)) assert.equal(leadingNumber(text), value, JSON.stringify(text));

// First match wins; no match, or too long a list, gives the no-title text.
assert.equal(trackTitleLine(['0 G', '03 first', '3 second'], 3), '03 first');
assert.equal(trackTitleLine(['0 G'], 7), '7 NO TITLE');
assert.equal(captionText(['00 x', '0 ']), 'TAMBELO - ');
const long = Array.from({ length: maxSearchedLines + 1 }, (_, i) => `${i} t`);
assert.equal(trackTitleLine(long, 3), '3 NO TITLE');
assert.equal(captionText(long), 'TAMBELO');
assert.equal(trackTitleLine(long.slice(0, maxSearchedLines), 3), '3 t');

// Titles show in the order written: direction controls are spelt out.
assert.equal(trackTitleLine(['1 \u202Egnp.exe\u2066x\u2069'], 1), '1 <U+202E>gnp.exe<U+2066>x<U+2069>');
assert.equal(captionText(['0 a\u202Ab\u202Dc']), 'TAMBELO - a<U+202A>b<U+202D>c');
assert.equal(trackTitleLine(['1 \u2029\u202F\u2065\u206A\u200F'], 1), '1 \u2029\u202F\u2065\u206A\u200F');
// A list too long to be searched is not decoded: no lines, the same answers.
const longBytes = bytes(long.join('\n'));
assert.deepEqual(searchedTitleList(longBytes), []);
assert.deepEqual(searchedTitleList(bytes(long.join('\r\n'))), []);
assert.equal(searchedTitleList(bytes(long.slice(0, maxSearchedLines).join('\r\n'))).length, maxSearchedLines);
assert.deepEqual(searchedTitleList(bytes('0 G\r\n1 a')), ['0 G', '1 a']);
// The index answers as the search does.
for (const lines of [['0 G', '03 first', '3 second', '&H4 four', '7 \u202Egnp.exe'], long, long.slice(0, maxSearchedLines)]) {
  const index = titleIndex(lines);
  for (const track of [3, 4, 7]) assert.equal(index(track), trackTitleLine(lines, track));
}
console.log('title lists: all checks passed');
