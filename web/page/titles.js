// The title list (amus.txt): the game's title and a title line per track.
// Lines end with CR LF, a lone CR or a lone LF. Each line is read as UTF-8
// when it is valid UTF-8, otherwise as CP932; but a list whose CP932-only
// lines outnumber its lines of UTF-8 kana and kanji is a CP932 list, in which
// every line that is valid CP932 is read as CP932 (a line of half-width
// katakana can happen to be valid UTF-8). The desktop decodes the same way.
// The first line that matches wins; lists longer than a 16-bit count are not
// searched.

export const maxSearchedLines = 32767;

export function splitLines(bytes) {
  let start = bytes.length >= 3 && bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf ? 3 : 0;
  const lines = [];
  for (let i = start; i < bytes.length; ++i) {
    if (bytes[i] !== 0x0d && bytes[i] !== 0x0a) continue;
    lines.push(bytes.subarray(start, i));
    if (bytes[i] === 0x0d && bytes[i + 1] === 0x0a) ++i;
    start = i + 1;
  }
  if (start < bytes.length) lines.push(bytes.subarray(start));
  return lines;
}

function decodes(encoding, bytes) {
  try {
    new TextDecoder(encoding, { fatal: true }).decode(bytes);
    return true;
  } catch {
    return false;
  }
}

// A line that can only be CP932, and one that reads as UTF-8 beyond
// two-byte characters (half-width katakana in CP932 can form valid UTF-8,
// but only two-byte sequences, so such a line is no sign of UTF-8).
const onlyCp932 = (line) => !decodes('utf-8', line) && decodes('shift_jis', line);
const plainlyUtf8 = (line) => decodes('utf-8', line) && line.some((byte) => byte >= 0xe0);

export function decodeTitleList(bytes) {
  return decodeLines(splitLines(bytes));
}

// The lines the page searches: none when the list is too long to be
// searched (the answers are then the same, and nothing is decoded).
export function searchedTitleList(bytes) {
  // Line ends counted first (a CR LF counts twice, an overestimate that is
  // settled by splitting): no line of a long list is made.
  let ends = 0;
  for (let i = 0; i < bytes.length && ends <= 2 * maxSearchedLines + 1; ++i) if (bytes[i] === 0x0a || bytes[i] === 0x0d) ++ends;
  if (ends > 2 * maxSearchedLines + 1) return [];
  const lines = splitLines(bytes);
  return lines.length > maxSearchedLines ? [] : decodeLines(lines);
}

function decodeLines(lines) {
  const cp932Lines = lines.filter(onlyCp932).length;
  const cp932List = cp932Lines > lines.filter(plainlyUtf8).length;
  const utf8 = new TextDecoder('utf-8');
  const cp932 = new TextDecoder('shift_jis');
  const onItsOwn = (line) => (decodes('utf-8', line) ? utf8 : cp932).decode(line);
  return lines.map((line) => (cp932List && decodes('shift_jis', line) ? cp932.decode(line) : onItsOwn(line)));
}

// The number a line begins with: blanks, tabs and line feeds are skipped
// anywhere in it; a sign, digits with at most one point and an exponent (E
// or D), or &H hexadecimal or &O octal digits. 0 when no digit was read.
export function leadingNumber(text) {
  let at = 0;
  const skip = () => { while (at < text.length && ' \t\n'.includes(text[at])) ++at; };
  const peek = () => (at < text.length ? text[at] : '');
  const upper = () => peek().toUpperCase();
  const advance = () => { ++at; skip(); };
  skip();
  if (peek() === '&') {
    advance();
    const base = upper() === 'H' ? 16 : upper() === 'O' ? 8 : 0;
    if (base === 0) return 0;
    advance();
    let value = 0;
    for (;;) {
      const digit = parseInt(upper(), 16);
      if (!(upper().length === 1 && /[0-9A-F]/.test(upper())) || digit >= base) return value;
      value = value * base + digit;
      advance();
    }
  }
  let number = '';
  if (peek() === '+' || peek() === '-') { number += peek(); advance(); }
  let anyDigit = false;
  let point = false;
  for (;;) {
    const c = peek();
    if (c >= '0' && c <= '9' && c !== '') anyDigit = true;
    else if (c === '.' && !point) point = true;
    else break;
    number += c;
    advance();
  }
  if (!anyDigit) return 0;
  if (upper() === 'E' || upper() === 'D') {
    advance();
    let exponent = 'e';
    if (peek() === '+' || peek() === '-') { exponent += peek(); advance(); }
    let digits = false;
    while (peek() >= '0' && peek() <= '9' && peek() !== '') { exponent += peek(); digits = true; advance(); }
    if (digits) number += exponent;
  }
  if (number.endsWith('.')) number += '0';
  if (number.startsWith('.') || number.startsWith('+.') || number.startsWith('-.')) number = number.replace('.', '0.');
  return Number(number);
}

// `text` with each bidirectional embedding, override and isolate control
// (U+202A-U+202E, U+2066-U+2069) spelt out as "<U+202E>": "\u202Egnp.exe"
// would otherwise show as "exe.png". The window and the command-line tool
// show titles by the same rule.
export function withDirectionControlsShown(text) {
  return text.replace(/[\u202A-\u202E\u2066-\u2069]/g,
    (control) => `<U+${control.charCodeAt(0).toString(16).toUpperCase()}>`);
}

// The track's title line (as the window's status line shows it, without its
// leading blank): the first line whose leading number is the track's, or
// "<track> NO TITLE".
export function trackTitleLine(lines, track) {
  if (lines.length <= maxSearchedLines) {
    const line = lines.find((text) => leadingNumber(text) === track);
    if (line !== undefined) return withDirectionControlsShown(line);
  }
  return `${track} NO TITLE`;
}

// trackTitleLine for every track at once: a lookup built in one pass, for
// sets with many tracks.
export function titleIndex(lines) {
  const first = new Map();
  if (lines.length <= maxSearchedLines) {
    for (const line of lines) {
      const number = leadingNumber(line);
      if (!first.has(number)) first.set(number, withDirectionControlsShown(line));
    }
  }
  return (track) => first.get(track) ?? `${track} NO TITLE`;
}

// The game's title from the first line that begins with "0 ", or null.
export function gameTitle(lines) {
  if (lines.length > maxSearchedLines) return null;
  const line = lines.find((text) => text.startsWith('0 '));
  return line === undefined ? null : line.slice(2);
}

export function captionText(lines) {
  const title = gameTitle(lines);
  return title === null ? 'TAMBELO' : `TAMBELO - ${withDirectionControlsShown(title)}`;
}
